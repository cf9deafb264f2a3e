// The bad-media file system: a FUSE tree whose files hold generated content and fail to read
// in chosen ranges, as a failing disc or stick does, and whose writable folders take new
// files in memory and fail writes at chosen offsets, as a full or dying stick does. Every
// read and every change is logged, so that a test can see exactly which blocks the program
// under test asked for and wrote.
//
//   badmedia_fs --tree=FILE --log=FILE MOUNTPOINT [-f] [-s] [-o OPTIONS]...
//
// Log lines: "<path> <offset> <length> <result>\n" for a read, result being the byte count
// returned or EIO, and "<path> open\n" for every open of a file; for changes
// "<path> create <result>\n", "<path> write <offset> <length> <result>\n",
// "<path> rename <new path> <result>\n" and "<path> delete <result>\n", result being the byte
// count of a write, 0 for any other success, or the error's name (ENOSPC, EIO, EROFS, ...).
// Each line is one write(2) on an O_APPEND descriptor, so lines never interleave and are
// visible at once.
//
// Outside the writable folders every change fails with EROFS. In a writable folder (see
// bad_media_tree.h for its faults) regular files can be created, written at any offset (a
// gap reads as zeros), truncated, renamed within the folder (EXDEV across folders, EINVAL
// for RENAME_EXCHANGE), deleted, and given extended attributes; subfolders, links and
// special files are refused with EPERM. Files keep mode 0644 and the folder 0755 whatever
// chmod and chown say, as on a stick without permissions. statfs in a writable folder gives
// 1 TiB less what its files hold as free, so that no client stops before a fault; elsewhere
// no free space. Its block size is that of the nearest folder with sector=, else 4096.
//
// Without -s the file system answers on several threads, so a read that a delay= or slowfail=
// holds back leaves the rest of the tree answering.
#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tools/bad_media_pattern.h"
#include "tools/bad_media_tree.h"

namespace {

struct Options {
  char* tree = nullptr;  // both strdup'ed by fuse_opt_parse
  char* log = nullptr;
  ~Options()
  {
    std::free(tree);
    std::free(log);
  }
};

const fuse_opt kOptionSpecs[] = {
  {"--tree=%s", offsetof(Options, tree), 0},
  {"--log=%s", offsetof(Options, log), 0},
  FUSE_OPT_END,
};

// Immutable once fuse_main starts, so the worker threads share them without locks.
BadMediaTree g_tree;
int g_logFd = -1;
time_t g_mountTime = 0;

// A file of a writable folder. Its bytes live in blocks, so that a write far past the end
// costs only the block it fills; a missing block reads as zeros.
constexpr uint64_t kBlockSize = 64 * 1024;

struct WrittenFile {
  std::string path;  // where it is now, for the log
  uint64_t size = 0;
  std::map<uint64_t, std::vector<char>> blocks;  // by block number, each kBlockSize long
  uint64_t writesShortened = 0;
  bool linked = true;  // false once deleted while a client still holds it open
  timespec atime{};
  timespec mtime{};
  timespec ctime{};
  std::map<std::string, std::string> attributes;  // extended attributes by name
};

struct WritableFolder {
  const BadMediaWriteFaults* faults = nullptr;
  std::map<std::string, std::shared_ptr<WrittenFile>> files;  // by name
  bool gone = false;  // an eio= fault has struck
  timespec mtime{};
};

struct OpenWrittenFile {
  std::shared_ptr<WrittenFile> file;  // kept alive by the handle after a delete, as POSIX does
  WritableFolder* folder;
};

// The writable folders by path: the map is made before fuse_main and never changes, so it is
// searched without the lock; what the folders hold changes only under g_writeLock, as does
// g_openFiles.
std::map<std::string, WritableFolder> g_folders;
std::mutex g_writeLock;
std::map<uint64_t, OpenWrittenFile> g_openFiles;
// The reads that touched each marginal range so far, by file index; under g_marginalLock,
// which is never held while a read waits.
std::mutex g_marginalLock;
std::map<size_t, std::vector<uint64_t>> g_marginalReads;
// Handles of written files have the top bit set; those of the fixed tree's files are their
// index in g_tree.files.
constexpr uint64_t kWrittenHandle = 1ull << 63;
uint64_t g_nextHandle = kWrittenHandle;

bool IsWrittenHandle(const fuse_file_info* fi)
{
  return fi != nullptr && (fi->fh & kWrittenHandle) != 0;
}

timespec Now()
{
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

// The log's form of a result: a byte count, 0, or the error's name.
std::string ResultText(int result)
{
  if (result >= 0) return std::to_string(result);
  const char* name = strerrorname_np(-result);
  return name != nullptr ? name : std::to_string(result);
}

void LogLine(const std::string& line)
{
  // One write per line: with O_APPEND concurrent lines never mix.
  ssize_t written = write(g_logFd, line.data(), line.size());
  if (written != static_cast<ssize_t>(line.size())) {
    std::fprintf(stderr, "badmedia_fs: could not write the read log: %s\n", std::strerror(errno));
  }
}

void LogRead(const std::string& path, uint64_t offset, uint64_t length, const std::string& result)
{
  LogLine(path + ' ' + std::to_string(offset) + ' ' + std::to_string(length) + ' ' + result + '\n');
}

// The tree's form of a path that the kernel passes: no leading slash, the root is "".
std::string TreePath(const char* path)
{
  return path[0] == '/' ? std::string(path + 1) : std::string(path);
}

// Where a path of the kernel lies: a node of the fixed tree (a writable folder included), or
// an entry, present or not, of a writable folder. Neither for a path that is nowhere, or for
// none at all (a deleted file that is still open).
struct Place {
  std::string path;  // the tree's form
  const BadMediaNode* node = nullptr;
  WritableFolder* folder = nullptr;
  std::string name;  // the entry's name in folder
};

Place Locate(const char* kernelPath)
{
  Place place;
  if (kernelPath == nullptr) return place;
  place.path = TreePath(kernelPath);
  place.node = g_tree.Find(place.path);
  const size_t slash = place.path.rfind('/');
  if (place.node == nullptr && slash != std::string::npos) {
    auto folder = g_folders.find(place.path.substr(0, slash));
    if (folder != g_folders.end()) {
      place.folder = &folder->second;
      place.name = place.path.substr(slash + 1);
    }
  }
  return place;
}

// The writable folder at or around a place, or nullptr.
WritableFolder* FolderOf(const Place& place)
{
  if (place.folder != nullptr) return place.folder;
  if (place.node == nullptr || !place.node->writable) return nullptr;
  return &g_folders.at(place.path);
}

// The written file that a call is about: the one the client holds open, else the one at the
// path. Returns 0, or EROFS for a path of the fixed tree and ENOENT for one that is nowhere.
// The caller holds g_writeLock.
int FindWritten(const char* path, const fuse_file_info* fi, WrittenFile*& file, WritableFolder** folder = nullptr)
{
  if (IsWrittenHandle(fi)) {
    auto open = g_openFiles.find(fi->fh);
    if (open == g_openFiles.end()) return -EBADF;
    file = open->second.file.get();
    if (folder != nullptr) *folder = open->second.folder;
    return 0;
  }
  const Place place = Locate(path);
  if (place.folder == nullptr) return place.node != nullptr ? -EROFS : -ENOENT;
  auto found = place.folder->files.find(place.name);
  if (found == place.folder->files.end()) return -ENOENT;
  file = found->second.get();
  if (folder != nullptr) *folder = place.folder;
  return 0;
}

void CopyOut(const WrittenFile& file, uint64_t offset, char* out, size_t length)
{
  while (length != 0) {
    const uint64_t within = offset % kBlockSize;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(length, kBlockSize - within));
    auto block = file.blocks.find(offset / kBlockSize);
    if (block == file.blocks.end()) {
      std::memset(out, 0, count);
    } else {
      std::memcpy(out, block->second.data() + within, count);
    }
    out += count;
    offset += count;
    length -= count;
  }
}

void CopyIn(WrittenFile& file, uint64_t offset, const char* data, size_t length)
{
  file.size = std::max(file.size, offset + length);
  while (length != 0) {
    const uint64_t within = offset % kBlockSize;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(length, kBlockSize - within));
    std::vector<char>& block = file.blocks[offset / kBlockSize];
    block.resize(kBlockSize);
    std::memcpy(block.data() + within, data, count);
    data += count;
    offset += count;
    length -= count;
  }
}

void Resize(WrittenFile& file, uint64_t size)
{
  if (size < file.size) {
    // What is cut off must read as zeros when the file grows again.
    file.blocks.erase(file.blocks.lower_bound((size + kBlockSize - 1) / kBlockSize), file.blocks.end());
    auto last = file.blocks.find(size / kBlockSize);
    if (last != file.blocks.end()) std::fill(last->second.begin() + size % kBlockSize, last->second.end(), 0);
  }
  file.size = size;
  file.mtime = file.ctime = Now();
}

void FillWrittenStat(const WrittenFile& file, struct stat* st)
{
  std::memset(st, 0, sizeof *st);
  st->st_uid = getuid();
  st->st_gid = getgid();
  st->st_mode = S_IFREG | 0644;
  st->st_nlink = file.linked ? 1 : 0;
  st->st_size = static_cast<off_t>(file.size);
  st->st_blocks = static_cast<blkcnt_t>((file.size + 511) / 512);
  st->st_blksize = 4096;
  st->st_atim = file.atime;
  st->st_mtim = file.mtime;
  st->st_ctim = file.ctime;
}

// An extended attribute's value as getxattr and listxattr return it: its length when asked
// with no room, ERANGE when the room is too small.
int ReplyAttribute(const std::string& value, char* out, size_t size)
{
  if (size == 0) return static_cast<int>(value.size());
  if (size < value.size()) return -ERANGE;
  std::memcpy(out, value.data(), value.size());
  return static_cast<int>(value.size());
}

// path is the node's key in the tree ("" for the root).
void FillStat(const std::string& path, const BadMediaNode& node, struct stat* st)
{
  std::memset(st, 0, sizeof *st);
  st->st_uid = getuid();
  st->st_gid = getgid();
  st->st_atime = st->st_mtime = st->st_ctime = g_mountTime;
  st->st_blksize = 4096;
  if (node.isLink) {
    st->st_mode = S_IFLNK | 0777;
    st->st_nlink = 1;
    st->st_size = static_cast<off_t>(node.linkTarget.size());
  } else if (node.writable) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    std::lock_guard<std::mutex> lock(g_writeLock);
    st->st_mtim = st->st_ctim = g_folders.at(path).mtime;
  } else if (node.isDir) {
    st->st_mode = S_IFDIR | 0555;
    // "." and the parent's entry, plus each subdirectory's "..": tools such as find rely on it.
    st->st_nlink = 2;
    std::string prefix = path.empty() ? path : path + '/';
    for (const std::string& child : node.children) {
      if (g_tree.Find(prefix + child)->isDir) ++st->st_nlink;
    }
  } else {
    const BadMediaFile& file = g_tree.files[node.file];
    st->st_mode = S_IFREG | 0444;
    st->st_nlink = 1;
    st->st_size = static_cast<off_t>(file.size);
    st->st_blocks = static_cast<blkcnt_t>((file.size + 511) / 512);
  }
}

int OnGetAttr(const char* path, struct stat* st, fuse_file_info* fi)
{
  const Place place = Locate(path);
  if (IsWrittenHandle(fi) || place.folder != nullptr) {
    std::lock_guard<std::mutex> lock(g_writeLock);
    WrittenFile* file = nullptr;
    const int result = FindWritten(path, fi, file);
    if (result == 0) FillWrittenStat(*file, st);
    return result;
  }
  if (place.node == nullptr) return -ENOENT;
  FillStat(place.path, *place.node, st);
  return 0;
}

int OnReadLink(const char* path, char* buffer, size_t size)
{
  const BadMediaNode* node = g_tree.Find(path);
  if (node == nullptr) return -ENOENT;
  if (!node->isLink) return -EINVAL;
  if (size == 0) return -EINVAL;
  std::snprintf(buffer, size, "%s", node->linkTarget.c_str());
  return 0;
}

// Root may open anything whatever its modes, so a folder that cannot be entered refuses
// the open itself.
int OnOpenDir(const char* path, fuse_file_info*)
{
  const Place place = Locate(path);
  if (place.folder != nullptr) return -ENOTDIR;
  if (place.node == nullptr) return -ENOENT;
  if (!place.node->isDir) return -ENOTDIR;
  return place.node->dirFault == BadMediaDirFault::kUnenterable ? -EACCES : 0;
}

// chdir asks this rather than opening the folder; so may a client that checks before it
// writes.
int OnAccess(const char* path, int mask)
{
  const Place place = Locate(path);
  if (place.folder != nullptr) {
    std::lock_guard<std::mutex> lock(g_writeLock);
    return place.folder->files.count(place.name) != 0 ? 0 : -ENOENT;
  }
  if (place.node == nullptr) return -ENOENT;
  if (place.node->dirFault == BadMediaDirFault::kUnenterable) return -EACCES;
  return (mask & W_OK) != 0 && !place.node->writable ? -EROFS : 0;
}

int OnReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags)
{
  const BadMediaNode* node = g_tree.Find(path);
  if (node == nullptr) return -ENOENT;
  if (!node->isDir) return -ENOTDIR;
  if (node->dirFault != BadMediaDirFault::kNone) return -EIO;
  fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  std::string prefix = TreePath(path);
  if (node->writable) {
    std::lock_guard<std::mutex> lock(g_writeLock);
    for (const auto& entry : g_folders.at(prefix).files) {
      struct stat st;
      FillWrittenStat(*entry.second, &st);
      if (fill(buffer, entry.first.c_str(), &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
    }
    return 0;
  }
  if (!prefix.empty()) prefix += '/';
  for (const std::string& name : node->children) {
    struct stat st;
    FillStat(prefix + name, *g_tree.Find(prefix + name), &st);
    if (fill(buffer, name.c_str(), &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
  }
  return 0;
}

// Opens, and with mayCreate creates, a file of a writable folder.
int OpenWritten(const Place& place, fuse_file_info* fi, bool mayCreate)
{
  std::lock_guard<std::mutex> lock(g_writeLock);
  WritableFolder& folder = *place.folder;
  auto found = folder.files.find(place.name);
  if (found == folder.files.end()) {
    if (!mayCreate) return -ENOENT;
    const int result = folder.gone ? -EIO : 0;
    LogLine(place.path + " create " + ResultText(result) + '\n');
    if (result != 0) return result;
    auto file = std::make_shared<WrittenFile>();
    file->path = place.path;
    file->atime = file->mtime = file->ctime = folder.mtime = Now();
    found = folder.files.emplace(place.name, file).first;
  } else {
    if (mayCreate && (fi->flags & O_EXCL) != 0) {
      LogLine(place.path + " create EEXIST\n");
      return -EEXIST;
    }
    const bool changes = (fi->flags & O_ACCMODE) != O_RDONLY || (fi->flags & O_TRUNC) != 0;
    if (changes && folder.gone) return -EIO;
    if ((fi->flags & O_TRUNC) != 0) Resize(*found->second, 0);
    LogLine(place.path + " open\n");
  }
  fi->fh = g_nextHandle++;
  g_openFiles[fi->fh] = OpenWrittenFile{found->second, &folder};
  // As for the reads below: each write() of the client arrives with its own offset and length.
  fi->direct_io = 1;
  fi->keep_cache = 0;
  return 0;
}

int OnOpen(const char* path, fuse_file_info* fi)
{
  const Place place = Locate(path);
  if (place.folder != nullptr) return OpenWritten(place, fi, false);
  const BadMediaNode* node = place.node;
  if (node == nullptr) return -ENOENT;
  if (node->isDir) return -EISDIR;
  if (node->isLink) return -ELOOP;  // the kernel follows links before it opens
  if ((fi->flags & O_ACCMODE) != O_RDONLY || (fi->flags & O_TRUNC) != 0) return -EROFS;
  const BadMediaFile& file = g_tree.files[node->file];
  LogLine(file.path + " open\n");
  fi->fh = node->file;
  // Without the page cache each read() of the client arrives here with its own offset and
  // length, which is what makes the read log match the client's reads.
  fi->direct_io = file.cache ? 0 : 1;
  fi->keep_cache = 0;
  return 0;
}

int OnCreate(const char* path, mode_t, fuse_file_info* fi)
{
  const Place place = Locate(path);
  if (place.folder != nullptr) return OpenWritten(place, fi, true);
  LogLine(place.path + " create EROFS\n");
  return -EROFS;
}

// Whether the next read of a file of the fixed tree fails; a marginal range's count of
// reads lives only as long as the mount.
bool NextReadFails(size_t fileIndex, uint64_t offset, uint64_t length)
{
  const BadMediaFile& file = g_tree.files[fileIndex];
  if (file.marginal.empty()) return BadMediaReadFails(file, offset, length);
  std::lock_guard<std::mutex> lock(g_marginalLock);
  return BadMediaNextReadFails(file, offset, length, g_marginalReads[fileIndex]);
}

int OnRead(const char*, char* buffer, size_t length, off_t offset, fuse_file_info* fi)
{
  if (offset < 0) return -EINVAL;
  uint64_t start = static_cast<uint64_t>(offset);
  if (IsWrittenHandle(fi)) {
    std::lock_guard<std::mutex> lock(g_writeLock);
    auto open = g_openFiles.find(fi->fh);
    if (open == g_openFiles.end()) return -EBADF;
    const WrittenFile& file = *open->second.file;
    const size_t count = start < file.size ? static_cast<size_t>(std::min<uint64_t>(length, file.size - start)) : 0;
    CopyOut(file, start, buffer, count);
    LogRead(file.path, start, length, std::to_string(count));
    return static_cast<int>(count);
  }
  const BadMediaFile& file = g_tree.files[fi->fh];
  const bool fails = NextReadFails(fi->fh, start, length);
  // No lock is held while waiting: the file system answers the reads of other files
  // meanwhile, as a client cancelling a stalled run needs.
  const uint32_t waitMs = file.delayMs + (fails ? file.slowFailMs : 0);
  if (waitMs != 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
  if (fails) {
    LogRead(file.path, start, length, "EIO");
    return -EIO;
  }
  size_t count = 0;
  if (start < file.size) {
    uint64_t left = file.size - start;
    count = left < length ? static_cast<size_t>(left) : length;
    BadMediaFill(file.seed, start, buffer, count);
  }
  LogRead(file.path, start, length, std::to_string(count));
  return static_cast<int>(count);
}

int OnWrite(const char*, const char* data, size_t length, off_t offset, fuse_file_info* fi)
{
  // Files of the fixed tree never open for writing, so the kernel sends no writes for them.
  if (!IsWrittenHandle(fi)) return -EBADF;
  if (offset < 0) return -EINVAL;
  const uint64_t start = static_cast<uint64_t>(offset);
  std::lock_guard<std::mutex> lock(g_writeLock);
  auto open = g_openFiles.find(fi->fh);
  if (open == g_openFiles.end()) return -EBADF;
  WrittenFile& file = *open->second.file;
  WritableFolder& folder = *open->second.folder;
  int result = -EIO;
  if (!folder.gone) {
    const BadMediaWriteOutcome outcome = BadMediaWriteFault(*folder.faults, start, length, file.writesShortened);
    switch (outcome.effect) {
      case BadMediaWriteEffect::kIoError:
        folder.gone = true;
        break;
      case BadMediaWriteEffect::kNoSpace:
        result = -ENOSPC;
        break;
      case BadMediaWriteEffect::kShortened:
        ++file.writesShortened;
        [[fallthrough]];
      case BadMediaWriteEffect::kWritten:
        CopyIn(file, start, data, static_cast<size_t>(outcome.written));
        file.mtime = file.ctime = Now();
        result = static_cast<int>(outcome.written);
        break;
    }
  }
  LogLine(file.path + " write " + std::to_string(start) + ' ' + std::to_string(length) + ' ' + ResultText(result) +
          '\n');
  return result;
}

int OnTruncate(const char* path, off_t size, fuse_file_info* fi)
{
  if (size < 0) return -EINVAL;
  std::lock_guard<std::mutex> lock(g_writeLock);
  WrittenFile* file = nullptr;
  WritableFolder* folder = nullptr;
  int result = FindWritten(path, fi, file, &folder);
  if (result != 0) return result;
  if (folder->gone) return -EIO;
  Resize(*file, static_cast<uint64_t>(size));
  return 0;
}

// Whether what a path or handle names may take new attributes: 0 for a writable folder and
// its files, EROFS for the rest of the tree.
int Changeable(const char* path, const fuse_file_info* fi)
{
  const Place place = Locate(path);
  if (!IsWrittenHandle(fi) && place.folder == nullptr) {
    if (place.node == nullptr) return -ENOENT;
    return place.node->writable ? 0 : -EROFS;
  }
  std::lock_guard<std::mutex> lock(g_writeLock);
  WrittenFile* file = nullptr;
  return FindWritten(path, fi, file);
}

// Modes and owners are fixed, as on a stick without permissions: accepted and left alone.
int OnChmod(const char* path, mode_t, fuse_file_info* fi)
{
  return Changeable(path, fi);
}

int OnChown(const char* path, uid_t, gid_t, fuse_file_info* fi)
{
  return Changeable(path, fi);
}

int OnUtimens(const char* path, const timespec times[2], fuse_file_info* fi)
{
  // A writable folder's own times follow its entries, so only a file keeps what it is given.
  if (!IsWrittenHandle(fi) && Locate(path).folder == nullptr) {
    // A fixed file keeps its times, but being given new ones starts its marginal counts from 0
    // again, as a new mount does: so a test that needs their first failures can have them in
    // every round of a repeated run.
    const Place place = Locate(path);
    if (place.node != nullptr && !place.node->isDir && !place.node->isLink) {
      {
        std::lock_guard<std::mutex> lock(g_marginalLock);
        g_marginalReads.erase(place.node->file);
      }
      LogLine(g_tree.files[place.node->file].path + " restart\n");
      return 0;
    }
    return Changeable(path, fi);
  }
  std::lock_guard<std::mutex> lock(g_writeLock);
  WrittenFile* file = nullptr;
  const int result = FindWritten(path, fi, file);
  if (result != 0) return result;
  const timespec now = Now();
  for (int i = 0; i < 2; ++i) {
    timespec& stored = i == 0 ? file->atime : file->mtime;
    if (times[i].tv_nsec == UTIME_NOW) {
      stored = now;
    } else if (times[i].tv_nsec != UTIME_OMIT) {
      stored = times[i];
    }
  }
  file->ctime = now;
  return 0;
}

// Wine takes the DOS attributes of a file from this attribute, as Samba stores them, and
// stores them there when it creates or changes a file.
const char kDosAttributes[] = "user.DOSATTRIB";

std::string FixedDosAttributes(const BadMediaNode& node)
{
  const uint32_t attributes = (node.isDir || node.isLink) ? 0 : g_tree.files[node.file].dosAttributes;
  if (attributes == 0) return std::string();
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", attributes);
  return text;
}

int OnGetXattr(const char* path, const char* name, char* value, size_t size)
{
  const Place place = Locate(path);
  if (place.folder != nullptr) {
    std::lock_guard<std::mutex> lock(g_writeLock);
    WrittenFile* file = nullptr;
    const int result = FindWritten(path, nullptr, file);
    if (result != 0) return result;
    auto found = file->attributes.find(name);
    return found == file->attributes.end() ? -ENODATA : ReplyAttribute(found->second, value, size);
  }
  if (place.node == nullptr) return -ENOENT;
  const std::string attributes = FixedDosAttributes(*place.node);
  if (attributes.empty() || std::strcmp(name, kDosAttributes) != 0) return -ENODATA;
  return ReplyAttribute(attributes, value, size);
}

// Answered for the whole tree: an unanswered listxattr would make the kernel stop asking for
// the writable files too.
int OnListXattr(const char* path, char* list, size_t size)
{
  const Place place = Locate(path);
  std::string names;
  if (place.folder != nullptr) {
    std::lock_guard<std::mutex> lock(g_writeLock);
    WrittenFile* file = nullptr;
    const int result = FindWritten(path, nullptr, file);
    if (result != 0) return result;
    for (const auto& attribute : file->attributes) names += attribute.first + '\0';
  } else if (place.node == nullptr) {
    return -ENOENT;
  } else if (!FixedDosAttributes(*place.node).empty()) {
    names = std::string(kDosAttributes) + '\0';
  }
  return ReplyAttribute(names, list, size);
}

int OnSetXattr(const char* path, const char* name, const char* value, size_t size, int flags)
{
  if (Locate(path).folder == nullptr) {
    // Of a writable folder only the files keep attributes, not the folder itself.
    const int result = Changeable(path, nullptr);
    return result == 0 ? -ENOTSUP : result;
  }
  std::lock_guard<std::mutex> lock(g_writeLock);
  WrittenFile* file = nullptr;
  const int result = FindWritten(path, nullptr, file);
  if (result != 0) return result;
  const bool present = file->attributes.count(name) != 0;
  if ((flags & XATTR_CREATE) != 0 && present) return -EEXIST;
  if ((flags & XATTR_REPLACE) != 0 && !present) return -ENODATA;
  file->attributes[name] = std::string(value, size);
  file->ctime = Now();
  return 0;
}

int OnRemoveXattr(const char* path, const char* name)
{
  if (Locate(path).folder == nullptr) {
    const int result = Changeable(path, nullptr);
    return result == 0 ? -ENODATA : result;
  }
  std::lock_guard<std::mutex> lock(g_writeLock);
  WrittenFile* file = nullptr;
  const int result = FindWritten(path, nullptr, file);
  if (result != 0) return result;
  if (file->attributes.erase(name) == 0) return -ENODATA;
  file->ctime = Now();
  return 0;
}

// The changes below log under g_writeLock, so that the log keeps the order of the changes.
int OnUnlink(const char* path)
{
  const Place place = Locate(path);
  int result = place.node != nullptr ? -EROFS : -ENOENT;
  std::lock_guard<std::mutex> lock(g_writeLock);
  if (place.folder != nullptr) {
    WritableFolder& folder = *place.folder;
    auto found = folder.files.find(place.name);
    if (found != folder.files.end()) {
      found->second->linked = false;
      folder.files.erase(found);
      folder.mtime = Now();
      // An emptied folder is as new, so that the next run of a test meets the same faults.
      if (folder.files.empty()) folder.gone = false;
      result = 0;
    }
  }
  LogLine(place.path + " delete " + ResultText(result) + '\n');
  return result;
}

// The caller holds g_writeLock.
int RenameWritten(const Place& from, const Place& to, unsigned int flags)
{
  if (from.folder == nullptr && to.folder == nullptr) return -EROFS;
  if (from.folder != to.folder) return -EXDEV;
  if ((flags & ~RENAME_NOREPLACE) != 0) return -EINVAL;  // RENAME_EXCHANGE, RENAME_WHITEOUT
  WritableFolder& folder = *from.folder;
  if (folder.gone) return -EIO;
  auto source = folder.files.find(from.name);
  if (source == folder.files.end()) return -ENOENT;
  if (from.name == to.name) return 0;
  auto target = folder.files.find(to.name);
  if (target != folder.files.end()) {
    if ((flags & RENAME_NOREPLACE) != 0) return -EEXIST;
    target->second->linked = false;
    folder.files.erase(target);
  }
  std::shared_ptr<WrittenFile> file = source->second;
  folder.files.erase(source);
  file->path = to.path;
  file->ctime = folder.mtime = Now();
  folder.files.emplace(to.name, file);
  return 0;
}

int OnRename(const char* from, const char* to, unsigned int flags)
{
  const Place source = Locate(from);
  const Place target = Locate(to);
  std::lock_guard<std::mutex> lock(g_writeLock);
  const int result = RenameWritten(source, target, flags);
  LogLine(source.path + " rename " + target.path + ' ' + ResultText(result) + '\n');
  return result;
}

// A writable folder holds regular files only; elsewhere nothing may be made.
int RefuseNewEntry(const char* path)
{
  return Locate(path).folder != nullptr ? -EPERM : -EROFS;
}

int OnMkdir(const char* path, mode_t)
{
  return RefuseNewEntry(path);
}

// Regular files arrive through create; this is left for devices, pipes and sockets.
int OnMknod(const char* path, mode_t, dev_t)
{
  return RefuseNewEntry(path);
}

int OnSymlink(const char*, const char* path)
{
  return RefuseNewEntry(path);
}

int OnLink(const char*, const char* path)
{
  return RefuseNewEntry(path);
}

int OnRmdir(const char* path)
{
  return Locate(path).folder != nullptr ? -ENOTDIR : -EROFS;
}

int OnRelease(const char*, fuse_file_info* fi)
{
  if (IsWrittenHandle(fi)) {
    std::lock_guard<std::mutex> lock(g_writeLock);
    g_openFiles.erase(fi->fh);
  }
  return 0;
}

// The kernel asks with the node of the path that the client named, so a folder's sector=
// reaches a client that asks about a drive rooted there (Wine asks about the drive root).
int OnStatFs(const char* path, struct statvfs* st)
{
  std::memset(st, 0, sizeof *st);
  const Place place = Locate(path);
  const uint64_t blockSize = g_tree.BlockSizeAt(place.path);
  st->f_bsize = static_cast<unsigned long>(blockSize);
  st->f_frsize = static_cast<unsigned long>(blockSize);
  st->f_namemax = 255;
  if (WritableFolder* folder = FolderOf(place)) {
    // Ample room, so that no client refuses to write before a fault is reached.
    constexpr uint64_t kCapacity = 1ull << 40;
    uint64_t held = 0;
    std::lock_guard<std::mutex> lock(g_writeLock);
    for (const auto& entry : folder->files) held += std::min(entry.second->size, kCapacity);
    const uint64_t room = held < kCapacity ? kCapacity - held : 0;
    st->f_blocks = static_cast<fsblkcnt_t>(kCapacity / blockSize);
    st->f_bfree = st->f_bavail = static_cast<fsblkcnt_t>(room / blockSize);
    st->f_files = static_cast<fsfilcnt_t>(1u << 20);
    st->f_ffree = st->f_favail = st->f_files - std::min<fsfilcnt_t>(folder->files.size(), st->f_files);
    return 0;
  }
  uint64_t bytes = 0;
  for (const BadMediaFile& file : g_tree.files) bytes += file.size;
  st->f_blocks = static_cast<fsblkcnt_t>((bytes + blockSize - 1) / blockSize);
  st->f_bfree = 0;
  st->f_bavail = 0;
  st->f_files = static_cast<fsfilcnt_t>(g_tree.nodes.size());
  st->f_ffree = 0;
  st->f_favail = 0;
  st->f_flag = ST_RDONLY;
  return 0;
}

void* OnInit(fuse_conn_info*, fuse_config* config)
{
  config->kernel_cache = 0;
  config->direct_io = 0;  // chosen per file in OnOpen
  // A deleted or replaced file that is still open must leave its folder at once, not linger
  // there under a hidden name until it is closed.
  config->hard_remove = 1;
  return nullptr;
}

void PrintUsage(const char* program)
{
  std::fprintf(stderr,
               "usage: %s --tree=FILE --log=FILE MOUNTPOINT [FUSE options: -f, -s, -o ...]\n"
               "Serves the files described in the tree file, failing reads that touch their bad=\n"
               "ranges, or their marginal= ranges the first times, with EIO, takes new files in its\n"
               "writable folders, failing writes at their faults, and logs every read and change to\n"
               "the log file.\n",
               program);
}

}  // namespace

int main(int argc, char* argv[])
{
  fuse_args args = FUSE_ARGS_INIT(argc, argv);
  Options options;
  if (fuse_opt_parse(&args, &options, kOptionSpecs, nullptr) != 0) {
    PrintUsage(argv[0]);
    return 2;
  }
  if (options.tree == nullptr || options.log == nullptr) {
    PrintUsage(argv[0]);
    fuse_opt_free_args(&args);
    return 2;
  }

  std::string error;
  if (!LoadBadMediaTree(options.tree, g_tree, error)) {
    std::fprintf(stderr, "badmedia_fs: %s: %s\n", options.tree, error.c_str());
    fuse_opt_free_args(&args);
    return 1;
  }
  g_logFd = open(options.log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (g_logFd < 0) {
    std::fprintf(stderr, "badmedia_fs: cannot open the log %s: %s\n", options.log, std::strerror(errno));
    fuse_opt_free_args(&args);
    return 1;
  }
  g_mountTime = std::time(nullptr);

  for (const auto& entry : g_tree.nodes) {
    if (entry.second.writable) g_folders[entry.first].faults = &entry.second.writeFaults;
  }
  for (auto& entry : g_folders) entry.second.mtime = timespec{g_mountTime, 0};

  // Writable at the kernel, for the writable folders; the rest of the tree refuses every
  // change with EROFS itself.
  fuse_opt_add_arg(&args, "-ofsname=badmedia,subtype=badmedia");

  fuse_operations operations{};
  operations.getattr = OnGetAttr;
  operations.readlink = OnReadLink;
  operations.opendir = OnOpenDir;
  operations.access = OnAccess;
  operations.readdir = OnReadDir;
  operations.getxattr = OnGetXattr;
  operations.listxattr = OnListXattr;
  operations.setxattr = OnSetXattr;
  operations.removexattr = OnRemoveXattr;
  operations.open = OnOpen;
  operations.create = OnCreate;
  operations.read = OnRead;
  operations.write = OnWrite;
  operations.truncate = OnTruncate;
  operations.chmod = OnChmod;
  operations.chown = OnChown;
  operations.utimens = OnUtimens;
  operations.unlink = OnUnlink;
  operations.rename = OnRename;
  operations.mkdir = OnMkdir;
  operations.mknod = OnMknod;
  operations.symlink = OnSymlink;
  operations.link = OnLink;
  operations.rmdir = OnRmdir;
  operations.release = OnRelease;
  operations.statfs = OnStatFs;
  operations.init = OnInit;

  int result = fuse_main(args.argc, args.argv, &operations, nullptr);
  fuse_opt_free_args(&args);
  close(g_logFd);
  return result;
}
