// The full check of a site's address through the results view, against a
// loopback site: the pages within scope crawled in the order they are
// found and listed per page, their links judged (missing pages, broken and
// sound fragments, addresses out of scope by the remote check, non-html
// answers as targets only), robots.txt (the crawler's own group, Allow
// against Disallow, --ignore-robots), the depth and page limits, a scope
// pattern, a start that moves or is no page, a host that asks for a wait,
// the refused repair, and Stop.
#include <atomic>
#include <map>

#include "check/CheckOutcome.h"
#include "check/Robots.h"
#include "engine/ViewFixture.h"
#include "support/HttpTestServer.h"

using namespace linkward;

namespace {

using Answer = HttpTestServer::Answer;
using Texts = std::vector<std::string>;

const char* const kHtml = "Content-Type: text/html; charset=utf-8\r\n";

// The site: pages under /docs/, one out of scope, an image, robots.txt.
const std::map<std::string, std::string> kPages = {
    {"/docs/index.html",
     "<body id=top2>\n" + Anchor("a.html", "A") + Anchor("sub/b.html#sec", "B") +
         Anchor("sub/b.html#nope", "Bad fragment") + Anchor("missing.html", "Missing") +
         Anchor("/outside.html", "Outside") + Anchor("img.png", "Image") +
         Anchor("hidden/x.html", "Hidden") + Anchor("hidden/open.html", "Open") +
         Anchor("#top2", "Self") + Anchor("#gone", "Self gone") +
         Anchor("mailto:a@b.test", "Mail") + Anchor("/outside-gone.html", "Outside gone")},
    {"/docs/a.html", Anchor("index.html", "Home") + Anchor("deep/d1.html", "Deeper")},
    {"/docs/sub/b.html", "<h2 id=sec>S</h2>" + Anchor("../a.html#nowhere", "A nowhere")},
    {"/docs/hidden/open.html", Anchor("../img.png#x", "Image again")},
    {"/docs/hidden/x.html", Anchor("secret-gone.html", "Secret")},
    {"/docs/deep/d1.html", Anchor("d2.html#deepest", "D2")},
    {"/docs/deep/d2.html", "<p id=other>" + Anchor("/login.html", "Login")},
    {"/outside.html", Anchor("never-crawled.html", "N")},
    {"/busy/index.html", Anchor("page.html", "Busy")},
    {"/busy/page.html", Anchor("gone.html", "Gone")},
    {"/stop/index.html", Anchor("silent.html", "Silent") + Anchor("other.html", "Other")},
};

Answer Serve(const std::string&, const std::string& path) {
  if (path == "/robots.txt") {
    // The crawler's own group wins over "*"; in it the longer rule decides.
    return {200, "",
            "User-agent: *\nDisallow: /\n\nUser-agent: Linkward\n"
            "Disallow: /docs/hidden\nAllow: /docs/hidden/open.html\n"};
  }
  static std::atomic<int> busy{0};
  if (path == "/busy/page.html" && busy++ == 0) return {429, "Retry-After: 1\r\n"};
  if (path == "/stop/silent.html") return {200, "", "", 0, true};
  if (path == "/login.html") return {401};
  if (path == "/docs") return {301, "Location: /docs/index.html\r\n"};
  if (path == "/docs/img.png") return {200, "Content-Type: image/png\r\n", std::string(5000, 'x')};
  auto page = kPages.find(path);
  if (page == kPages.end()) return {404, kHtml, "<a href=/never>never</a>"};
  return {200, kHtml, page->second};
}

class SiteCrawlTest : public ViewFixture {
 protected:
  void Crawl(const std::string& url, CrawlOptions crawl) {
    FullCheckOptions full;
    full.enabled = true;
    View().SetCrawlOptions(std::move(crawl));
    View().StartTest(url, {}, full);
    RunToEnd();
  }
  // The page of each row and its line: "page:line url|reason|site".
  Texts PageRows() {
    Texts rows = Rows();
    const CResultRows& r = View().Rows();
    for (int i = 0; i < r.GetItemCount(); ++i) {
      rows[i] = r.GetItemText(i, COL_FILE).substr(site.Url("").size()) + ":" +
                std::to_string(r.GetItemDetails(i).line) + " " + rows[i];
    }
    return rows;
  }
  HttpTestServer site{"127.0.0.3", Serve};
};

TEST_F(SiteCrawlTest, CrawlsTheSiteWithinScopeAndListsEachPagesRows) {
  View().FilterMask() = DEFAULT_FILTER_MASK;
  const std::string start = site.Url("/docs/index.html");
  Crawl(start, {});
  const Texts all = {
      "/docs/index.html:4 sub/b.html#nope|Fragment Not Found|Bad fragment",
      "/docs/index.html:5 missing.html|" + CheckReasonText(404) + "|Missing",
      "/docs/index.html:11 #gone|Fragment Not Found|Self gone",
      "/docs/index.html:13 /outside-gone.html|" + CheckReasonText(404) + "|Outside gone",
      "/docs/sub/b.html:1 ../a.html#nowhere|Fragment Not Found|A nowhere",
      "/docs/deep/d1.html:1 d2.html#deepest|Fragment Not Found|D2",
      "/docs/deep/d2.html:1 /login.html|Login Required (HTTP 401)|Login"};
  EXPECT_EQ(PageRows(), all);
  EXPECT_EQ(View().Rows().GetItemDetails(6).cls, CheckClass::NotVerified);
  auto page = [&](const char* path, int tested, int errors) {
    return FileLog(site.Url(path), tested, errors);
  };
  // Pages in the order found; the hidden one is not tested, the mail link never is.
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" + page("/docs/index.html", 10, 4) +
                       page("/docs/a.html", 2, 0) + page("/docs/sub/b.html", 1, 1) +
                       page("/docs/hidden/open.html", 1, 0) + page("/docs/deep/d1.html", 1, 1) +
                       "Testing: " + site.Url("/docs/deep/d2.html") + "\r\nResults for " +
                       site.Url("/docs/deep/d2.html") +
                       ": URLs tested: 1. URL errors: 0. Not verified: 1.\r\n\r\n" +
                       "End of test: <date>\r\n");
  // Pages fetched once with GET; robots.txt kept the crawler out of hidden/;
  // out of scope only checked, never crawled; the image's body not read.
  for (const char* path : {"/robots.txt", "/docs/index.html", "/docs/a.html", "/docs/sub/b.html",
                           "/docs/img.png", "/docs/deep/d2.html"}) {
    ASSERT_EQ(site.RequestCount(path), 1) << path;
    EXPECT_EQ(site.Requests(path)[0].rfind("GET ", 0), 0u) << path;
  }
  EXPECT_EQ(site.RequestCount("/docs/hidden/x.html"), 0);
  EXPECT_NE(site.Requests("/docs/a.html")[0].find("\nUser-Agent: Linkward/" LINKWARD_VERSION "\r"),
            std::string::npos);
  EXPECT_EQ(site.RequestCount("/outside.html"), 1);
  EXPECT_EQ(site.RequestCount("/never-crawled.html") + site.RequestCount("/never"), 0);
  EXPECT_EQ(View().SiteCrawl()->PagesListed(), 6);
  EXPECT_EQ(View().Rows().GetItemDetails(1).target, site.Url("/docs/missing.html"));

  // Repair is refused for crawled pages.
  View().OnRepair();
  EXPECT_EQ(Boxes().back(), CRAWL_REPAIR_TEXT);

  // Depth 2: d1.html is the last page read; d2.html is only checked, its
  // fragment not looked for. Robots ignored: hidden/x.html is crawled too.
  CrawlOptions shallow;
  shallow.maxDepth = 2;
  shallow.ignoreRobots = true;
  Crawl(start, shallow);
  Texts rows = {all[0], all[1], all[2], all[3], all[4],
                "/docs/hidden/x.html:1 secret-gone.html|" + CheckReasonText(404) + "|Secret"};
  EXPECT_EQ(PageRows(), rows);
  EXPECT_EQ(site.RequestCount("/docs/deep/d2.html"), 2);
  EXPECT_EQ(site.RequestCount("/robots.txt"), 1);

  // At most three addresses fetched: the rest of the links are only checked.
  CrawlOptions few;
  few.maxPages = 3;
  Crawl(start, few);
  EXPECT_EQ(View().SiteCrawl()->PagesListed(), 3);
  EXPECT_EQ(PageRows(), (Texts{all[0], all[1], all[2], all[3], all[4]}));

  // A scope pattern: only the pages it finds are crawled (the start always is).
  CrawlOptions scoped;
  scoped.scope = "/docs/(index|a)\\.html$";
  Crawl(start, scoped);
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" + page("/docs/index.html", 11, 3) +
                       page("/docs/a.html", 2, 0) + "End of test: <date>\r\n");

  // A start that moves takes its scope along.
  Crawl(site.Url("/docs"), {});
  EXPECT_EQ(View().SiteCrawl()->PagesListed(), 6);

  // A page first answered 429 is asked again after the wait, and crawled.
  Crawl(site.Url("/busy/index.html"), {});
  EXPECT_EQ(PageRows(), Texts{"/busy/page.html:1 gone.html|" + CheckReasonText(404) + "|Gone"});
  EXPECT_EQ(site.RequestCount("/busy/page.html"), 2);

  // A start that is missing is its own row; one robots.txt keeps out is logged.
  Crawl(site.Url("/docs/none.html"), {});
  EXPECT_EQ(PageRows(), Texts{"/docs/none.html:0 " + site.Url("/docs/none.html") + "|" +
                              CheckReasonText(404) + "|"});
  Crawl(site.Url("/docs/hidden/x.html"), {});
  EXPECT_TRUE(Rows().empty());
  EXPECT_NE(Log().find("Not crawled: the site's robots.txt does not allow " + site.Url("/docs/hidden/x.html")),
            std::string::npos);
}

TEST_F(SiteCrawlTest, HostRuleHeadersGoToTheirHostOnlyAndTheAnswersCharsetCounts) {
  HttpTestServer other{"127.0.0.4", [](const std::string&, const std::string&) {
                         return Answer{200, kHtml, "<p>"};
                       }};
  const std::string landing = other.Url("/landing");
  HttpTestServer own{"127.0.0.5", [landing](const std::string&, const std::string& path) {
                       if (path == "/d") return Answer{301, "Location: /d/\r\n"};
                       if (path == "/d/") {
                         return Answer{200, "Content-Type: text/html; charset=windows-1251\r\n",
                                       "<a href=away>x</a><a href=\xE0.html>y</a>"};
                       }
                       if (path == "/d/away") return Answer{302, "Location: " + landing + "\r\n"};
                       return Answer{404};
                     }};
  FullCheckOptions full;
  full.enabled = true;
  full.hostRules = {{"127.0.0.5", {"X-Token: s"}, 0}};
  View().SetCrawlOptions({});
  View().StartTest(own.Url("/d"), {}, full);
  RunToEnd();
  // The start's redirect within the host is followed and the page read;
  // every hop to the rule's host carries its header, the other host's none.
  for (const char* path : {"/d", "/d/", "/d/away"}) {
    ASSERT_GE(own.RequestCount(path), 1) << path;
    for (const std::string& request : own.Requests(path))
      EXPECT_NE(request.find("\nX-Token: s"), std::string::npos) << path;
  }
  // The page was read as the answer's windows-1251, not as windows-1252 ("\xC3\xA0").
  EXPECT_GE(own.RequestCount("/d/%D0%B0.html"), 1);
  ASSERT_GE(other.RequestCount("/landing"), 1);
  for (const std::string& request : other.Requests("/landing"))
    EXPECT_EQ(request.find("X-Token"), std::string::npos);
}

TEST_F(SiteCrawlTest, StopDropsEveryRequest) {
  FullCheckOptions full;
  full.enabled = true;
  View().StartTest(site.Url("/stop/index.html"), {}, full);
  loop.RunUntil([&] { return site.RequestCount("/stop/silent.html") == 1; });
  View().OnStopTest();
  EXPECT_FALSE(View().IsTestRunning());
  EXPECT_EQ(loop.WatchCount(), 0);
  EXPECT_FALSE(loop.HasTimer(210));
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\nTesting: " + site.Url("/stop/index.html") +
                       "\r\nTesting Stopped by User\r\n");
  ExpectIdle();
}

TEST(RobotsRules, GroupsAndLongestMatch) {
  const CRobotsRules rules(
      "# comment\nUser-agent: other\nDisallow: /\n\nUser-agent: *\nDisallow: /private\n"
      "Allow: /private/ok$\nDisallow: /*.pdf$\nDisallow: /same\nAllow: /same\nDisallow:\n",
      "linkward");
  const std::pair<const char*, bool> cases[] = {
      {"/", true},          {"/private", false},    {"/private/x", false},
      {"/private/ok", true}, {"/private/ok2", false}, {"/a/b.pdf", false},
      {"/a/b.pdf?x", true}, {"/same/x", true},      {"/robots.txt", true}};
  for (const auto& [path, allowed] : cases) EXPECT_EQ(rules.Allowed(path), allowed) << path;
  EXPECT_TRUE(CRobotsRules("User-agent: LinkWard/2\nDisallow: /x\n", "linkward").Allowed("/y"));
  EXPECT_FALSE(CRobotsRules("User-agent: LinkWard/2\nDisallow: /x\n", "linkward").Allowed("/x"));
  EXPECT_FALSE(CRobotsRules::DisallowAll().Allowed("/a"));
}

}  // namespace
