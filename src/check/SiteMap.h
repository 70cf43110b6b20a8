// The site's own address, for the full check of a site before it is
// published: links into the site (absolute, or made absolute by a remote
// <base href>) are mapped onto the local files under the root and judged as
// local links, without a request to the site's host.
//
// The site is its host and port with http and https alike (a site served
// over https is often still linked with http://), and the path below the
// site address: with the site "https://example.com/docs/" the link
// "http://EXAMPLE.com/docs/a/b.html?x=1#s" is the file ROOT/a/b.html with the
// fragment "s" (a query is dropped: static hosts ignore it), and
// "https://example.com/blog/" is not in the site. "https://example.com/docs"
// is the site's top, the root directory.
#pragma once

#include <string>

#include "check/LinkResolver.h"

namespace linkward {

class CSiteMap {
 public:
  // siteUrl: an http or https address; root: the directory the site's files
  // are in. Valid() tells whether siteUrl could be read as such an address.
  CSiteMap(const std::string& siteUrl, const std::string& root);

  bool Valid() const { return !m_strHost.empty(); }
  // When link is remote and in the site, turns it into the local link it
  // names and returns true. Safe to call from several threads at once.
  bool Map(ResolvedLink* link) const;

 private:
  std::string m_strHost;  // lower case
  long m_nPort = 0;       // 0: the scheme's own port
  std::string m_strPath;  // the site's path, ending in "/"
  std::string m_strRoot;  // absolute, without the last "/"
};

// Whether a #fragment of a remote page is one that pages make with scripts,
// so a page read without running its scripts cannot show it: line marks
// ("L10", "L10-L20", "L10C2-L12C5", "L10-20") and routes of script-built
// pages ("/path", "!/path") on any host.
bool IsScriptFragment(const std::string& fragment);

// Whether the pages at url's host build ids with scripts, so a fragment
// missing from the page as read may still be there in a browser (GitHub,
// GitLab, Bitbucket: a heading "install" is "user-content-install" in the
// page as sent).
bool IsScriptedHost(const std::string& url);

}  // namespace linkward
