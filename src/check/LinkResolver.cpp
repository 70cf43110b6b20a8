#include "check/LinkResolver.h"

#include <curl/curl.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace linkward {

namespace {

bool IsHex(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return (std::tolower(static_cast<unsigned char>(c)) - 'a') + 10;
}

// What a browser does before parsing: escape bytes a URL cannot hold (space,
// controls, non-ASCII, a '%' that starts no escape) and read '\' as '/'.
std::string Escape(const std::string& url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (size_t i = 0; i < url.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    bool badPercent = c == '%' && !(i + 2 < url.size() && IsHex(url[i + 1]) && IsHex(url[i + 2]));
    if (c <= 0x20 || c >= 0x7F || badPercent) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (c == '\\') {
      out += '/';
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The lower-cased scheme of url, or "" when it has none.
std::string SchemeOf(const std::string& url) {
  size_t i = 0;
  if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0]))) return std::string();
  while (i < url.size() && (std::isalnum(static_cast<unsigned char>(url[i])) || url[i] == '+' ||
                            url[i] == '-' || url[i] == '.')) {
    ++i;
  }
  if (i >= url.size() || url[i] != ':') return std::string();
  std::string scheme = url.substr(0, i);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme;
}

std::string GetPart(CURLU* h, CURLUPart part, unsigned flags, bool* ok) {
  char* text = nullptr;
  CURLUcode rc = curl_url_get(h, part, &text, flags);
  if (rc != CURLUE_OK) {
    if (ok && rc != CURLUE_NO_FRAGMENT) *ok = false;
    return std::string();
  }
  std::string value = text;
  curl_free(text);
  return value;
}

CURLU* FileUrl(const std::string& absolutePath) {
  CURLU* h = curl_url();
  if (!h) return nullptr;
  if (curl_url_set(h, CURLUPART_SCHEME, "file", 0) != CURLUE_OK ||
      curl_url_set(h, CURLUPART_PATH, absolutePath.c_str(), CURLU_URLENCODE) != CURLUE_OK) {
    curl_url_cleanup(h);
    return nullptr;
  }
  return h;
}

// Bytes a plain path or fragment may hold: the resolver's shorter way takes
// only links made of these, which libcurl and Escape leave as they are.
bool IsPlain(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// dir when it is a plain absolute directory path (ending in "/"), else "".
std::string PlainDir(const std::string& dir) {
  if (dir.empty() || dir[0] != '/' || dir.back() != '/') return std::string();
  for (char c : dir) {
    if (!IsPlain(c) && c != '/') return std::string();
  }
  return dir;
}

}  // namespace

namespace {

// Makes path absolute ("/" before a relative one) and removes "." and ".."
// segments and repeated "/", in place: what is written never runs ahead of what is
// read, and a ".." drops back to the slash before the last segment written.
void Normalize(std::string& path) {
  if (path.empty() || path[0] != '/') path.insert(path.begin(), '/');
  const bool directory = path.size() > 1 && path.back() == '/';
  size_t w = 0;
  size_t i = 0;
  const size_t n = path.size();
  while (i <= n) {
    size_t slash = path.find('/', i);
    if (slash == std::string::npos) slash = n;
    size_t len = slash - i;
    if (len == 2 && path[i] == '.' && path[i + 1] == '.') {
      size_t last = w == 0 ? std::string::npos : path.rfind('/', w - 1);
      w = last == std::string::npos ? 0 : last;
    } else if (len > 0 && !(len == 1 && path[i] == '.')) {
      path[w++] = '/';
      if (w != i) std::memmove(&path[w], &path[i], len);
      w += len;
    }
    i = slash + 1;
  }
  path.resize(w);
  if (path.empty()) path = "/";
  // A path that named a directory ("dir/") keeps its meaning.
  if (directory && path != "/") path += '/';
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
  std::string full;
  if (path.empty() || path[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd)) {
      full = cwd;
      full += '/';
    }
  }
  full += path;
  Normalize(full);
  return full;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

CLinkResolver::CLinkResolver(const std::string& root) {
  std::string dir = AbsolutePath(root);
  if (dir.back() != '/') dir += '/';
  m_pRoot = FileUrl(dir);
  m_strRootDir = PlainDir(dir);
}

CLinkResolver::~CLinkResolver() {
  if (m_pRoot) curl_url_cleanup(m_pRoot);
  if (m_pBase) curl_url_cleanup(m_pBase);
}

void CLinkResolver::SetPage(const std::string& absolutePath, const std::string& base) {
  if (m_pBase) curl_url_cleanup(m_pBase);
  m_strPage = absolutePath;
  m_pBase = FileUrl(absolutePath);
  m_bBaseIsFile = true;
  m_strPageDir.clear();
  if (m_pBase && base.empty() && !absolutePath.empty() && absolutePath.back() != '/') {
    m_strPageDir = PlainDir(absolutePath.substr(0, absolutePath.rfind('/') + 1));
  }
  if (!m_pBase || base.empty()) return;
  std::string scheme = SchemeOf(base);
  if (!scheme.empty() && scheme != "http" && scheme != "https" && scheme != "ftp" &&
      scheme != "file") {
    return;  // a base a browser cannot use is ignored
  }
  CURLU* resolved = curl_url_dup(m_pBase);
  std::string escaped = Escape(base);
  if (resolved && curl_url_set(resolved, CURLUPART_URL, escaped.c_str(), 0) == CURLUE_OK) {
    bool ok = true;
    m_bBaseIsFile = GetPart(resolved, CURLUPART_SCHEME, 0, &ok) == "file";
    curl_url_cleanup(m_pBase);
    m_pBase = resolved;
  } else if (resolved) {
    curl_url_cleanup(resolved);
  }
}

// A relative path of plain segments, with an optional plain fragment:
// "../f2/p3.html#s1", "/docs/a.html". Anything else (a scheme, "//", an empty
// segment, a last segment "." or "..", '%', '\\', '?', an empty fragment, any
// other byte) is left to libcurl.
bool CLinkResolver::ResolvePlain(const std::string& url, ResolvedLink* out) const {
  bool fromRoot = !url.empty() && url[0] == '/';
  const std::string& dir = fromRoot ? m_strRootDir : m_strPageDir;
  if (dir.empty() || url.empty() || url[0] == '#' || !m_bBaseIsFile || !m_pBase || !m_pRoot) {
    return false;
  }
  size_t hash = url.find('#');
  size_t pathEnd = hash == std::string::npos ? url.size() : hash;
  size_t segStart = fromRoot ? 1 : 0;
  for (size_t i = segStart; i <= pathEnd; ++i) {
    if (i < pathEnd && url[i] != '/') {
      if (!IsPlain(url[i])) return false;
      continue;
    }
    size_t len = i - segStart;
    if (len == 0 && i < pathEnd) return false;  // "//" or a leading "/" after the root's
    if (i == pathEnd && len > 0 && len <= 2 && url.compare(segStart, len, "..", len) == 0) {
      return false;  // a last segment "." or ".."
    }
    segStart = i + 1;
  }
  if (hash != std::string::npos) {
    if (hash + 1 == url.size()) return false;
    for (size_t i = hash + 1; i < url.size(); ++i) {
      if (!IsPlain(url[i])) return false;
    }
  }
  out->kind = LinkKind::Local;
  out->target.reserve(dir.size() + pathEnd + 1);
  out->target = dir;
  out->target.append(url, fromRoot ? 1 : 0, pathEnd - (fromRoot ? 1 : 0));
  Normalize(out->target);
  if (hash != std::string::npos) {
    out->hasFragment = true;
    out->fragment.assign(url, hash + 1, std::string::npos);
  }
  return true;
}

ResolvedLink CLinkResolver::Resolve(const std::string& url) const {
  ResolvedLink out;
  if (ResolvePlain(url, &out)) return out;
  return ResolveWithCurl(url);
}

ResolvedLink CLinkResolver::ResolveWithCurl(const std::string& url) const {
  ResolvedLink out;
  std::string scheme = SchemeOf(url);
  if (!scheme.empty() && scheme != "http" && scheme != "https" && scheme != "ftp" &&
      scheme != "file") {
    return out;  // mailto:, tel:, javascript:, data: and the like
  }
  if (!m_pBase) {
    out.kind = LinkKind::Invalid;
    return out;
  }
  // The page itself, or a place in it: no parsing needed.
  if (m_bBaseIsFile && (url.empty() || url[0] == '#')) {
    out.kind = LinkKind::Local;
    out.target = m_strPage;
    out.hasFragment = !url.empty();
    if (out.hasFragment) out.fragment = Escape(url.substr(1));
    return out;
  }
  // A web base itself, or a place in it: the base without its fragment (the
  // URL API would resolve "#x" and "" against the base's directory).
  if (url.empty() || url[0] == '#') {
    CURLU* h = curl_url_dup(m_pBase);
    bool ok = h != nullptr;
    if (h) {
      curl_url_set(h, CURLUPART_FRAGMENT, nullptr, 0);
      out.target = GetPart(h, CURLUPART_URL, 0, &ok);
      curl_url_cleanup(h);
    }
    out.kind = ok ? LinkKind::Remote : LinkKind::Invalid;
    if (!url.empty()) out.fragment = Escape(url.substr(1));
    out.hasFragment = !out.fragment.empty();
    return out;
  }

  std::string escaped = Escape(url);
  CURLU* h = nullptr;
  bool fromRoot = false;
  if (scheme.empty() && escaped.size() >= 2 && escaped[0] == '/' && escaped[1] == '/' &&
      m_bBaseIsFile) {
    escaped = "https:" + escaped;
  } else if (scheme.empty() && !escaped.empty() && escaped[0] == '/' && m_bBaseIsFile) {
    fromRoot = true;
    escaped = "." + escaped;
  }
  h = curl_url_dup(fromRoot ? m_pRoot : m_pBase);
  if (!h || !(fromRoot ? m_pRoot : m_pBase) ||
      curl_url_set(h, CURLUPART_URL, escaped.c_str(), 0) != CURLUE_OK) {
    if (h) curl_url_cleanup(h);
    out.kind = LinkKind::Invalid;
    return out;
  }
  bool ok = true;
  std::string resolvedScheme = GetPart(h, CURLUPART_SCHEME, 0, &ok);
  if (resolvedScheme == "file") {
    out.kind = LinkKind::Local;
    out.target = GetPart(h, CURLUPART_PATH, CURLU_URLDECODE, &ok);
    char* fragment = nullptr;
    if (curl_url_get(h, CURLUPART_FRAGMENT, &fragment, 0) == CURLUE_OK) {
      out.hasFragment = true;
      out.fragment = fragment;
      curl_free(fragment);
    }
    if (ok && !out.target.empty()) {
      out.target = AbsolutePath(out.target);
    } else {
      out.kind = LinkKind::Invalid;
    }
  } else if (resolvedScheme == "http" || resolvedScheme == "https" || resolvedScheme == "ftp") {
    out.fragment = GetPart(h, CURLUPART_FRAGMENT, 0, nullptr);
    out.hasFragment = !out.fragment.empty();
    curl_url_set(h, CURLUPART_FRAGMENT, nullptr, 0);
    out.kind = LinkKind::Remote;
    out.target = GetPart(h, CURLUPART_URL, 0, &ok);
    if (!ok) out.kind = LinkKind::Invalid;
  }
  curl_url_cleanup(h);
  return out;
}

}  // namespace linkward
