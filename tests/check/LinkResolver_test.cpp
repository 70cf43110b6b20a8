// The resolver: its shorter way for plain relative paths gives what libcurl's
// URL API gives, and a place in a web base is the base page itself.
#include "check/LinkResolver.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace linkward;

namespace {

TEST(LinkResolver, PlainPathsResolveAsLibcurlDoes) {
  const char* pages[] = {"/site/f1/p1.html", "/site/p.html",       "/p.html",
                         "/site/a b/p.html", "/site/a%20b/p.html", "/site/d.x/p.html"};
  // clang-format off
  const char* urls[] = {
      "p2.html", "p2.html#s1", "../f2/p3.html", "../f2/p3.html#nosuch7", "./p2.html",
      "a/./b/../c.html", "../../../../x.html", "../..", "..", ".", "./", "../", "dir/", "dir/.",
      "dir/..", "a//b.html", "a/b//../c.html", "/", "/x.html", "/f1/../y.html#s", "//host/x.html",
      "/..", "/../x.html", "p2.html#", "p2.html##x", "p2.html#a.b-c_d~e", "p2.html#%41",
      "p%41.html", "p2.html?x=1", "p2.html?x#y", "a\\b.html", "a b.html", "x:y.html",
      "p2.html#a b", "p2.html#/x", "~u/p.html", "...", ".../x", "a.html#top",
      "file:///site/x.html", "é.html"};
  // clang-format on
  CLinkResolver resolver("/site");
  for (const char* page : pages) {
    resolver.SetPage(page, "");
    for (const char* url : urls) {
      ResolvedLink fast = resolver.Resolve(url);
      ResolvedLink slow = resolver.ResolveWithCurl(url);
      SCOPED_TRACE(std::string(page) + " + " + url);
      EXPECT_EQ(fast.kind, slow.kind);
      EXPECT_EQ(fast.target, slow.target);
      EXPECT_EQ(fast.hasFragment, slow.hasFragment);
      EXPECT_EQ(fast.fragment, slow.fragment);
    }
  }
}

TEST(LinkResolver, PlaceInWebBaseIsTheBasePage) {
  CLinkResolver resolver("/site");
  resolver.SetPage("/site/p.html", "http://h/docs/a.html?q=1#old");
  for (const char* url : {"#x", "", "#"}) {
    ResolvedLink r = resolver.Resolve(url);
    SCOPED_TRACE(url);
    EXPECT_EQ(r.kind, LinkKind::Remote);
    EXPECT_EQ(r.target, "http://h/docs/a.html?q=1");
    EXPECT_EQ(r.fragment, url[0] && url[1] ? "x" : "");
  }
}

TEST(LinkResolver, AbsolutePathRemovesDotSegments) {
  for (const std::string row :
       {"/ => /", "/a/b/../c => /a/c", "/a/./b//c/ => /a/b/c/", "/../../a => /a", "/a/b/.. => /a",
        "/a/b/../ => /a/", "/a/.. => /", "/a/../ => /", "//a// => /a/", "/a/.../b => /a/.../b",
        "/a/b/c/../../d/./e/.. => /a/d"}) {
    const size_t arrow = row.find(" => ");
    EXPECT_EQ(AbsolutePath(row.substr(0, arrow)), row.substr(arrow + 4)) << row;
  }
  EXPECT_EQ(AbsolutePath("x/../y/"), std::filesystem::current_path().string() + "/y/");
}

}  // namespace
