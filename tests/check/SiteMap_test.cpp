// Which addresses are the site's own (host and port with http and https
// alike, the path below the site's), and which fragments pages make with
// scripts: the cases a plain prefix test or a loose pattern gets wrong.
#include "check/SiteMap.h"

#include <gtest/gtest.h>

using namespace linkward;

namespace {

TEST(SiteMapTest, TheSitesOwnAddressesAndScriptFragments) {
  const CSiteMap site("https://Example.com/docs/", "/srv/www/");
  const std::pair<const char*, const char*> cases[] = {
      {"http://example.com/docs/a.html", "/srv/www/a.html"},
      {"https://EXAMPLE.COM:443/docs/sub/", "/srv/www/sub/"},  // the scheme's own port
      {"http://example.com/docs", "/srv/www/"},
      {"https://example.com/docs/a%20b.html?x=1", "/srv/www/a b.html"},
      {"https://example.com/docs/%2e%2e/%2E%2E/etc/passwd", "/srv/www/etc/passwd"},
      {"https://example.com/docsx/a.html", nullptr},
      {"https://example.com/blog/", nullptr},
      {"https://example.com:8443/docs/a.html", nullptr},
      {"https://www.example.com/docs/a.html", nullptr},
      {"ftp://example.com/docs/a.html", nullptr},
  };
  for (const auto& [url, file] : cases) {
    ResolvedLink link{LinkKind::Remote, url, false, {}};
    EXPECT_EQ(site.Map(&link), file != nullptr) << url;
    if (file) {
      EXPECT_EQ(link.target, file) << url;
    }
  }
  EXPECT_FALSE(CSiteMap("mailto:a@example.com", "/").Valid());

  for (const char* f : {"L10", "L10-L20", "L10C3-L12C1", "L5-9", "/settings", "!/home"})
    EXPECT_TRUE(IsScriptFragment(f)) << f;
  for (const char* f : {"", "Lemma", "L", "L10x", "L10-", "LL10", "intro", "l10"})
    EXPECT_FALSE(IsScriptFragment(f)) << f;
  EXPECT_TRUE(IsScriptedHost("https://github.com/o/r#readme"));
  EXPECT_FALSE(IsScriptedHost("https://o.github.io/r/#readme"));
}

}  // namespace
