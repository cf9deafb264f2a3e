// MD5 lists as people keep them beside their files: the lines md5sum writes and reads
// ("hash *name" and "hash  name", GNU's escaped names), the BSD form ("MD5 (name) = hash"),
// comments and blank lines; and the lines this program writes. Names are bytes as the list
// holds them (UTF-8 as a rule, the ANSI code page in older lists); the caller converts them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/plain_array.h"

enum class ChecksumLine { kEntry, kNothing, kMalformed };

// One line without its line end. kNothing for a blank line or a comment (';' or '#'); for an
// entry, its digest and its name with GNU's escapes undone ("\\\\" and "\\n", on a line that
// begins with a backslash). Any bytes at all are safe to hand it.
ChecksumLine ParseChecksumLine(const char* line, std::size_t length, std::uint8_t (&digest)[16],
                               PlainText& name);

// Calls `each(lineNumber, line, length)` for every line of a list's text, numbered from 1,
// without its LF or CR LF; a byte-order mark before the first line is not part of it.
template <typename Each>
void ForEachChecksumLine(const char* text, std::size_t length, Each each) {
  std::size_t at = length >= 3 && text[0] == '\xEF' && text[1] == '\xBB' && text[2] == '\xBF' ? 3 : 0;
  for (int number = 1; at < length; ++number) {
    std::size_t end = at;
    while (end < length && text[end] != '\n') ++end;
    const std::size_t next = end + 1;
    if (end > at && text[end - 1] == '\r') --end;
    each(number, text + at, end - at);
    at = next;
  }
}

bool IsValidUtf8(const char* text, std::size_t length);

// A listed name as a path below the folder it is taken from: '/' and '\' both separate,
// "." and empty parts go, ".." takes one part back. False for a name that would leave the
// folder (more ".." than parts, a leading separator, a drive or stream colon) or names
// nothing; `below` then holds nothing. Its parts are joined with `separator`.
bool PathBelowFolder(const char* name, char separator, PlainText& below);

// The line this program writes for a readable file: 32 lowercase hex digits, " *", the path
// with '/' between folders, LF; a path holding a backslash or a line end is escaped as GNU
// md5sum does (the line then begins with a backslash).
void AddChecksumLine(const std::uint8_t (&digest)[16], const char* path, PlainText& out);

// The comment line for a file that could not be read, which checkers skip.
void AddReadErrorLine(const char* path, PlainText& out);
