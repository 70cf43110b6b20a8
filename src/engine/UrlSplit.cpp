#include "engine/UrlSplit.h"

namespace linkward {

namespace {

size_t SchemeLength(Scheme scheme) {
  return scheme == Scheme::Ftp ? 6 : 7;
}

const char* DefaultPort(Scheme scheme) {
  return scheme == Scheme::Ftp ? "21" : "80";
}

// The authority (user information, host and port) and what follows it, or
// false when the link is no longer than its scheme.
bool SplitAuthority(const std::string& url, Scheme scheme, std::string* authority,
                    std::string* tail) {
  size_t len = SchemeLength(scheme);
  if (url.size() <= len) return false;
  size_t end = url.find_first_of("/?#", len);
  if (end == std::string::npos) end = url.size();
  *authority = url.substr(len, end - len);
  *tail = url.substr(end);
  size_t at = authority->rfind('@');
  if (at != std::string::npos) authority->erase(0, at + 1);
  return true;
}

}  // namespace

std::string HostFromUrl(const std::string& url, Scheme scheme) {
  std::string authority, tail;
  if (!SplitAuthority(url, scheme, &authority, &tail)) return std::string();
  return authority.substr(0, authority.find(':'));
}

std::string PathFromUrl(const std::string& url, Scheme scheme) {
  std::string authority, tail;
  if (!SplitAuthority(url, scheme, &authority, &tail)) return std::string();
  tail = tail.substr(0, tail.find('#'));
  if (tail.empty()) return "/";
  if (tail[0] == '?') return "/" + tail;
  return tail;
}

std::string PortFromUrl(const std::string& url, Scheme scheme) {
  std::string authority, tail;
  if (!SplitAuthority(url, scheme, &authority, &tail)) return DefaultPort(scheme);
  size_t colon = authority.find(':');
  if (colon == std::string::npos || colon + 1 == authority.size()) return DefaultPort(scheme);
  unsigned long value = 0;
  for (size_t i = colon + 1; i < authority.size(); ++i) {
    char c = authority[i];
    if (c < '0' || c > '9') return "0";
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > 65535) return "0";
  }
  if (value == 0) return "0";
  return std::to_string(value);
}

std::string BuildRequest(const std::string& path, const std::string& host, const std::string& port,
                         Scheme scheme) {
  std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + host;
  if (port != DefaultPort(scheme)) request += ":" + port;
  request += "\r\n\r\n";
  return request;
}

}  // namespace linkward
