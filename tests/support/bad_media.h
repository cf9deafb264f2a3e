// The test media as seen from Windows tests: the bad-media file system's files through Wine's
// Z: drive and the log of every read it served, and the small and read-only destinations.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct BadMediaRead {
  std::uint64_t offset;
  std::uint32_t length;
  bool failed;  // the read was refused with EIO
};

// A Unix path as Wine shows it on the Z: drive.
std::wstring UnixToWindows(const std::string& unixPath);

// Whether the file system is mounted for this test run (false: the caller should skip;
// the mount step has already said why).
bool BadMediaMounted();

// The Windows path of a file of the tree, e.g. "Z:\\...\\mnt\\verify\\one_block.bin".
std::wstring BadMediaPath(const char* relativePath);

// The Unix path of a folder or file of the tree, e.g. for a test drive's root.
std::string BadMediaUnixPath(const char* relativePath);

// Starts the marginal counts of a file of the tree from 0 again, as a new mount does, so
// that a test meets their first failures in every round of a repeated run. False on failure.
bool RestartMarginalCounts(const char* relativePath);

// Reads of the file system logged from the moment this object is made.
class BadMediaReadLog {
 public:
  BadMediaReadLog();
  // Reads of one file of the tree (its path as the tree file spells it), in order.
  std::vector<BadMediaRead> ReadsOf(const char* relativePath) const;
  // How often the file was opened.
  int OpensOf(const char* relativePath) const;
  // How many lines "<relativePath> <event>" it logged.
  int LinesOf(const char* relativePath, const char* event) const;

 private:
  std::uint64_t start_ = 0;
};

struct ByteRange {
  std::int64_t start, end;
};

// The length of a file, -1 when it does not exist.
std::int64_t FileLength(const std::wstring& path);

// The copy of a bad-media file holds the file's own bytes except in its unreadable ranges,
// which were never written and read back as zeros. Returns the first wrong offset, or -1.
std::int64_t FirstWrongByte(const std::wstring& copy, const char* treePath,
                            const std::vector<ByteRange>& unreadable);

// A destination folder on a small or read-only file system (mounted by scripts/salvage-disks):
// "full" (256 KiB), "exact" (1 MiB, also drive S:) or "readonly".
std::wstring SalvageDisk(const char* name);

#define REQUIRE_SALVAGE_DISKS()                                                             \
  do {                                                                                      \
    if (GetFileAttributesW(SalvageDisk("unavailable").c_str()) != INVALID_FILE_ATTRIBUTES) \
      GTEST_SKIP() << "small and read-only test disks not mounted (not root)";              \
  } while (0)

// Skips the test when the bad-media file system is not mounted.
#define REQUIRE_BAD_MEDIA()                                                                   \
  do {                                                                                        \
    if (!BadMediaMounted()) GTEST_SKIP() << "bad-media file system not mounted (no /dev/fuse)"; \
  } while (0)
