// The bad-media file system as seen from Windows tests: its files through Wine's Z: drive
// and the log of every read it served.
#pragma once

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

// Reads of the file system logged from the moment this object is made.
class BadMediaReadLog {
 public:
  BadMediaReadLog();
  // Reads of one file of the tree (its path as the tree file spells it), in order.
  std::vector<BadMediaRead> ReadsOf(const char* relativePath) const;
  // How often the file was opened.
  int OpensOf(const char* relativePath) const;

 private:
  std::uint64_t start_ = 0;
};

// Skips the test when the bad-media file system is not mounted.
#define REQUIRE_BAD_MEDIA()                                                                   \
  do {                                                                                        \
    if (!BadMediaMounted()) GTEST_SKIP() << "bad-media file system not mounted (no /dev/fuse)"; \
  } while (0)
