#include "compare/checksum_list.h"

#include <cstring>

#include "compare/md5.h"

namespace {

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

bool ParseDigest(const char* text, std::size_t length, std::uint8_t (&digest)[16]) {
  if (length != 32) return false;
  for (int i = 0; i < 16; ++i) {
    const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return true;
}

// GNU md5sum's escapes of a name on a line that begins with a backslash. The bytes between
// escapes go in as one run each: a byte at a time made escaped lines several times slower.
bool Unescape(const char* text, std::size_t length, PlainText& name) {
  std::size_t run = 0;  // the first byte not yet added
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] != '\\') continue;
    if (!name.Add(text + run, i - run) || ++i == length) return false;
    const char unit = text[i] == '\\' ? '\\' : text[i] == 'n' ? '\n' : text[i] == 'r' ? '\r' : '\0';
    if (unit == '\0' || !name.Add(&unit, 1)) return false;
    run = i + 1;
  }
  return name.Add(text + run, length - run);
}

}  // namespace

ChecksumLine ParseChecksumLine(const char* line, std::size_t length, std::uint8_t (&digest)[16],
                               PlainText& name) {
  name = PlainText();
  std::size_t start = 0;
  while (start < length && (line[start] == ' ' || line[start] == '\t')) ++start;
  if (start == length || line[start] == '#' || line[start] == ';') return ChecksumLine::kNothing;
  const bool escaped = line[start] == '\\';
  if (escaped) ++start;
  const char* text = line + start;
  const std::size_t rest = length - start;
  // BSD: "MD5 (name) = hash", the name running to the last ") = ".
  if (rest > 4 + 4 + 32 && std::memcmp(text, "MD5 (", 5) == 0) {
    const std::size_t hashAt = rest - 32;
    if (std::memcmp(text + hashAt - 4, ") = ", 4) != 0 || !ParseDigest(text + hashAt, 32, digest)) {
      return ChecksumLine::kMalformed;
    }
    const std::size_t nameLength = hashAt - 4 - 5;
    const bool read = escaped ? Unescape(text + 5, nameLength, name) : name.Add(text + 5, nameLength);
    return read && nameLength > 0 ? ChecksumLine::kEntry : ChecksumLine::kMalformed;
  }
  // md5sum: 32 hex digits, a blank, ' ' (text) or '*' (binary), the name.
  if (rest < 35 || !ParseDigest(text, 32, digest) || text[32] != ' ' || (text[33] != ' ' && text[33] != '*')) {
    return ChecksumLine::kMalformed;
  }
  const bool read = escaped ? Unescape(text + 34, rest - 34, name) : name.Add(text + 34, rest - 34);
  return read ? ChecksumLine::kEntry : ChecksumLine::kMalformed;
}

bool IsValidUtf8(const char* text, std::size_t length) {
  for (std::size_t i = 0; i < length;) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t more = 0;
    unsigned long code = lead;
    if (lead < 0x80) {
      more = 0;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3, code = lead & 0x07;
    } else {
      return false;
    }
    if (length - i - 1 < more) return false;
    for (std::size_t k = 1; k <= more; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if ((more == 2 && code < 0x800) || (more == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += more + 1;
  }
  return true;
}

namespace {

bool JoinPartsBelow(const char* name, char separator, PlainText& below) {
  if (name[0] == '/' || name[0] == '\\' || std::strchr(name, ':')) return false;
  // Where each kept part begins in `below`, so that ".." can take the last one back.
  PlainArray<std::size_t> starts;
  for (const char* part = name; *part;) {
    std::size_t length = 0;
    while (part[length] && part[length] != '/' && part[length] != '\\') ++length;
    if (length == 2 && part[0] == '.' && part[1] == '.') {
      if (starts.empty()) return false;
      below.Shorten(starts.back() > 0 ? starts.back() - 1 : 0);
      starts.Resize(starts.size() - 1);
    } else if (length > 0 && !(length == 1 && part[0] == '.')) {
      if (!below.empty() && !below.Add(&separator, 1)) return false;
      if (!starts.push_back(below.size()) || !below.Add(part, length)) return false;
    }
    part += length;
    if (*part) ++part;
  }
  return !below.empty() && !below.failed();
}

}  // namespace

bool PathBelowFolder(const char* name, char separator, PlainText& below) {
  below = PlainText();
  if (JoinPartsBelow(name, separator, below)) return true;
  below = PlainText();
  return false;
}

void AddChecksumLine(const std::uint8_t (&digest)[16], const char* path, PlainText& out) {
  const bool escaped = std::strpbrk(path, "\\\n\r") != nullptr;
  char hex[33];
  FormatDigestText(digest, hex);
  if (escaped) out.Add("\\");
  out.Add(hex, 32);
  out.Add(" *");
  for (const char* at = path; *at; ++at) {
    if (*at == '\\') {
      out.Add("\\\\");
    } else if (*at == '\n') {
      out.Add("\\n");
    } else if (*at == '\r') {
      out.Add("\\r");
    } else {
      out.Add(at, 1);
    }
  }
  out.Add("\n");
}

void AddReadErrorLine(const char* path, PlainText& out) {
  out.Add("# READ ERROR: ");
  // A line end in the name would end the comment early; the rest would read as a line.
  for (const char* at = path; *at; ++at) out.Add(*at == '\n' || *at == '\r' ? "?" : at, 1);
  out.Add("\n");
}
