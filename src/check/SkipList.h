// The links the user chooses not to test in a full check: ECMAScript regular
// expressions, one per line of the "Skip links matching" list. A link is
// skipped when any pattern is found anywhere in the link as written in the
// page or in its resolved form (the absolute address, or "file://" and the
// absolute path of a local file). A skipped link is neither tested nor
// counted as tested.
//
// Matches may run on several threads at once: they only read.
#pragma once

#include <regex>
#include <string>
#include <vector>

namespace linkward {

class CSkipList {
 public:
  // Compiles every pattern. On failure returns false, leaves the list as it
  // was and, when bad is given, stores the first pattern that does not
  // compile in *bad.
  bool Compile(const std::vector<std::string>& patterns, std::string* bad = nullptr);
  bool Empty() const { return m_regexes.empty(); }
  bool Matches(const std::string& written, const std::string& resolved) const;

 private:
  std::vector<std::regex> m_regexes;
};

// The patterns of a list held as text, one per line: lines end with "\n" or
// "\r\n"; empty lines are dropped, other white space is kept (it is part of
// the pattern).
std::vector<std::string> SplitPatternLines(const std::string& text);
// The patterns as stored: joined with "\n".
std::string JoinPatternLines(const std::vector<std::string>& patterns);

}  // namespace linkward
