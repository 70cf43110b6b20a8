#include "check/SiteMap.h"

#include <curl/curl.h>

#include <cctype>
#include <memory>

namespace linkward {

namespace {

using UrlHandle = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;

std::string Part(CURLU* h, CURLUPart part, unsigned flags = 0) {
  char* text = nullptr;
  if (curl_url_get(h, part, &text, flags) != CURLUE_OK) return std::string();
  std::string value = text;
  curl_free(text);
  return value;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The parts of an http or https address that tell a site: lower-case host,
// port (0 for the scheme's own) and path; false for any other address.
bool SiteParts(const std::string& url, std::string* host, long* port, std::string* path) {
  UrlHandle h(curl_url(), &curl_url_cleanup);
  if (!h || curl_url_set(h.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
  const std::string scheme = Lower(Part(h.get(), CURLUPART_SCHEME));
  if (scheme != "http" && scheme != "https") return false;
  *host = Lower(Part(h.get(), CURLUPART_HOST));
  const std::string number = Part(h.get(), CURLUPART_PORT, CURLU_NO_DEFAULT_PORT);
  *port = number.empty() ? 0 : std::stol(number);
  *path = Part(h.get(), CURLUPART_PATH);
  if (path->empty()) *path = "/";
  return !host->empty();
}

bool Digits(const std::string& text, size_t* i) {
  const size_t start = *i;
  while (*i < text.size() && std::isdigit(static_cast<unsigned char>(text[*i]))) ++*i;
  return *i > start;
}

// "L10" or "L10C2" from *i; moves *i past it. withL: the "L" is required.
bool LineMark(const std::string& text, size_t* i, bool withL) {
  if (*i < text.size() && text[*i] == 'L') {
    ++*i;
  } else if (withL) {
    return false;
  }
  if (!Digits(text, i)) return false;
  if (*i < text.size() && text[*i] == 'C') {
    ++*i;
    return Digits(text, i);
  }
  return true;
}

}  // namespace

CSiteMap::CSiteMap(const std::string& siteUrl, const std::string& root) {
  if (!SiteParts(siteUrl, &m_strHost, &m_nPort, &m_strPath)) {
    m_strHost.clear();
    return;
  }
  if (m_strPath.back() != '/') m_strPath += '/';
  m_strRoot = AbsolutePath(root);
  if (!m_strRoot.empty() && m_strRoot.back() == '/') m_strRoot.pop_back();
}

bool CSiteMap::Map(ResolvedLink* link) const {
  if (!Valid() || link->kind != LinkKind::Remote) return false;
  std::string host, path;
  long port = 0;
  if (!SiteParts(link->target, &host, &port, &path) || host != m_strHost || port != m_nPort) {
    return false;
  }
  std::string rest;
  if (path.size() + 1 == m_strPath.size() && m_strPath.compare(0, path.size(), path) == 0) {
    rest = "/";  // the site's top without its last "/"
  } else if (path.compare(0, m_strPath.size(), m_strPath) == 0) {
    rest = "/" + PercentDecode(path.substr(m_strPath.size()));
  } else {
    return false;
  }
  // Normalised on its own first: no ".." (written or %2E%2E) leads out of the root.
  link->kind = LinkKind::Local;
  link->target = m_strRoot + AbsolutePath(rest);
  return true;
}

bool IsScriptFragment(const std::string& fragment) {
  if (fragment.empty()) return false;
  if (fragment[0] == '/' || fragment.compare(0, 2, "!/") == 0) return true;
  size_t i = 0;
  if (!LineMark(fragment, &i, true)) return false;
  if (i == fragment.size()) return true;
  if (fragment[i] != '-') return false;
  ++i;
  return LineMark(fragment, &i, false) && i == fragment.size();
}

bool IsScriptedHost(const std::string& url) {
  std::string host, path;
  long port = 0;
  if (!SiteParts(url, &host, &port, &path)) return false;
  for (const char* name : {"github.com", "gitlab.com", "bitbucket.org"}) {
    if (host == name || host == std::string("www.") + name) return true;
  }
  return false;
}

}  // namespace linkward
