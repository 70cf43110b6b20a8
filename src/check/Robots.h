// The rules of a site's robots.txt for one crawler: the group of lines whose
// User-agent names the crawler's product token (case does not matter), or,
// when none does, the groups for "*"; within it the longest Allow or
// Disallow pattern that matches a path decides (Allow on a tie), "*" in a
// pattern matching any run of characters and a final "$" the end of the
// path. No matching rule, an empty file or no group for the crawler: allowed.
#pragma once

#include <string>
#include <vector>

namespace linkward {

class CRobotsRules {
 public:
  // Everything allowed (no robots.txt, or one that could not be had).
  CRobotsRules() = default;
  // Reads the text of a robots.txt for the crawler named token ("linkward").
  CRobotsRules(const std::string& text, const std::string& token);
  // Nothing allowed (a server error answered for the robots.txt).
  static CRobotsRules DisallowAll();

  // pathAndQuery: the path of an address with its query ("/a/b.html?x=1").
  bool Allowed(const std::string& pathAndQuery) const;

 private:
  struct Rule {
    bool allow = false;
    std::string pattern;
  };
  std::vector<Rule> m_rules;
};

}  // namespace linkward
