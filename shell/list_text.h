// Rows of a results list as text that the user takes away: tab-separated lines for the
// clipboard, CSV (quoted as RFC 4180 does) or tab-separated lines for a file. Every line ends
// with CR LF. Files are UTF-8 with a byte-order mark, so that spreadsheets and editors show
// names that the system's code page cannot hold.
#pragma once

#include <cstddef>

#include "shell/plain_array.h"

enum class ListTextFormat { kTabSeparated, kCsv };

// A text of UTF-16 units that grows line by line. When memory runs out it stays failed rather
// than dropping part of a list without a word.
template <typename Unit>
class ListText {
 public:
  explicit ListText(ListTextFormat format) : format_(format) {}
  ListText(const ListText&) = delete;
  ListText& operator=(const ListText&) = delete;

  // The next cell of the current line, `length` units.
  void AddCell(const Unit* cell, std::size_t length) {
    const bool csv = format_ == ListTextFormat::kCsv;
    bool quoted = false;
    std::size_t quotes = 0;
    for (std::size_t i = 0; csv && i < length; ++i) {
      if (cell[i] == '"') ++quotes;
      if (cell[i] == ',' || cell[i] == '"' || cell[i] == '\r' || cell[i] == '\n') quoted = true;
    }
    // A separator, the cell with its quotes doubled, and the two enclosing quotes.
    if (!Reserve(1 + length + quotes + 2)) return;
    if (lineStarted_) Put(csv ? ',' : '\t');
    lineStarted_ = true;
    if (quoted) Put('"');
    for (std::size_t i = 0; i < length; ++i) {
      if (quoted && cell[i] == '"') Put('"');
      Put(cell[i]);
    }
    if (quoted) Put('"');
  }

  void EndLine() {
    if (!Reserve(2)) return;
    Put('\r');
    Put('\n');
    lineStarted_ = false;
  }

  const Unit* units() const { return units_.data(); }
  std::size_t length() const { return units_.size(); }
  bool failed() const { return units_.failed(); }

 private:
  bool Reserve(std::size_t more) { return units_.Reserve(units_.size() + more); }
  // Only after Reserve, so it cannot fail.
  void Put(Unit unit) { units_.push_back(unit); }

  ListTextFormat format_;
  PlainArray<Unit> units_;
  bool lineStarted_ = false;
};

// Room that EncodeUtf8File needs for `units` UTF-16 units: the mark and three bytes a unit
// (a surrogate pair takes four bytes for its two units).
constexpr std::size_t Utf8FileCapacity(std::size_t units) { return 3 + 3 * units; }

// Writes the byte-order mark and `text` in UTF-8; a surrogate without its partner becomes
// U+FFFD. Returns the number of bytes written.
template <typename Unit>
std::size_t EncodeUtf8File(const Unit* text, std::size_t length, char* out) {
  std::size_t n = 0;
  auto put = [&](unsigned long byte) { out[n++] = static_cast<char>(byte); };
  put(0xEF);
  put(0xBB);
  put(0xBF);
  for (std::size_t i = 0; i < length; ++i) {
    unsigned long code = static_cast<unsigned long>(text[i]) & 0xFFFF;
    if (code >= 0xD800 && code <= 0xDFFF) {
      const unsigned long next = i + 1 < length ? static_cast<unsigned long>(text[i + 1]) & 0xFFFF : 0;
      if (code <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
        ++i;
      } else {
        code = 0xFFFD;
      }
    }
    if (code < 0x80) {
      put(code);
    } else if (code < 0x800) {
      put(0xC0 | (code >> 6));
      put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      put(0xE0 | (code >> 12));
      put(0x80 | ((code >> 6) & 0x3F));
      put(0x80 | (code & 0x3F));
    } else {
      put(0xF0 | (code >> 18));
      put(0x80 | ((code >> 12) & 0x3F));
      put(0x80 | ((code >> 6) & 0x3F));
      put(0x80 | (code & 0x3F));
    }
  }
  return n;
}
