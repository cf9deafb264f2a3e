// The bad-media file system: a read-only FUSE tree whose files hold generated content and
// fail to read in chosen ranges, as a failing disc or stick does. Every read is logged, so
// that a test can see exactly which blocks the program under test asked for.
//
//   badmedia_fs --tree=FILE --log=FILE MOUNTPOINT [-f] [-s] [-o OPTIONS]...
//
// Log lines: "<path> <offset> <length> <result>\n", result being the byte count returned or
// EIO, and "<path> open\n" for every open of a file; each line is one write(2) on an
// O_APPEND descriptor, so lines never interleave and are visible at once.
#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

#include "tools/bad_media_pattern.h"
#include "tools/bad_media_tree.h"

namespace {

struct Options {
  char* tree = nullptr;
  char* log = nullptr;
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

void LogLine(const std::string& line)
{
  // One write per line: with O_APPEND concurrent lines never mix.
  ssize_t written = write(g_logFd, line.data(), line.size());
  if (written != static_cast<ssize_t>(line.size())) {
    std::fprintf(stderr, "badmedia_fs: could not write the read log: %s\n", std::strerror(errno));
  }
}

void LogRead(const BadMediaFile& file, uint64_t offset, uint64_t length, const std::string& result)
{
  LogLine(file.path + ' ' + std::to_string(offset) + ' ' + std::to_string(length) + ' ' + result + '\n');
}

// The tree's form of a path that the kernel passes: no leading slash, the root is "".
std::string TreePath(const char* path)
{
  return path[0] == '/' ? std::string(path + 1) : std::string(path);
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

int OnGetAttr(const char* path, struct stat* st, fuse_file_info*)
{
  const BadMediaNode* node = g_tree.Find(path);
  if (node == nullptr) return -ENOENT;
  FillStat(TreePath(path), *node, st);
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
  const BadMediaNode* node = g_tree.Find(path);
  if (node == nullptr) return -ENOENT;
  if (!node->isDir) return -ENOTDIR;
  return node->dirFault == BadMediaDirFault::kUnenterable ? -EACCES : 0;
}

// chdir asks this rather than opening the folder.
int OnAccess(const char* path, int)
{
  const BadMediaNode* node = g_tree.Find(path);
  if (node == nullptr) return -ENOENT;
  return node->dirFault == BadMediaDirFault::kUnenterable ? -EACCES : 0;
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
  if (!prefix.empty()) prefix += '/';
  for (const std::string& name : node->children) {
    struct stat st;
    FillStat(prefix + name, *g_tree.Find(prefix + name), &st);
    if (fill(buffer, name.c_str(), &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
  }
  return 0;
}

int OnOpen(const char* path, fuse_file_info* fi)
{
  const BadMediaNode* node = g_tree.Find(path);
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

int OnRead(const char*, char* buffer, size_t length, off_t offset, fuse_file_info* fi)
{
  const BadMediaFile& file = g_tree.files[fi->fh];
  if (file.delayMs != 0) std::this_thread::sleep_for(std::chrono::milliseconds(file.delayMs));
  if (offset < 0) return -EINVAL;
  uint64_t start = static_cast<uint64_t>(offset);
  if (BadMediaReadFails(file, start, length)) {
    LogRead(file, start, length, "EIO");
    return -EIO;
  }
  size_t count = 0;
  if (start < file.size) {
    uint64_t left = file.size - start;
    count = left < length ? static_cast<size_t>(left) : length;
    BadMediaFill(file.seed, start, buffer, count);
  }
  LogRead(file, start, length, std::to_string(count));
  return static_cast<int>(count);
}

// Wine takes the DOS attributes of a file from this attribute, as Samba stores them.
int OnGetXattr(const char* path, const char* name, char* value, size_t size)
{
  const BadMediaNode* node = g_tree.Find(path);
  if (node == nullptr) return -ENOENT;
  const uint32_t attributes = (node->isDir || node->isLink) ? 0 : g_tree.files[node->file].dosAttributes;
  if (attributes == 0 || std::strcmp(name, "user.DOSATTRIB") != 0) return -ENODATA;
  char text[16];
  const int length = std::snprintf(text, sizeof text, "0x%x", attributes);
  if (size == 0) return length;
  if (size < static_cast<size_t>(length)) return -ERANGE;
  std::memcpy(value, text, static_cast<size_t>(length));
  return length;
}

int OnRelease(const char*, fuse_file_info*)
{
  return 0;
}

int OnStatFs(const char*, struct statvfs* st)
{
  std::memset(st, 0, sizeof *st);
  uint64_t bytes = 0;
  for (const BadMediaFile& file : g_tree.files) bytes += file.size;
  st->f_bsize = 4096;
  st->f_frsize = 4096;
  st->f_blocks = static_cast<fsblkcnt_t>((bytes + 4095) / 4096);
  st->f_bfree = 0;
  st->f_bavail = 0;
  st->f_files = static_cast<fsfilcnt_t>(g_tree.nodes.size());
  st->f_ffree = 0;
  st->f_favail = 0;
  st->f_namemax = 255;
  st->f_flag = ST_RDONLY;
  return 0;
}

void* OnInit(fuse_conn_info*, fuse_config* config)
{
  config->kernel_cache = 0;
  config->direct_io = 0;  // chosen per file in OnOpen
  return nullptr;
}

void PrintUsage(const char* program)
{
  std::fprintf(stderr,
               "usage: %s --tree=FILE --log=FILE MOUNTPOINT [FUSE options: -f, -s, -o ...]\n"
               "Serves the files described in the tree file, read-only, failing reads that touch\n"
               "their bad= ranges with EIO, and logs every read to the log file.\n",
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

  // Read-only at the kernel too, so writes, creates and renames fail with EROFS before
  // they reach us.
  fuse_opt_add_arg(&args, "-oro,fsname=badmedia,subtype=badmedia");

  fuse_operations operations{};
  operations.getattr = OnGetAttr;
  operations.readlink = OnReadLink;
  operations.opendir = OnOpenDir;
  operations.access = OnAccess;
  operations.readdir = OnReadDir;
  operations.getxattr = OnGetXattr;
  operations.open = OnOpen;
  operations.read = OnRead;
  operations.release = OnRelease;
  operations.statfs = OnStatFs;
  operations.init = OnInit;

  int result = fuse_main(args.argc, args.argv, &operations, nullptr);
  fuse_opt_free_args(&args);
  close(g_logFd);
  return result;
}
