// What the report writers share: an output buffer that hands the report to
// its file in large blocks, the reading of row texts as UTF-8, and what a full
// check's report adds (the resolved target, the grouping by target and the
// grand total).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace linkward {

// Collects a report in memory and writes it to the file in large blocks; the
// rest is written by Flush or the destructor. Write errors are left in the
// file's error flag for the caller to find.
class ReportBuffer {
 public:
  explicit ReportBuffer(std::FILE* file) : m_file(file) { m_text.reserve(kFlushSize + 4096); }
  ~ReportBuffer() { Flush(); }
  ReportBuffer(const ReportBuffer&) = delete;
  ReportBuffer& operator=(const ReportBuffer&) = delete;

  void Add(const std::string& text) { Add(text.data(), text.size()); }
  void Add(const char* text) { Add(text, std::char_traits<char>::length(text)); }
  void Add(char c) { Add(&c, 1); }
  void Add(const char* data, size_t size) {
    m_text.append(data, size);
    if (m_text.size() >= kFlushSize) Flush();
  }
  void Flush() {
    if (!m_text.empty()) std::fwrite(m_text.data(), 1, m_text.size(), m_file);
    m_text.clear();
  }

 private:
  static constexpr size_t kFlushSize = 1 << 16;
  std::FILE* m_file;
  std::string m_text;
};

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

// Decodes the UTF-8 character that starts at text[pos] into *character and
// returns the number of bytes it takes. A byte sequence that is not well-formed
// UTF-8 (a stray continuation byte, an overlong form, a surrogate, a code point
// above U+10FFFF, a truncated sequence) gives U+FFFD for its longest
// well-formed start, at least one byte, as Unicode recommends.
// REQUIRES: pos < text.size()
size_t DecodeMultibyteUtf8(const std::string& text, size_t pos, char32_t* character);
inline size_t DecodeUtf8(const std::string& text, size_t pos, char32_t* character) {
  const auto byte = static_cast<unsigned char>(text[pos]);
  if (byte >= 0x80) return DecodeMultibyteUtf8(text, pos, character);
  *character = byte;
  return 1;
}

// Appends character to out as UTF-8.
void AppendUtf8(char32_t character, std::string* out);

// True when text is well-formed UTF-8.
bool IsValidUtf8(const std::string& text);
// text with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(const std::string& text);

class CResultRows;
struct ReportTotals;

// The resolved target of row: what the full check resolved, else the URL as
// it is written.
const std::string& RowTarget(const CResultRows& rows, int row);

// The row indexes grouped by resolved target: the target most links point at
// first, equal counts in order of first appearance; in a group, list order.
std::vector<std::vector<int>> RowsByTarget(const CResultRows& rows);

// What the rows of a full check's report show, per class.
struct RowCounts {
  int64_t listed = 0, pagesListed = 0, ok = 0, moved = 0, broken = 0, notVerified = 0;
};
RowCounts CountRows(const CResultRows& rows);

// The grand total as one line of text, what the check counted first:
// "40 links checked on 5 pages; 3 links listed on 2 pages: 2 Broken,
// 1 Moved, 0 Not Verified" (and ", 1 OK" when OK rows are listed).
std::string GrandTotalText(const CResultRows& rows, const ReportTotals& totals);

}  // namespace linkward
