// The tree that the bad-media file system serves, read from a text description:
//
//   # comment
//   dir  <path> [unenterable | unlistable] [sector=<bytes>]
//   dir  <path> writable [short=<offset>[,<times>]] [enospc=<offset>] [eio=<offset>] [sector=<bytes>]
//   file <path> <size> [bad=<start>-<end>]... [marginal=<start>-<end>,<times>]... [delay=<ms>]
//        [slowfail=<ms>] [seed=<n>] [cache] [hidden] [system]
//   link <path> <target>
//
// One entry per line; fields are separated by blanks or tabs; blank lines and lines whose
// first non-blank character is '#' are ignored. A path is relative, '/'-separated, without
// blanks, empty, "." or ".." components; any other bytes (0x80-0xFF included) are kept as
// they are. Parent directories are created implicitly. Numbers are decimal with an optional
// binary suffix K, M, G or T (x1024^n, either case) and may be a sum with '+': "4G+4097".
// bad=<start>-<end> marks the bytes [start, end) as unreadable: a read whose range, clipped
// to the file size, overlaps one fails as a whole. marginal=<start>-<end>,<times> marks
// [start, end) as marginal, as sectors that a retry may yet read: of the reads that overlap
// it (clipped as for bad=, and counting those that a bad= range fails anyway), the first
// <times> fail with EIO and later ones read; each range keeps its own count, in memory, from
// 0 at every mount and whenever the file is given new times (which it
// otherwise keeps as they are; the read log says "<path> restart"). delay=<ms> makes every read of the file wait that long; slowfail=<ms>
// makes every read that fails wait that long more, as a dying drive's own retries do.
// seed=<n> replaces the default content seed (the FNV-1a hash of the path). cache lets the kernel cache the file's pages instead of passing each read through.
// hidden and system give the file those DOS attributes (the user.DOSATTRIB extended
// attribute that Wine reads). An unenterable directory refuses every open with EACCES, so
// it can be neither entered nor listed; an unlistable one opens, but reading its entries
// fails with EIO. A link is a symbolic link to <target>, which is kept as written (e.g. "..").
// sector=<bytes>, a power of two from 512 to 64K, is the block size that statfs reports for
// the folder and everything below it (4096 elsewhere). Wine shows a block size of 2048 as 2048
// bytes per sector and one cluster a sector, like a CD-ROM, and any other as 512 bytes per
// sector, 8 sectors a cluster; so sector=2048 gives a test drive on the folder 2048-byte sectors.
//
// A writable directory holds no entries of the description and no subdirectories; clients
// create, write, truncate, rename and delete regular files in it, kept in memory. Its
// options are faults, each given at most once, that act on every file of the folder at the
// file's own byte offsets; a write of length bytes at offset covers [offset, offset+length):
//   short=<offset>[,<times>]  a write that starts below <offset> and ends past it writes only
//                             the bytes below <offset> and returns that shorter count, for the
//                             first <times> (1 when left out) such writes to the file; later
//                             ones, and every write starting at or past <offset>, fail with
//                             ENOSPC.
//   enospc=<offset>           a write ending past <offset> fails with ENOSPC.
//   eio=<offset>              a write ending past <offset> fails with EIO, and the medium is
//                             gone: from then on every write, create, rename, truncate and
//                             open for writing in the folder fails with EIO, while reads,
//                             listing and deletes still work, so that a client can clean up.
// A failed write writes nothing, and a write of no bytes reaches no fault. Of the faults a
// write reaches, the one at the lowest offset acts; at equal offsets eio wins over enospc, and
// enospc over short. All fault state of a folder (gone, the writes shortened so far) is reset
// once its last file is deleted, so that the next test run finds it as new.
#ifndef VEROLUX_TOOLS_BAD_MEDIA_TREE_H
#define VEROLUX_TOOLS_BAD_MEDIA_TREE_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct BadMediaRange {
  uint64_t start;  // first unreadable byte
  uint64_t end;    // one past the last unreadable byte
};

// Bytes that fail the first times reads that touch them, and read after.
struct BadMediaMarginalRange {
  BadMediaRange range;
  uint64_t times;
};

struct BadMediaFile {
  std::string path;
  uint64_t size = 0;
  std::vector<BadMediaRange> bad;
  std::vector<BadMediaMarginalRange> marginal;
  uint32_t delayMs = 0;
  uint32_t slowFailMs = 0;  // added to a failing read's wait
  uint64_t seed = 0;
  bool cache = false;
  uint32_t dosAttributes = 0;  // FILE_ATTRIBUTE_HIDDEN (2) and FILE_ATTRIBUTE_SYSTEM (4)
};

enum class BadMediaDirFault { kNone, kUnenterable, kUnlistable };

// The faults of a writable folder: an offset for each fault that is set.
struct BadMediaWriteFaults {
  std::optional<uint64_t> shortAt;
  uint64_t shortTimes = 1;
  std::optional<uint64_t> enospcAt;
  std::optional<uint64_t> eioAt;
};

struct BadMediaNode {
  bool isDir = false;
  size_t file = 0;                    // index into BadMediaTree::files when a file
  std::vector<std::string> children;  // names of the entries of a directory, sorted
  BadMediaDirFault dirFault = BadMediaDirFault::kNone;
  bool isLink = false;
  std::string linkTarget;
  bool writable = false;
  BadMediaWriteFaults writeFaults;  // of a writable directory
  uint32_t sectorSize = 0;          // of a directory with sector=, else 0
};

// The block size statfs reports where no folder sets one.
constexpr uint32_t kBadMediaDefaultBlockSize = 4096;

struct BadMediaTree {
  std::vector<BadMediaFile> files;
  // Every directory and file by its path; the root is "".
  std::map<std::string, BadMediaNode> nodes;

  // The node at a path such as "a/b" or "/a/b" (the file system's form), or nullptr.
  const BadMediaNode* Find(const std::string& path) const;

  // The block size at a path, of a node or not: the sector= of the nearest folder at or
  // above it, else kBadMediaDefaultBlockSize.
  uint32_t BlockSizeAt(const std::string& path) const;
};

// Parses a tree description. On failure returns false and sets error to
// "line N: reason" (or a reason without a line when the text as a whole is at fault).
bool ParseBadMediaTree(const std::string& text, BadMediaTree& tree, std::string& error);

// Reads and parses a tree description file; error also covers a file that cannot be read.
bool LoadBadMediaTree(const std::string& fileName, BadMediaTree& tree, std::string& error);

// Parses one number of the description ("4096", "2M", "4G+4097").
bool ParseBadMediaNumber(const std::string& text, uint64_t& value, std::string& error);

// Whether a read of length bytes at offset fails for good: its range clipped to the file size
// overlaps a bad= range. A read wholly at or past the end reads nothing and succeeds.
bool BadMediaReadFails(const BadMediaFile& file, uint64_t offset, uint64_t length);

// Whether the next read of length bytes at offset fails, bad= and marginal= ranges both
// considered. touched[i] counts the reads so far that overlapped file.marginal[i] (sized to
// match when empty); this read is counted in every range it overlaps, and fails while one of
// them has been touched no more than its times.
bool BadMediaNextReadFails(const BadMediaFile& file, uint64_t offset, uint64_t length,
                           std::vector<uint64_t>& touched);

enum class BadMediaWriteEffect { kWritten, kShortened, kNoSpace, kIoError };

struct BadMediaWriteOutcome {
  BadMediaWriteEffect effect;
  uint64_t written;  // bytes to store from the start of the write: all, those below short=, or 0
};

// What a write of length bytes at offset does to a file of a writable folder with these
// faults, shortened being the number of the file's writes that short= has shortened so far.
BadMediaWriteOutcome BadMediaWriteFault(const BadMediaWriteFaults& faults, uint64_t offset, uint64_t length,
                                        uint64_t shortened);

#endif  // VEROLUX_TOOLS_BAD_MEDIA_TREE_H
