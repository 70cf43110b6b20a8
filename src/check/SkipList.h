// The links the user chooses not to test in a full check: regular
// expressions, one per line of the "Skip links matching" list, in the common
// syntax (RE2's: what ECMAScript and POSIX share, with \d, \w, \s, \b,
// (?:...), lazy repeats; no back-references or look-around, which count as
// patterns that do not compile). Patterns and links are taken byte by byte.
// Matching runs in time linear in the link and needs no deep recursion, so a
// link of any length is safe. A link is
// skipped when any pattern is found anywhere in the link as written in the
// page or in its resolved form (the absolute address, or "file://" and the
// absolute path of a local file). A skipped link is neither tested nor
// counted as tested.
//
// Matches may run on several threads at once: they only read.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace re2 {
class RE2;
}

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
  std::vector<std::shared_ptr<const re2::RE2>> m_regexes;
};

// The patterns of a list held as text, one per line: lines end with "\n" or
// "\r\n"; empty lines are dropped, other white space is kept (it is part of
// the pattern).
std::vector<std::string> SplitPatternLines(const std::string& text);
// The patterns as stored: joined with "\n".
std::string JoinPatternLines(const std::vector<std::string>& patterns);

}  // namespace linkward
