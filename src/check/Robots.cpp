#include "check/Robots.h"

#include <cctype>

namespace linkward {

namespace {

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Whether pattern (with '*' and a final '$') matches the start of path.
bool Matches(const std::string& pattern, const std::string& path) {
  bool anchored = !pattern.empty() && pattern.back() == '$';
  size_t plen = anchored ? pattern.size() - 1 : pattern.size();
  // Iterative wildcard match, backtracking to the last '*'.
  size_t p = 0;
  size_t s = 0;
  size_t starP = std::string::npos;
  size_t starS = 0;
  for (;;) {
    if (p == plen) {
      if (!anchored || s == path.size()) return true;
    } else if (pattern[p] == '*') {
      starP = p++;
      starS = s;
      continue;
    } else if (s < path.size() && pattern[p] == path[s]) {
      ++p;
      ++s;
      continue;
    }
    if (starP == std::string::npos || starS >= path.size()) return false;
    p = starP + 1;
    s = ++starS;
  }
}

}  // namespace

CRobotsRules::CRobotsRules(const std::string& text, const std::string& token) {
  const std::string me = Lower(token);
  std::vector<Rule> mine;
  std::vector<Rule> any;
  bool haveMine = false;
  // The group being read: whether it is for this crawler or for "*", and
  // whether its User-agent lines have ended (a new one starts a new group).
  bool forMe = false;
  bool forAny = false;
  bool inRules = false;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = Lower(Trim(line.substr(0, colon)));
    std::string value = Trim(line.substr(colon + 1));
    if (key == "user-agent") {
      if (inRules) {
        forMe = forAny = false;
        inRules = false;
      }
      std::string agent = Lower(value);
      if (agent == "*") {
        forAny = true;
      } else if (!agent.empty() && agent.compare(0, me.size(), me) == 0 &&
                 (agent.size() == me.size() || agent[me.size()] == '/' ||
                  agent[me.size()] == ' ')) {
        forMe = true;
        haveMine = true;
      }
    } else if (key == "allow" || key == "disallow") {
      inRules = true;
      if (value.empty()) continue;  // "Disallow:" with nothing: no rule
      Rule rule{key == "allow", value};
      if (forMe) mine.push_back(rule);
      if (forAny) any.push_back(rule);
    }
  }
  m_rules = haveMine ? std::move(mine) : std::move(any);
}

CRobotsRules CRobotsRules::DisallowAll() {
  CRobotsRules rules;
  rules.m_rules.push_back({false, "/"});
  return rules;
}

bool CRobotsRules::Allowed(const std::string& pathAndQuery) const {
  if (pathAndQuery == "/robots.txt") return true;
  size_t best = 0;
  bool allowed = true;
  bool matched = false;
  for (const Rule& rule : m_rules) {
    size_t length = rule.pattern.size();
    if (matched && (length < best || (length == best && !rule.allow))) continue;
    if (!Matches(rule.pattern, pathAndQuery)) continue;
    allowed = rule.allow;  // longer, or as long and an Allow
    best = length;
    matched = true;
  }
  return allowed;
}

}  // namespace linkward
