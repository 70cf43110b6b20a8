#include "check/SkipList.h"

#include <re2/re2.h>

namespace linkward {

bool CSkipList::Compile(const std::vector<std::string>& patterns, std::string* bad) {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingLatin1);  // byte by byte, as links are stored
  options.set_log_errors(false);
  std::vector<std::shared_ptr<const RE2>> compiled;
  compiled.reserve(patterns.size());
  for (const std::string& pattern : patterns) {
    auto re = std::make_shared<const RE2>(pattern, options);
    if (!re->ok()) {
      if (bad) *bad = pattern;
      return false;
    }
    compiled.push_back(std::move(re));
  }
  m_regexes = std::move(compiled);
  return true;
}

bool CSkipList::Matches(const std::string& written, const std::string& resolved) const {
  for (const auto& re : m_regexes) {
    if (RE2::PartialMatch(written, *re)) return true;
    if (!resolved.empty() && resolved != written && RE2::PartialMatch(resolved, *re)) return true;
  }
  return false;
}

std::vector<std::string> SplitPatternLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string JoinPatternLines(const std::vector<std::string>& patterns) {
  std::string text;
  for (const std::string& p : patterns) {
    if (!text.empty()) text += '\n';
    text += p;
  }
  return text;
}

}  // namespace linkward
