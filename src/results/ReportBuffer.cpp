#include "results/ReportBuffer.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "results/ReportWriter.h"
#include "results/ResultRows.h"

namespace linkward {

size_t DecodeMultibyteUtf8(const std::string& text, size_t pos, char32_t* character) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  size_t length = 0;
  char32_t value = 0;
  // The allowed range of the second byte excludes overlong forms, surrogates
  // and code points above U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    *character = REPLACEMENT_CHARACTER;
    return 1;
  }
  for (size_t i = 1; i < length; ++i) {
    if (pos + i >= text.size()) {
      *character = REPLACEMENT_CHARACTER;
      return i;
    }
    const unsigned char next = byte(pos + i);
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
      *character = REPLACEMENT_CHARACTER;
      return i;
    }
    value = (value << 6) | (next & 0x3F);
  }
  *character = value;
  return length;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsValidUtf8(const std::string& text) {
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    const size_t length = DecodeUtf8(text, pos, &c);
    // U+FFFD itself takes three bytes; a replaced sequence never does with
    // the bytes EF BF BD.
    if (c == REPLACEMENT_CHARACTER && text.compare(pos, length, "\xEF\xBF\xBD") != 0) return false;
    pos += length;
  }
  return true;
}

std::string ValidUtf8(const std::string& text) {
  if (IsValidUtf8(text)) return text;
  std::string valid;
  valid.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    const size_t length = DecodeUtf8(text, pos, &c);
    AppendUtf8(c, &valid);  // the same bytes for a well-formed character
    pos += length;
  }
  return valid;
}

const std::string& RowTarget(const CResultRows& rows, int row) {
  const std::string& target = rows.GetItemDetails(row).target;
  return target.empty() ? rows.GetItemText(row, COL_URL) : target;
}

std::vector<std::vector<int>> RowsByTarget(const CResultRows& rows) {
  std::vector<std::vector<int>> groups;
  std::unordered_map<std::string, size_t> groupOfTarget;
  for (int i = 0; i < rows.GetItemCount(); ++i) {
    auto [it, added] = groupOfTarget.try_emplace(RowTarget(rows, i), groups.size());
    if (added) groups.emplace_back();
    groups[it->second].push_back(i);
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const auto& a, const auto& b) { return a.size() > b.size(); });
  return groups;
}

RowCounts CountRows(const CResultRows& rows) {
  RowCounts counts;
  std::unordered_set<std::string> pages;
  for (int i = 0; i < rows.GetItemCount(); ++i) {
    ++counts.listed;
    pages.insert(rows.GetItemText(i, COL_FILE));
    switch (rows.GetItemDetails(i).cls) {
      case CheckClass::Ok: ++counts.ok; break;
      case CheckClass::Moved: ++counts.moved; break;
      case CheckClass::Broken: ++counts.broken; break;
      case CheckClass::NotVerified: ++counts.notVerified; break;
    }
  }
  counts.pagesListed = static_cast<int64_t>(pages.size());
  return counts;
}

namespace {

std::string Count(int64_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

}  // namespace

std::string GrandTotalText(const CResultRows& rows, const ReportTotals& totals) {
  const RowCounts counts = CountRows(rows);
  std::string text;
  if (totals.linksChecked >= 0) {
    text = Count(totals.linksChecked, "link") + " checked";
    if (totals.pagesChecked >= 0) text += " on " + Count(totals.pagesChecked, "page");
    text += "; ";
  } else if (totals.pagesChecked >= 0) {
    text = Count(totals.pagesChecked, "page") + " checked; ";
  }
  text += Count(counts.listed, "link") + " listed on " + Count(counts.pagesListed, "page") +
          ": " + std::to_string(counts.broken) + " Broken, " + std::to_string(counts.moved) +
          " Moved, " + std::to_string(counts.notVerified) + " Not Verified";
  if (counts.ok > 0) text += ", " + std::to_string(counts.ok) + " OK";
  return text;
}

}  // namespace linkward
