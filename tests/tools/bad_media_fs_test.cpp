// Mounts a real bad-media file system and reads it with plain POSIX calls, as the Windows
// program will through Wine.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "tools/bad_media_pattern.h"

namespace {

const uint64_t kHugeSize = (4ull << 30) + 4097;

const char kTree[] =
    "# files for the file system tests\n"
    "dir empty\n"
    "file small.bin 10000\n"
    "file blocks.bin 16K bad=8K-12K\n"
    "file slow.bin 8K delay=300\n"
    "file huge/big.bin 4G+4097\n"
    "file huge/cached.bin 4G+4097 cache\n"
    "file caf\xE9/na\xEFve.bin 100 seed=7\n"
    "dir faults/locked unenterable\n"
    "dir faults/muddled unlistable\n"
    "file faults/marked.bin 10 hidden system\n"
    "link faults/up ..\n"
    "dir sticks/copies writable\n"
    "dir sticks/short writable short=8K,2\n"
    "dir sticks/nospace writable enospc=16K eio=64K\n"
    "dir sticks/dying writable eio=4K\n"
    "dir sticks/cd writable sector=2K\n"
    "file rescue/retry.bin 16K marginal=4K-8K,2 marginal=8K-12K,1\n"
    "file rescue/stall.bin 16K marginal=8K-12K,1 slowfail=1500\n"
    "dir rescue/cd sector=2K\n"
    "file rescue/cd/sub/a.bin 10\n";

std::string ReadWholeFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool CiRun()
{
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::strcmp(ci, "true") == 0;
}

bool FuseUsable()
{
  int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool device = fstat(fd, &st) == 0 && S_ISCHR(st.st_mode);
  close(fd);
  return device;
}

bool IsMountPoint(const std::string& path)
{
  struct stat inner, outer;
  if (stat(path.c_str(), &inner) != 0 || stat((path + "/..").c_str(), &outer) != 0) return false;
  return inner.st_dev != outer.st_dev;
}

int RunAndWait(const std::vector<std::string>& command)
{
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits up to timeout for the child to end; true when it has been reaped.
bool WaitForExit(pid_t pid, std::chrono::milliseconds timeout, int* status)
{
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// A mounted instance in a folder of its own. The destructor always unmounts and removes
// it; the server also goes when this process dies (a parent-death signal and auto_unmount),
// so that a crashed test leaves no dead mount behind.
class BadMediaMount {
 public:
  explicit BadMediaMount(const std::string& tree)
  {
    char folder[] = "/tmp/badmedia-test-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
      error_ = std::string("mkdtemp: ") + std::strerror(errno);
      return;
    }
    dir_ = folder;
    mnt_ = dir_ + "/mnt";
    std::ofstream(dir_ + "/tree.txt", std::ios::binary) << tree;
    if (mkdir(mnt_.c_str(), 0755) != 0) {
      error_ = "mkdir " + mnt_ + ": " + std::strerror(errno);
      return;
    }
    Start();
  }

  ~BadMediaMount()
  {
    Stop();
    for (const char* name : {"/tree.txt", "/reads.log", "/fs.out"}) unlink((dir_ + name).c_str());
    if (!mnt_.empty()) rmdir(mnt_.c_str());
    if (!dir_.empty()) rmdir(dir_.c_str());
  }

  BadMediaMount(const BadMediaMount&) = delete;
  BadMediaMount& operator=(const BadMediaMount&) = delete;

  bool Mounted() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  std::string Path(const std::string& relative) const { return mnt_ + "/" + relative; }

  // The log lines written since the previous call.
  std::string NewLogLines()
  {
    std::string log = ReadWholeFile(dir_ + "/reads.log");
    std::string fresh = log.substr(std::min(logSeen_, log.size()));
    logSeen_ = log.size();
    return fresh;
  }

 private:
  void Start()
  {
    const std::string program = BADMEDIA_FS_PATH;
    const std::string treeArg = "--tree=" + dir_ + "/tree.txt";
    const std::string logArg = "--log=" + dir_ + "/reads.log";
    const std::string out = dir_ + "/fs.out";
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
      error_ = std::string("fork: ") + std::strerror(errno);
      return;
    }
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(1);
      int null = open("/dev/null", O_RDONLY);
      int output = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(null, 0);
      dup2(output, 1);
      dup2(output, 2);
      execl(program.c_str(), program.c_str(), treeArg.c_str(), logArg.c_str(), mnt_.c_str(), "-f", "-o",
            "auto_unmount", static_cast<char*>(nullptr));
      _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!IsMountPoint(mnt_)) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        error_ = "the file system exited: " + ReadWholeFile(out);
        return;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        error_ = "the file system did not come up within 15 s: " + ReadWholeFile(out);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  void Stop()
  {
    if (pid_ > 0) {
      // The server unmounts on SIGTERM; a stuck one is killed and its mount detached.
      int status = 0;
      kill(pid_, SIGTERM);
      if (!WaitForExit(pid_, std::chrono::seconds(10), &status)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
      }
      pid_ = -1;
    }
    if (!mnt_.empty() && IsMountPoint(mnt_)) RunAndWait({"fusermount3", "-uz", mnt_});
  }

  std::string dir_;
  std::string mnt_;
  std::string error_;
  pid_t pid_ = -1;
  size_t logSeen_ = 0;
};

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd()
  {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::vector<unsigned char> Expected(const std::string& path, uint64_t offset, size_t length)
{
  std::vector<unsigned char> bytes(length);
  BadMediaFill(BadMediaDefaultSeed(path.c_str()), offset, bytes.data(), length);
  return bytes;
}

class BadMediaFs : public ::testing::Test {
 protected:
  static void TearDownTestSuite() { mount_.reset(); }

  void SetUp() override
  {
    if (!FuseUsable()) {
      const char* message =
          "\n************************************************************\n"
          "BAD-MEDIA TESTS SKIPPED: /dev/fuse is unavailable (missing or cannot be opened).\n"
          "The file system tests need FUSE on this machine.\n"
          "************************************************************\n";
      std::fputs(message, stderr);
      if (CiRun()) FAIL() << message << "CI=true: a missing /dev/fuse is an error.";
      GTEST_SKIP() << message;
    }
    if (!mount_) mount_ = std::make_unique<BadMediaMount>(kTree);
    ASSERT_TRUE(mount_->Mounted()) << mount_->Error();
    mount_->NewLogLines();  // earlier tests' reads
  }

  std::string Path(const std::string& relative) const { return mount_->Path(relative); }
  std::string NewLogLines() { return mount_->NewLogLines(); }

  // Reads with one pread(); returns its result with the bytes in data.
  ssize_t ReadAt(const std::string& relative, uint64_t offset, size_t length, std::vector<unsigned char>& data)
  {
    Fd fd(open(Path(relative).c_str(), O_RDONLY));
    EXPECT_GE(fd.get(), 0) << relative << ": " << std::strerror(errno);
    data.assign(length, 0);
    ssize_t result = pread(fd.get(), data.data(), length, static_cast<off_t>(offset));
    data.resize(result > 0 ? static_cast<size_t>(result) : 0);
    return result;
  }

  // Writes length bytes with one pwrite(); returns the count written or the error's name,
  // as the log gives them.
  static std::string WriteAt(int fd, uint64_t offset, size_t length)
  {
    std::vector<char> data(length, 'w');
    ssize_t written = pwrite(fd, data.data(), length, static_cast<off_t>(offset));
    return written >= 0 ? std::to_string(written) : strerrorname_np(errno);
  }

  std::set<std::string> List(const std::string& relative) const
  {
    std::set<std::string> names;
    DIR* dir = opendir(Path(relative).c_str());
    EXPECT_NE(dir, nullptr) << relative;
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') names.insert(entry->d_name);
    }
    closedir(dir);
    return names;
  }

  static std::unique_ptr<BadMediaMount> mount_;
};

std::unique_ptr<BadMediaMount> BadMediaFs::mount_;

TEST_F(BadMediaFs, SizesModesAndListingFollowTheTree)
{
  struct stat st;
  ASSERT_EQ(stat(Path("huge/big.bin").c_str(), &st), 0) << std::strerror(errno);
  EXPECT_EQ(static_cast<uint64_t>(st.st_size), kHugeSize);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  ASSERT_EQ(stat(Path("small.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 10000);
  ASSERT_EQ(stat(Path("caf\xE9/na\xEFve.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 100);
  ASSERT_EQ(stat(Path("empty").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0555u);
  EXPECT_EQ(stat(Path("missing.bin").c_str(), &st), -1);
  EXPECT_EQ(errno, ENOENT);

  auto list = [&](const std::string& relative) {
    std::set<std::string> names;
    DIR* dir = opendir(Path(relative).c_str());
    EXPECT_NE(dir, nullptr) << relative;
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) names.insert(entry->d_name);
    closedir(dir);
    return names;
  };
  EXPECT_EQ(list(""), (std::set<std::string>{".", "..", "blocks.bin", "caf\xE9", "empty", "faults", "huge",
                                             "rescue", "slow.bin", "small.bin", "sticks"}));
  EXPECT_EQ(list("huge"), (std::set<std::string>{".", "..", "big.bin", "cached.bin"}));
  EXPECT_EQ(list("empty"), (std::set<std::string>{".", ".."}));
}

TEST_F(BadMediaFs, ContentIsThePatternOfTheSeed)
{
  // Odd-sized reads cross the 8-byte words of the pattern at every alignment.
  Fd fd(open(Path("small.bin").c_str(), O_RDONLY));
  ASSERT_GE(fd.get(), 0);
  std::vector<unsigned char> content;
  unsigned char chunk[3001];
  ssize_t got;
  while ((got = read(fd.get(), chunk, sizeof chunk)) > 0) content.insert(content.end(), chunk, chunk + got);
  ASSERT_EQ(got, 0) << std::strerror(errno);
  EXPECT_TRUE(content == Expected("small.bin", 0, 10000));

  std::vector<unsigned char> data;
  ASSERT_EQ(ReadAt("caf\xE9/na\xEFve.bin", 3, 200, data), 97);
  std::vector<unsigned char> seeded(97);
  BadMediaFill(7, 3, seeded.data(), seeded.size());
  EXPECT_TRUE(data == seeded);
}

TEST_F(BadMediaFs, EveryReadIsLoggedWithItsExactOffsetAndLength)
{
  Fd fd(open(Path("small.bin").c_str(), O_RDONLY));
  ASSERT_GE(fd.get(), 0);
  unsigned char block[4096];
  EXPECT_EQ(pread(fd.get(), block, sizeof block, 0), 4096);
  EXPECT_EQ(pread(fd.get(), block, sizeof block, 4096), 4096);
  EXPECT_EQ(pread(fd.get(), block, sizeof block, 8192), 1808);
  EXPECT_EQ(pread(fd.get(), block, sizeof block, 10000), 0);
  EXPECT_EQ(NewLogLines(),
            "small.bin open\n"
            "small.bin 0 4096 4096\n"
            "small.bin 4096 4096 4096\n"
            "small.bin 8192 4096 1808\n"
            "small.bin 10000 4096 0\n");
}

TEST_F(BadMediaFs, ReadTouchingABadRangeFailsWithEio)
{
  Fd fd(open(Path("blocks.bin").c_str(), O_RDONLY));
  ASSERT_GE(fd.get(), 0);
  std::vector<unsigned char> block(4096);
  EXPECT_EQ(pread(fd.get(), block.data(), 4096, 4096), 4096);
  EXPECT_TRUE(block == Expected("blocks.bin", 4096, 4096));
  errno = 0;
  EXPECT_EQ(pread(fd.get(), block.data(), 4096, 8192), -1);
  EXPECT_EQ(errno, EIO);
  errno = 0;
  EXPECT_EQ(pread(fd.get(), block.data(), 4096, 6000), -1);  // only its tail is bad
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(pread(fd.get(), block.data(), 4096, 12288), 4096);
  EXPECT_TRUE(block == Expected("blocks.bin", 12288, 4096));
  EXPECT_EQ(NewLogLines(),
            "blocks.bin open\n"
            "blocks.bin 4096 4096 4096\n"
            "blocks.bin 8192 4096 EIO\n"
            "blocks.bin 6000 4096 EIO\n"
            "blocks.bin 12288 4096 4096\n");
}

TEST_F(BadMediaFs, MarginalRangeFailsItsFirstReadsThenReads)
{
  const struct {
    uint64_t offset;
    size_t length;
    const char* result;
  } reads[] = {
      {0, 4096, "4096"},     // touches no marginal range
      {4096, 4096, "EIO"},   // the first read of 4K-8K
      {6000, 4096, "EIO"},   // the second of 4K-8K and the first of 8K-12K
      {8192, 4096, "4096"},  // 8K-12K failed once: it reads now
      {4096, 1, "1"},        // 4K-8K failed twice
  };
  std::string log;
  for (const auto& read : reads) {
    std::vector<unsigned char> data;
    const ssize_t result = ReadAt("rescue/retry.bin", read.offset, read.length, data);
    EXPECT_EQ(result >= 0 ? std::to_string(result) : strerrorname_np(errno), read.result) << read.offset;
    EXPECT_TRUE(data == Expected("rescue/retry.bin", read.offset, data.size())) << read.offset;
    log += "rescue/retry.bin open\nrescue/retry.bin " + std::to_string(read.offset) + ' ' +
           std::to_string(read.length) + ' ' + read.result + '\n';
  }
  EXPECT_EQ(NewLogLines(), log);
  // New times start the counts again.
  std::vector<unsigned char> data;
  ASSERT_EQ(utimensat(AT_FDCWD, Path("rescue/retry.bin").c_str(), nullptr, 0), 0) << std::strerror(errno);
  EXPECT_EQ(ReadAt("rescue/retry.bin", 4096, 1, data), -1);
  EXPECT_EQ(NewLogLines(), "rescue/retry.bin restart\nrescue/retry.bin open\nrescue/retry.bin 4096 1 EIO\n");
}

TEST_F(BadMediaFs, OnlyFailingReadsWaitForSlowfailAndOtherFilesAnswerMeanwhile)
{
  const auto slowFail = std::chrono::milliseconds(1500);
  Fd fd(open(Path("rescue/stall.bin").c_str(), O_RDONLY));
  ASSERT_GE(fd.get(), 0);
  auto failing = std::async(std::launch::async, [&] {
    unsigned char block[4096];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(pread(fd.get(), block, sizeof block, 8192) == -1 && errno == EIO) << std::strerror(errno);
    return std::chrono::steady_clock::now() - start;
  });
  // Once the failing read has surely reached the file system, another file with marginal
  // ranges (read where it has none) must answer before it does.
  ASSERT_EQ(failing.wait_for(slowFail / 5), std::future_status::timeout);
  std::vector<unsigned char> data;
  EXPECT_EQ(ReadAt("rescue/retry.bin", 0, 4096, data), 4096);
  EXPECT_EQ(failing.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
      << "rescue/retry.bin waited for the failing read of rescue/stall.bin";
  EXPECT_GE(failing.get(), slowFail);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadAt("rescue/stall.bin", 8192, 4096, data), 4096);  // the marginal range reads now
  EXPECT_LT(std::chrono::steady_clock::now() - start, slowFail / 2);
}

TEST_F(BadMediaFs, DelayedFileAnswersNoSoonerThanItsDelay)
{
  Fd fd(open(Path("slow.bin").c_str(), O_RDONLY));
  ASSERT_GE(fd.get(), 0);
  unsigned char block[4096];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(pread(fd.get(), block, sizeof block, 0), 4096);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(300));
}

TEST_F(BadMediaFs, ReadsPastFourGibReturnTheRightBytes)
{
  std::vector<unsigned char> data;
  const uint64_t offset = (4ull << 30) + 1;
  ASSERT_EQ(ReadAt("huge/big.bin", offset, 4096, data), 4096) << std::strerror(errno);
  EXPECT_TRUE(data == Expected("huge/big.bin", offset, 4096));
  ASSERT_EQ(ReadAt("huge/big.bin", kHugeSize - 1, 4096, data), 1);
  EXPECT_TRUE(data == Expected("huge/big.bin", kHugeSize - 1, 1));
  EXPECT_EQ(NewLogLines(),
            "huge/big.bin open\n"
            "huge/big.bin 4294967297 4096 4096\n"
            "huge/big.bin open\n"
            "huge/big.bin 4294971392 4096 1\n");

  // Through the page cache the kernel reads whole pages, maybe more: only the bytes count.
  ASSERT_EQ(ReadAt("huge/cached.bin", offset, 4096, data), 4096) << std::strerror(errno);
  EXPECT_TRUE(data == Expected("huge/cached.bin", offset, 4096));
  EXPECT_NE(NewLogLines().find("huge/cached.bin 4294967296 "), std::string::npos);
}

TEST_F(BadMediaFs, FoldersThatRefuseLinksAndDosAttributes)
{
  errno = 0;
  EXPECT_EQ(opendir(Path("faults/locked").c_str()), nullptr);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(chdir(Path("faults/locked").c_str()), -1);  // as root too
  DIR* muddled = opendir(Path("faults/muddled").c_str());
  ASSERT_NE(muddled, nullptr);
  errno = 0;
  EXPECT_EQ(readdir(muddled), nullptr);
  EXPECT_EQ(errno, EIO);
  closedir(muddled);

  char target[16] = {};
  EXPECT_EQ(readlink(Path("faults/up").c_str(), target, sizeof target - 1), 2);
  EXPECT_STREQ(target, "..");
  struct stat st;
  ASSERT_EQ(stat(Path("faults/up/small.bin").c_str(), &st), 0);  // the link leads back up
  EXPECT_EQ(st.st_size, 10000);

  char attributes[16] = {};
  EXPECT_EQ(getxattr(Path("faults/marked.bin").c_str(), "user.DOSATTRIB", attributes, sizeof attributes - 1), 3);
  EXPECT_STREQ(attributes, "0x6");
  EXPECT_EQ(getxattr(Path("small.bin").c_str(), "user.DOSATTRIB", attributes, sizeof attributes), -1);
}

TEST_F(BadMediaFs, WritingIsRefused)
{
  errno = 0;
  EXPECT_EQ(open(Path("small.bin").c_str(), O_RDWR), -1);
  EXPECT_EQ(errno, EROFS);
  errno = 0;
  EXPECT_EQ(open(Path("new.bin").c_str(), O_WRONLY | O_CREAT, 0644), -1);
  EXPECT_EQ(errno, EROFS);
  errno = 0;
  EXPECT_EQ(mkdir(Path("empty/sub").c_str(), 0755), -1);
  EXPECT_EQ(errno, EROFS);
}

TEST_F(BadMediaFs, EveryChangeOutsideWritableFoldersIsRefused)
{
  const std::string file = Path("small.bin");
  const std::string folder = Path("sticks");
  const std::pair<const char*, std::function<int()>> changes[] = {
      {"truncate", [&] { return truncate(file.c_str(), 0); }},
      {"open with O_TRUNC", [&] { return open(file.c_str(), O_RDONLY | O_TRUNC); }},
      {"unlink", [&] { return unlink(file.c_str()); }},
      {"rename", [&] { return rename(file.c_str(), (file + ".old").c_str()); }},
      {"rmdir", [&] { return rmdir(Path("empty").c_str()); }},
      {"symlink", [&] { return symlink("small.bin", Path("empty/link").c_str()); }},
      {"link", [&] { return link(file.c_str(), Path("empty/link").c_str()); }},
      {"chmod", [&] { return chmod(file.c_str(), 0644); }},
      {"chown", [&] { return chown(file.c_str(), getuid(), getgid()); }},
      {"utimensat of a folder", [&] { return utimensat(AT_FDCWD, Path("empty").c_str(), nullptr, 0); }},
      {"setxattr", [&] { return setxattr(file.c_str(), "user.DOSATTRIB", "0x20", 4, 0); }},
      {"removexattr", [&] { return removexattr(Path("faults/marked.bin").c_str(), "user.DOSATTRIB"); }},
      {"create beside writable folders", [&] { return open((folder + "/new.bin").c_str(), O_WRONLY | O_CREAT, 0644); }},
  };
  for (const auto& change : changes) {
    errno = 0;
    EXPECT_EQ(change.second(), -1) << change.first;
    EXPECT_EQ(errno, EROFS) << change.first;
  }
  EXPECT_EQ(NewLogLines(),
            "small.bin delete EROFS\n"
            "small.bin rename small.bin.old EROFS\n"
            "sticks/new.bin create EROFS\n");
}

TEST_F(BadMediaFs, WritableFolderKeepsWhatIsWrittenAndLogsEveryChange)
{
  const std::string draft = "sticks/copies/draft.tmp";
  const std::string copy = "sticks/copies/copy.bin";
  const std::string other = "sticks/copies/other.bin";
  for (const std::string& older : {copy, other}) Fd(open(Path(older).c_str(), O_WRONLY | O_CREAT, 0644));
  Fd fd(open(Path(draft).c_str(), O_RDWR | O_CREAT | O_EXCL, 0644));
  ASSERT_GE(fd.get(), 0) << std::strerror(errno);
  EXPECT_EQ(pwrite(fd.get(), "head", 4, 0), 4);
  EXPECT_EQ(pwrite(fd.get(), "tail", 4, 10000), 4);
  std::string content(10004, 'x');
  EXPECT_EQ(pread(fd.get(), &content[0], content.size(), 0), 10004);
  EXPECT_EQ(content, "head" + std::string(9996, '\0') + "tail");  // the gap reads as zeros
  // Cut and grown again, the file must not bring back what was cut off.
  EXPECT_EQ(ftruncate(fd.get(), 2), 0);
  EXPECT_EQ(ftruncate(fd.get(), 6), 0);
  EXPECT_EQ(pread(fd.get(), &content[0], 10, 0), 6);
  EXPECT_EQ(content.substr(0, 6), std::string("he\0\0\0\0", 6));
  EXPECT_EQ(fsetxattr(fd.get(), "user.DOSATTRIB", "0x20", 4, 0), 0);

  EXPECT_EQ(rename(Path(draft).c_str(), Path(copy).c_str()), 0);  // replaces the older copy
  errno = 0;
  EXPECT_EQ(renameat2(AT_FDCWD, Path(copy).c_str(), AT_FDCWD, Path(other).c_str(), RENAME_NOREPLACE), -1);
  EXPECT_EQ(errno, EEXIST);
  errno = 0;
  EXPECT_EQ(renameat2(AT_FDCWD, Path(copy).c_str(), AT_FDCWD, Path(other).c_str(), RENAME_EXCHANGE), -1);
  EXPECT_EQ(errno, EINVAL);
  errno = 0;
  EXPECT_EQ(rename(Path(copy).c_str(), Path("sticks/short/copy.bin").c_str()), -1);
  EXPECT_EQ(errno, EXDEV);
  errno = 0;
  EXPECT_EQ(mkdir(Path("sticks/copies/sub").c_str(), 0755), -1);
  EXPECT_EQ(errno, EPERM);

  EXPECT_EQ(List("sticks/copies"), (std::set<std::string>{"copy.bin", "other.bin"}));
  struct stat st;
  ASSERT_EQ(stat(Path(copy).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 6);
  EXPECT_EQ(st.st_mode, S_IFREG | 0644u);
  char attributes[8] = {};
  EXPECT_EQ(getxattr(Path(copy).c_str(), "user.DOSATTRIB", attributes, sizeof attributes - 1), 4);
  EXPECT_STREQ(attributes, "0x20");
  char names[64] = {};
  EXPECT_EQ(listxattr(Path(copy).c_str(), names, sizeof names), 15);
  EXPECT_STREQ(names, "user.DOSATTRIB");
  EXPECT_EQ(getxattr(Path(other).c_str(), "user.DOSATTRIB", attributes, sizeof attributes), -1);
  EXPECT_EQ(errno, ENODATA);
  for (const std::string& name : {copy, other}) EXPECT_EQ(unlink(Path(name).c_str()), 0);
  EXPECT_EQ(List("sticks/copies"), std::set<std::string>{});

  EXPECT_EQ(NewLogLines(),
            copy + " create 0\n" + other + " create 0\n" + draft + " create 0\n" +
            draft + " write 0 4 4\n" + draft + " write 10000 4 4\n" + draft + " 0 10004 10004\n" +
            draft + " 0 10 6\n" + draft + " rename " + copy + " 0\n" + copy + " rename " + other + " EINVAL\n" +
            copy + " rename sticks/short/copy.bin EXDEV\n" + copy + " delete 0\n" + other + " delete 0\n");
}

TEST_F(BadMediaFs, WritesFailAtTheFaultsOfTheirFolder)
{
  struct Write {
    const char* file;
    uint64_t offset;
    size_t length;
    const char* result;
  };
  const Write writes[] = {
      {"sticks/short/a.bin", 0, 4096, "4096"},
      {"sticks/short/a.bin", 4096, 4096, "4096"},     // ends right at short=
      {"sticks/short/a.bin", 8192, 1, "ENOSPC"},      // starts at it
      {"sticks/short/a.bin", 6144, 4096, "2048"},     // crosses it: only the bytes below
      {"sticks/short/a.bin", 8191, 2, "1"},           // the second and last shortened write
      {"sticks/short/a.bin", 4096, 8192, "ENOSPC"},
      {"sticks/short/b.bin", 0, 12288, "8192"},       // each file has its own count
      {"sticks/nospace/a.bin", 12288, 4096, "4096"},  // ends right at enospc=
      {"sticks/nospace/a.bin", 12288, 4097, "ENOSPC"},
      {"sticks/nospace/a.bin", 60000, 8192, "ENOSPC"},  // reaches eio= too, but enospc= is lower
      {"sticks/nospace/a.bin", 0, 100, "100"},
      {"sticks/dying/a.bin", 0, 4096, "4096"},
      {"sticks/dying/a.bin", 4000, 200, "EIO"},
      {"sticks/dying/a.bin", 0, 1, "EIO"},  // the medium is gone
  };
  std::map<std::string, std::unique_ptr<Fd>> files;
  std::string log;
  for (const Write& write : writes) {
    std::unique_ptr<Fd>& fd = files[write.file];
    if (!fd) {
      fd = std::make_unique<Fd>(open(Path(write.file).c_str(), O_RDWR | O_CREAT, 0644));
      ASSERT_GE(fd->get(), 0) << write.file << ": " << std::strerror(errno);
      log += std::string(write.file) + " create 0\n";
    }
    EXPECT_EQ(WriteAt(fd->get(), write.offset, write.length), write.result) << write.file << " at " << write.offset;
    log += std::string(write.file) + " write " + std::to_string(write.offset) + ' ' + std::to_string(write.length) +
           ' ' + write.result + '\n';
  }
  EXPECT_EQ(NewLogLines(), log);
  // Shortened writes kept their first bytes, failed ones wrote nothing.
  for (const auto& size : std::map<std::string, off_t>{{"sticks/short/a.bin", 8192},
                                                       {"sticks/short/b.bin", 8192},
                                                       {"sticks/nospace/a.bin", 16384},
                                                       {"sticks/dying/a.bin", 4096}}) {
    struct stat st;
    ASSERT_EQ(fstat(files[size.first]->get(), &st), 0);
    EXPECT_EQ(st.st_size, size.second) << size.first;
  }

  // On the gone medium every change fails, but a client can still read, list and clean up.
  const std::string dying = Path("sticks/dying/a.bin");
  const std::pair<const char*, std::function<int()>> changes[] = {
      {"create", [&] { return open(Path("sticks/dying/b.bin").c_str(), O_WRONLY | O_CREAT, 0644); }},
      {"rename", [&] { return rename(dying.c_str(), Path("sticks/dying/c.bin").c_str()); }},
      {"truncate", [&] { return truncate(dying.c_str(), 0); }},
      {"open for writing", [&] { return open(dying.c_str(), O_WRONLY); }},
  };
  for (const auto& change : changes) {
    errno = 0;
    EXPECT_EQ(change.second(), -1) << change.first;
    EXPECT_EQ(errno, EIO) << change.first;
  }
  std::vector<unsigned char> data;
  EXPECT_EQ(ReadAt("sticks/dying/a.bin", 0, 8192, data), 4096);
  EXPECT_EQ(List("sticks/dying"), std::set<std::string>{"a.bin"});
  files.clear();
  for (const char* name : {"sticks/short/a.bin", "sticks/short/b.bin", "sticks/nospace/a.bin", "sticks/dying/a.bin"})
    EXPECT_EQ(unlink(Path(name).c_str()), 0) << name;

  // Emptied, the folders are as new: the medium is back, and short= shortens again.
  const Write again[] = {{"sticks/dying/a.bin", 0, 4096, "4096"}, {"sticks/short/a.bin", 6144, 4096, "2048"}};
  for (const Write& write : again) {
    Fd fd(open(Path(write.file).c_str(), O_WRONLY | O_CREAT, 0644));
    ASSERT_GE(fd.get(), 0) << write.file << ": " << std::strerror(errno);
    EXPECT_EQ(WriteAt(fd.get(), write.offset, write.length), write.result) << write.file;
    EXPECT_EQ(unlink(Path(write.file).c_str()), 0);
  }
}

TEST_F(BadMediaFs, OnlyWritableFoldersReportFreeSpace)
{
  Fd fd(open(Path("sticks/copies/space.bin").c_str(), O_WRONLY | O_CREAT, 0644));
  ASSERT_GE(fd.get(), 0) << std::strerror(errno);
  ASSERT_EQ(WriteAt(fd.get(), 0, 10000), "10000");
  const uint64_t room = (1ull << 40) - 12288;  // 1 TiB less the file's 10000 bytes, in whole blocks
  const std::tuple<const char*, uint64_t, unsigned long> places[] = {
      {"sticks/copies", room, 4096}, {"sticks/copies/space.bin", room, 4096}, {"sticks/short", 1ull << 40, 4096},
      {"small.bin", 0, 4096},        {"sticks/cd", 1ull << 40, 2048},         {"rescue/cd/sub/a.bin", 0, 2048}};
  for (const auto& [path, freeBytes, blockSize] : places) {
    struct statvfs st;
    ASSERT_EQ(statvfs(Path(path).c_str(), &st), 0) << path;
    EXPECT_EQ(st.f_frsize, blockSize) << path;
    EXPECT_EQ(st.f_bsize, blockSize) << path;
    EXPECT_EQ(st.f_bavail * st.f_frsize, freeBytes) << path;
    EXPECT_EQ(st.f_bfree, st.f_bavail) << path;
    EXPECT_EQ(st.f_flag & ST_RDONLY, 0u) << path;  // the kernel's mount flag, not the answer's
  }
  EXPECT_EQ(unlink(Path("sticks/copies/space.bin").c_str()), 0);
}

TEST(BadMediaFsCommandLine, MalformedTreeIsRefusedWithItsLineNumber)
{
  char folder[] = "/tmp/badmedia-test-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder;
  std::ofstream(dir + "/tree.txt") << "file ok.bin 10\nfile bad.bin 10 bad=5-20\n";
  const std::string command = std::string(BADMEDIA_FS_PATH) + " --tree=" + dir + "/tree.txt --log=" + dir +
                              "/reads.log " + dir + " -f 2>" + dir + "/fs.out";
  int status = std::system(command.c_str());
  std::string output = ReadWholeFile(dir + "/fs.out");
  for (const char* name : {"/tree.txt", "/reads.log", "/fs.out"}) unlink((dir + name).c_str());
  rmdir(dir.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
  EXPECT_NE(output.find("line 2: 'bad=5-20' reaches past the file size 10"), std::string::npos) << output;
}

}  // namespace
