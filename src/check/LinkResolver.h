// Where a link of a page leads, for the full check: resolved with libcurl's
// URL API against the page (or its <base href>), root-relative links
// ("/x.html") against the site root.
//
// Kinds:
//  - not tested: mailto:, tel:, javascript:, data: and every other scheme
//    that is not http, https, ftp or file;
//  - remote: an absolute http, https or ftp address, fragment removed (and
//    kept apart);
//  - local: a file of this machine (relative and file: links), percent-
//    decoded, with the fragment (if any) still to be looked for;
//  - invalid: an address that cannot be parsed.
// A link "//host/x" in a page read from disk names a web address (its page is
// meant to be served over https), not a file on a host named "host".
#pragma once

#include <string>

struct Curl_URL;

namespace linkward {

enum class LinkKind { NotTested, Remote, Local, Invalid };

struct ResolvedLink {
  LinkKind kind = LinkKind::NotTested;
  std::string target;        // remote: the address; local: the absolute file path
  bool hasFragment = false;  // local: a '#' was written; remote: a fragment that is not empty
  std::string fragment;      // as written after '#', percent-encoded
};

class CLinkResolver {
 public:
  // root: the directory root-relative links start from.
  explicit CLinkResolver(const std::string& root);
  ~CLinkResolver();
  CLinkResolver(const CLinkResolver&) = delete;
  CLinkResolver& operator=(const CLinkResolver&) = delete;

  // Sets the page the next links belong to: its absolute path and its
  // <base href> (decoded; empty when none).
  void SetPage(const std::string& absolutePath, const std::string& base);
  // Resolves url (decoded, as a browser reads the attribute).
  ResolvedLink Resolve(const std::string& url) const;
  // The same, always through libcurl's URL API. Resolve takes a shorter way
  // for plain relative paths ("../a/b.html#s1") and gives the same result.
  ResolvedLink ResolveWithCurl(const std::string& url) const;

 private:
  bool ResolvePlain(const std::string& url, ResolvedLink* out) const;

  Curl_URL* m_pRoot = nullptr;  // file URL of the root directory, ending in "/"
  Curl_URL* m_pBase = nullptr;  // the page's effective base
  std::string m_strPage;
  bool m_bBaseIsFile = true;
  // For the shorter way: the page's and the root's directories, ending in
  // "/"; empty when they hold anything but plain characters (or the page has
  // a <base href>).
  std::string m_strPageDir;
  std::string m_strRootDir;
};

// An absolute path for path (relative to the working directory when it does
// not begin with "/"), with "." and ".." segments and repeated "/" removed.
std::string AbsolutePath(const std::string& path);

// Decodes %XX escapes; other bytes stay as they are.
std::string PercentDecode(const std::string& text);

}  // namespace linkward
