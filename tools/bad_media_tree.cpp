#include "tools/bad_media_tree.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "tools/bad_media_pattern.h"

namespace {

// A day: longer is certainly a typo, and the value must fit the milliseconds of a sleep.
constexpr uint64_t kMaxDelayMs = 24ull * 60 * 60 * 1000;

bool IsBlank(char c)
{
  return c == ' ' || c == '\t';
}

std::vector<std::string> SplitFields(const std::string& line)
{
  std::vector<std::string> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool ParseTerm(const std::string& term, uint64_t& value, std::string& error)
{
  size_t digits = 0;
  while (digits < term.size() && term[digits] >= '0' && term[digits] <= '9') ++digits;
  if (digits == 0) {
    error = "'" + term + "' is not a number";
    return false;
  }
  unsigned shift = 0;
  if (digits + 1 == term.size()) {
    switch (term[digits]) {
      case 'K': case 'k': shift = 10; break;
      case 'M': case 'm': shift = 20; break;
      case 'G': case 'g': shift = 30; break;
      case 'T': case 't': shift = 40; break;
      default:
        error = "'" + term + "' has an unknown suffix (K, M, G or T)";
        return false;
    }
  } else if (digits != term.size()) {
    error = "'" + term + "' is not a number";
    return false;
  }
  uint64_t number = 0;
  for (size_t i = 0; i < digits; ++i) {
    unsigned digit = static_cast<unsigned>(term[i] - '0');
    if (number > (UINT64_MAX - digit) / 10) {
      error = "'" + term + "' is too large";
      return false;
    }
    number = number * 10 + digit;
  }
  if (shift != 0 && number > (UINT64_MAX >> shift)) {
    error = "'" + term + "' is too large";
    return false;
  }
  value = number << shift;
  return true;
}

// A path of the description: relative, no empty, "." or ".." components.
bool CheckPath(const std::string& path, std::string& error)
{
  if (path.empty()) {
    error = "empty path";
    return false;
  }
  if (path[0] == '/') {
    error = "path '" + path + "' must be relative";
    return false;
  }
  size_t start = 0;
  while (true) {
    size_t slash = path.find('/', start);
    std::string component = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (component.empty() || component == "." || component == "..") {
      error = "path '" + path + "' has an empty, '.' or '..' component";
      return false;
    }
    if (component.find('\0') != std::string::npos) {
      error = "path '" + path + "' contains a NUL byte";
      return false;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return true;
}

std::string ParentOf(const std::string& path)
{
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool AddDirectory(BadMediaTree& tree, const std::string& path, std::string& error);

// Lists path in its parent directory, creating the parents as needed.
bool AddToParent(BadMediaTree& tree, const std::string& path, std::string& error)
{
  const std::string parent = ParentOf(path);
  if (!AddDirectory(tree, parent, error)) return false;
  BadMediaNode& folder = tree.nodes[parent];
  if (folder.writable) {
    error = "'" + parent + "' is writable: it holds no entries of the description";
    return false;
  }
  folder.children.push_back(NameOf(path));
  return true;
}

// Creates the directory at path and its missing parents. Fails when a file is in the way.
bool AddDirectory(BadMediaTree& tree, const std::string& path, std::string& error)
{
  auto found = tree.nodes.find(path);
  if (found != tree.nodes.end()) {
    if (!found->second.isDir) {
      error = "'" + path + "' is already a file";
      return false;
    }
    return true;
  }
  if (!AddToParent(tree, path, error)) return false;
  BadMediaNode node;
  node.isDir = true;
  tree.nodes.emplace(path, node);
  return true;
}

// One fault of a writable folder: "short=<offset>[,<times>]", "enospc=<offset>" or
// "eio=<offset>". Returns false with an empty error when field is none of them.
bool ParseWriteFault(const std::string& field, BadMediaWriteFaults& faults, std::string& error)
{
  error.clear();
  const size_t equals = field.find('=');
  const std::string name = field.substr(0, equals == std::string::npos ? 0 : equals + 1);
  std::optional<uint64_t>* offset = name == "short=" ? &faults.shortAt
                                    : name == "enospc=" ? &faults.enospcAt
                                    : name == "eio=" ? &faults.eioAt
                                                     : nullptr;
  if (offset == nullptr) return false;
  if (offset->has_value()) {
    error = name + " given twice";
    return false;
  }
  std::string value = field.substr(equals + 1);
  if (offset == &faults.shortAt) {
    // Numbers never contain a ',', so the first one ends the offset.
    const size_t comma = value.find(',');
    if (comma != std::string::npos) {
      if (!ParseBadMediaNumber(value.substr(comma + 1), faults.shortTimes, error)) return false;
      value.resize(comma);
    }
  }
  uint64_t at = 0;
  if (!ParseBadMediaNumber(value, at, error)) return false;
  *offset = at;
  return true;
}

// "sector=<bytes>": a block size that a file system may have.
bool ParseSectorSize(const std::string& field, uint32_t& sectorSize, std::string& error)
{
  if (sectorSize != 0) {
    error = "sector= given twice";
    return false;
  }
  uint64_t size = 0;
  if (!ParseBadMediaNumber(field.substr(7), size, error)) return false;
  if (size < 512 || size > 65536 || (size & (size - 1)) != 0) {
    error = "'" + field + "' must be a power of two from 512 to 64K";
    return false;
  }
  sectorSize = static_cast<uint32_t>(size);
  return true;
}

bool ParseDirectory(const std::vector<std::string>& fields, BadMediaTree& tree, std::string& error)
{
  static const char kUsage[] =
      "expected 'dir <path>', 'dir <path> unenterable|unlistable' or 'dir <path> writable "
      "[short=<offset>[,<times>]] [enospc=<offset>] [eio=<offset>]', each with [sector=<bytes>]";
  if (fields.size() < 2) {
    error = kUsage;
    return false;
  }
  BadMediaDirFault fault = BadMediaDirFault::kNone;
  bool writable = false;
  BadMediaWriteFaults faults;
  std::string firstFault;
  uint32_t sectorSize = 0;
  for (size_t i = 2; i < fields.size(); ++i) {
    const std::string& field = fields[i];
    if (field.compare(0, 7, "sector=") == 0) {
      if (!ParseSectorSize(field, sectorSize, error)) return false;
    } else if ((field == "unenterable" || field == "unlistable") && fault == BadMediaDirFault::kNone) {
      fault = field == "unenterable" ? BadMediaDirFault::kUnenterable : BadMediaDirFault::kUnlistable;
    } else if (field == "writable") {
      if (writable) {
        error = "writable given twice";
        return false;
      }
      writable = true;
    } else if (ParseWriteFault(field, faults, error)) {
      if (firstFault.empty()) firstFault = field;
    } else {
      if (error.empty()) error = kUsage;
      return false;
    }
  }
  if (!firstFault.empty() && !writable) {
    error = "'" + firstFault + "' needs a writable folder";
    return false;
  }
  const std::string& path = fields[1];
  if (!CheckPath(path, error) || !AddDirectory(tree, path, error)) return false;
  BadMediaNode& node = tree.nodes[path];
  if (fault != BadMediaDirFault::kNone) node.dirFault = fault;
  if (sectorSize != 0) {
    if (node.sectorSize != 0) {
      error = "'" + path + "' is given a sector size twice";
      return false;
    }
    node.sectorSize = sectorSize;
  }
  if (writable) {
    if (node.writable) {
      error = "'" + path + "' is declared writable twice";
      return false;
    }
    if (!node.children.empty()) {
      error = "'" + path + "' holds entries, so it cannot be writable";
      return false;
    }
    node.writable = true;
    node.writeFaults = faults;
  }
  if (node.writable && node.dirFault != BadMediaDirFault::kNone) {
    error = "a writable folder cannot be unenterable or unlistable";
    return false;
  }
  return true;
}

// "<start>-<end>" of a bad= or marginal= field: a range of the file that holds bytes.
bool ParseRange(const std::string& field, const std::string& range, uint64_t fileSize, BadMediaRange& parsed,
                std::string& error)
{
  // The range's own '-' separates start from end; numbers never contain one.
  const size_t dash = range.find('-');
  if (dash == std::string::npos) {
    const std::string name = field.substr(0, field.find('='));
    error = "'" + field + "' must be " + name + "=<start>-<end>" + (name == "marginal" ? ",<times>" : "");
    return false;
  }
  if (!ParseBadMediaNumber(range.substr(0, dash), parsed.start, error)) return false;
  if (!ParseBadMediaNumber(range.substr(dash + 1), parsed.end, error)) return false;
  if (parsed.start >= parsed.end) {
    error = "'" + field + "' is empty: its end must be greater than its start";
    return false;
  }
  if (parsed.end > fileSize) {
    error = "'" + field + "' reaches past the file size " + std::to_string(fileSize);
    return false;
  }
  return true;
}

// "marginal=<start>-<end>,<times>"; numbers never contain a ',', so the last one ends the range.
bool ParseMarginal(const std::string& field, BadMediaFile& file, std::string& error)
{
  const std::string value = field.substr(9);
  const size_t comma = value.rfind(',');
  if (comma == std::string::npos) {
    error = "'" + field + "' must be marginal=<start>-<end>,<times>";
    return false;
  }
  BadMediaMarginalRange marginal{};
  if (!ParseBadMediaNumber(value.substr(comma + 1), marginal.times, error)) return false;
  if (marginal.times == 0) {
    error = "'" + field + "' must fail at least once";
    return false;
  }
  if (!ParseRange(field, value.substr(0, comma), file.size, marginal.range, error)) return false;
  file.marginal.push_back(marginal);
  return true;
}

// "delay=<ms>" or "slowfail=<ms>", each given at most once.
bool ParseMilliseconds(const std::string& field, size_t nameLength, std::optional<uint32_t>& ms, std::string& error)
{
  if (ms) {
    error = field.substr(0, nameLength) + " given twice";
    return false;
  }
  uint64_t value = 0;
  if (!ParseBadMediaNumber(field.substr(nameLength), value, error)) return false;
  if (value > kMaxDelayMs) {
    error = "'" + field + "' is longer than a day";
    return false;
  }
  ms = static_cast<uint32_t>(value);
  return true;
}

bool ParseFileOptions(const std::vector<std::string>& fields, BadMediaFile& file, std::string& error)
{
  std::optional<uint32_t> delay;
  std::optional<uint32_t> slowFail;
  bool haveSeed = false;
  for (size_t i = 3; i < fields.size(); ++i) {
    const std::string& field = fields[i];
    if (field.compare(0, 4, "bad=") == 0) {
      BadMediaRange bad{};
      if (!ParseRange(field, field.substr(4), file.size, bad, error)) return false;
      file.bad.push_back(bad);
    } else if (field.compare(0, 9, "marginal=") == 0) {
      if (!ParseMarginal(field, file, error)) return false;
    } else if (field.compare(0, 6, "delay=") == 0) {
      if (!ParseMilliseconds(field, 6, delay, error)) return false;
    } else if (field.compare(0, 9, "slowfail=") == 0) {
      if (!ParseMilliseconds(field, 9, slowFail, error)) return false;
    } else if (field.compare(0, 5, "seed=") == 0) {
      if (haveSeed) {
        error = "seed= given twice";
        return false;
      }
      if (!ParseBadMediaNumber(field.substr(5), file.seed, error)) return false;
      haveSeed = true;
    } else if (field == "cache") {
      file.cache = true;
    } else if (field == "hidden") {
      file.dosAttributes |= 0x2;
    } else if (field == "system") {
      file.dosAttributes |= 0x4;
    } else {
      error = "unknown option '" + field + "'";
      return false;
    }
  }
  file.delayMs = delay.value_or(0);
  file.slowFailMs = slowFail.value_or(0);
  if (!haveSeed) file.seed = BadMediaDefaultSeed(file.path.c_str());
  return true;
}

bool ParseLine(const std::vector<std::string>& fields, BadMediaTree& tree, std::string& error)
{
  const std::string& keyword = fields[0];
  if (keyword == "dir") return ParseDirectory(fields, tree, error);
  if (keyword == "link") {
    if (fields.size() != 3) {
      error = "expected 'link <path> <target>'";
      return false;
    }
    if (!CheckPath(fields[1], error)) return false;
    if (tree.nodes.count(fields[1]) != 0) {
      error = "'" + fields[1] + "' is declared twice";
      return false;
    }
    if (!AddToParent(tree, fields[1], error)) return false;
    BadMediaNode node;
    node.isLink = true;
    node.linkTarget = fields[2];
    tree.nodes.emplace(fields[1], node);
    return true;
  }
  if (keyword == "file") {
    if (fields.size() < 3) {
      error = "expected 'file <path> <size> [options]'";
      return false;
    }
    BadMediaFile file;
    file.path = fields[1];
    if (!CheckPath(file.path, error)) return false;
    if (!ParseBadMediaNumber(fields[2], file.size, error)) return false;
    // Offsets of reads are signed 64-bit in the kernel.
    if (file.size > static_cast<uint64_t>(INT64_MAX)) {
      error = "size '" + fields[2] + "' is too large";
      return false;
    }
    if (!ParseFileOptions(fields, file, error)) return false;
    if (tree.nodes.count(file.path) != 0) {
      error = "'" + file.path + "' is declared twice";
      return false;
    }
    if (!AddToParent(tree, file.path, error)) return false;
    BadMediaNode node;
    node.file = tree.files.size();
    tree.files.push_back(file);
    tree.nodes.emplace(file.path, node);
    return true;
  }
  error = "unknown entry '" + keyword + "' (expected 'dir', 'file' or 'link')";
  return false;
}

}  // namespace

const BadMediaNode* BadMediaTree::Find(const std::string& path) const
{
  std::string key = (!path.empty() && path[0] == '/') ? path.substr(1) : path;
  auto found = nodes.find(key);
  return found == nodes.end() ? nullptr : &found->second;
}

uint32_t BadMediaTree::BlockSizeAt(const std::string& path) const
{
  std::string at = (!path.empty() && path[0] == '/') ? path.substr(1) : path;
  while (true) {
    const BadMediaNode* node = Find(at);
    if (node != nullptr && node->sectorSize != 0) return node->sectorSize;
    if (at.empty()) return kBadMediaDefaultBlockSize;
    at = ParentOf(at);
  }
}

bool ParseBadMediaNumber(const std::string& text, uint64_t& value, std::string& error)
{
  uint64_t sum = 0;
  size_t start = 0;
  while (true) {
    size_t plus = text.find('+', start);
    std::string term = text.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
    uint64_t termValue = 0;
    if (!ParseTerm(term, termValue, error)) return false;
    if (termValue > UINT64_MAX - sum) {
      error = "'" + text + "' is too large";
      return false;
    }
    sum += termValue;
    if (plus == std::string::npos) break;
    start = plus + 1;
  }
  value = sum;
  return true;
}

bool ParseBadMediaTree(const std::string& text, BadMediaTree& tree, std::string& error)
{
  BadMediaTree parsed;
  parsed.nodes[""].isDir = true;
  std::istringstream lines(text);
  std::string line;
  for (size_t number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields = SplitFields(line);
    if (fields.empty() || fields[0][0] == '#') continue;
    std::string reason;
    if (!ParseLine(fields, parsed, reason)) {
      error = "line " + std::to_string(number) + ": " + reason;
      return false;
    }
  }
  for (auto& entry : parsed.nodes) {
    std::sort(entry.second.children.begin(), entry.second.children.end());
  }
  tree = std::move(parsed);
  return true;
}

bool LoadBadMediaTree(const std::string& fileName, BadMediaTree& tree, std::string& error)
{
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    error = "cannot open '" + fileName + "'";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = "cannot read '" + fileName + "'";
    return false;
  }
  return ParseBadMediaTree(text.str(), tree, error);
}

namespace {

// Whether a read overlaps range, clipped to the file size: a read at or past the end reads
// nothing and touches no range.
bool ReadTouches(const BadMediaFile& file, uint64_t offset, uint64_t length, const BadMediaRange& range)
{
  if (offset >= file.size || length == 0) return false;
  const uint64_t end = (length > file.size - offset) ? file.size : offset + length;
  return offset < range.end && range.start < end;
}

}  // namespace

bool BadMediaReadFails(const BadMediaFile& file, uint64_t offset, uint64_t length)
{
  for (const BadMediaRange& bad : file.bad) {
    if (ReadTouches(file, offset, length, bad)) return true;
  }
  return false;
}

bool BadMediaNextReadFails(const BadMediaFile& file, uint64_t offset, uint64_t length,
                           std::vector<uint64_t>& touched)
{
  touched.resize(file.marginal.size());
  bool fails = BadMediaReadFails(file, offset, length);
  for (size_t i = 0; i < file.marginal.size(); ++i) {
    if (!ReadTouches(file, offset, length, file.marginal[i].range)) continue;
    // Every read that touches the range counts, also one that a bad= range fails anyway.
    if (touched[i] < file.marginal[i].times) fails = true;
    if (touched[i] != UINT64_MAX) ++touched[i];
  }
  return fails;
}

BadMediaWriteOutcome BadMediaWriteFault(const BadMediaWriteFaults& faults, uint64_t offset, uint64_t length,
                                        uint64_t shortened)
{
  if (length == 0) return {BadMediaWriteEffect::kWritten, 0};
  const uint64_t end = length > UINT64_MAX - offset ? UINT64_MAX : offset + length;
  // Of the faults the write reaches, the lowest acts; the order of the checks settles ties.
  BadMediaWriteEffect effect = BadMediaWriteEffect::kWritten;
  uint64_t nearest = UINT64_MAX;
  auto reach = [&](const std::optional<uint64_t>& at, BadMediaWriteEffect atEffect) {
    if (at && end > *at && (effect == BadMediaWriteEffect::kWritten || *at < nearest)) {
      effect = atEffect;
      nearest = *at;
    }
  };
  reach(faults.eioAt, BadMediaWriteEffect::kIoError);
  reach(faults.enospcAt, BadMediaWriteEffect::kNoSpace);
  reach(faults.shortAt, BadMediaWriteEffect::kShortened);
  if (effect == BadMediaWriteEffect::kWritten) return {effect, length};
  if (effect != BadMediaWriteEffect::kShortened) return {effect, 0};
  if (offset >= nearest || shortened >= faults.shortTimes) return {BadMediaWriteEffect::kNoSpace, 0};
  return {effect, nearest - offset};
}
