#include "check/SkipList.h"

namespace linkward {

bool CSkipList::Compile(const std::vector<std::string>& patterns, std::string* bad) {
  std::vector<std::regex> compiled;
  compiled.reserve(patterns.size());
  for (const std::string& pattern : patterns) {
    try {
      compiled.emplace_back(pattern, std::regex::ECMAScript | std::regex::optimize);
    } catch (const std::regex_error&) {
      if (bad) *bad = pattern;
      return false;
    }
  }
  m_regexes = std::move(compiled);
  return true;
}

bool CSkipList::Matches(const std::string& written, const std::string& resolved) const {
  for (const std::regex& re : m_regexes) {
    try {
      if (std::regex_search(written, re)) return true;
      if (!resolved.empty() && resolved != written && std::regex_search(resolved, re)) return true;
    } catch (const std::regex_error&) {
      // A pattern too complex for this text (error_complexity, error_stack)
      // does not match it.
    }
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
