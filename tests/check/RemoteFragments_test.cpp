// Remote #fragments in whole full checks against a loopback site: looked
// for in the html answer (each page read once, whatever its links' number),
// a missing one Broken, script-made ones and ones past the read limit Not
// Verified, text directives no names (local ones neither), other answers
// and broken addresses as without the option, the host's headers sent,
// nothing read without it, and Stop drops the reading.
#include "check/CheckOutcome.h"
#include "engine/ViewFixture.h"

using namespace linkward;

namespace {

using Answer = HttpTestServer::Answer;
using Texts = std::vector<std::string>;

constexpr const char* kHtml = "Content-Type: text/html; charset=utf-8\r\n";

Answer Site(const std::string& method, const std::string& path) {
  if (path == "/page") return {200, kHtml, "<h2 id=sec>S</h2><a name=named></a>"};
  if (path == "/big") return {200, kHtml, std::string(3 << 20, ' ') + "<p id=late>"};
  if (path == "/data.txt") return {200, "Content-Type: text/plain\r\n", "no ids"};
  if (path == "/moved") return {301, "Location: /page\r\n"};
  if (path == "/code") return {200, kHtml, "<pre>"};
  if (path == "/held") return {200, kHtml, "", 0, method == "GET"};  // a GET gets no answer
  return {404};
}

class RemoteFragmentsTest : public ViewFixture {};

TEST_F(RemoteFragmentsTest, FragmentsAreLookedForInTheAnswerOnce) {
  HttpTestServer site("127.0.0.2", Site);
  struct Link {
    std::string href;
    std::string reason;  // "": judged sound
    CheckClass cls = CheckClass::Broken;
  };
  const std::vector<Link> links = {
      {"/page#sec", ""},
      {"/page#named", ""},
      {"/page#sec:~:text=S", ""},  // a text directive names no id
      {"/page#:~:text=S", ""},
      {"/page#top", ""},
      {"/page#nosuch", "Fragment Not Found"},
      {"/moved#sec", "HTTP Code 301 Moved Permanently", CheckClass::Moved},
      {"/moved#gone", "Fragment Not Found"},
      {"/big#late", "Fragment Not in the First 2 MB", CheckClass::NotVerified},
      {"/data.txt#x", ""},
      {"/code#L10-L20", "Fragment Made by Script", CheckClass::NotVerified},
      {"/code#L7", "Fragment Made by Script", CheckClass::NotVerified},
      {"/missing#sec", "HTTP Code 404 Not Found"},
  };
  std::string body;
  Texts expected;
  std::vector<CheckClass> classes;
  for (const Link& link : links) {
    body += Anchor(site.Url(link.href), link.href);
    if (link.reason.empty()) continue;
    expected.push_back(site.Url(link.href) + "|" + link.reason + "|" + link.href);
    classes.push_back(link.cls);
  }
  const std::string page = Page("a.html", body + Anchor("#:~:text=S", "local, the same"));
  View().FilterMask() = DEFAULT_FILTER_MASK;
  FullCheckOptions full;
  full.enabled = true;
  full.maxPerHost = 4;
  full.checkFragments = true;
  full.hostRules = {{"127.0.0.2", {"X-Token: t"}, 0}};
  View().StartTest(page, {}, full);
  RunToEnd();
  EXPECT_EQ(Rows(), expected);
  for (size_t i = 0; i < classes.size(); ++i)
    EXPECT_EQ(View().Rows().GetItemDetails(int(i)).cls, classes[i]) << expected[i];
  // One GET for each page read, besides the checks of the addresses.
  auto gets = [&](const std::string& path) {
    int n = 0;
    for (const std::string& request : site.Requests(path)) n += request.rfind("GET ", 0) == 0;
    return n;
  };
  EXPECT_EQ(gets("/page"), 1);  // also the page /moved led to
  for (const std::string& request : site.Requests("/page")) {
    if (request.rfind("GET ", 0) != 0) continue;
    EXPECT_NE(request.find("\r\nX-Token: t"), std::string::npos);  // the host rule's header
  }
  EXPECT_EQ(gets("/big"), 1);
  EXPECT_EQ(gets("/code"), 0);     // line marks are not looked for
  EXPECT_EQ(gets("/missing"), 1);  // the address check's own GET after HEAD's 404
  ExpectIdle();

  // Without the option no page is read for its fragments.
  full.checkFragments = false;
  View().StartTest(page, {}, full);
  RunToEnd();
  const std::string moved = "|HTTP Code 301 Moved Permanently|";
  EXPECT_EQ(Rows(), (Texts{site.Url("/moved#sec") + moved + "/moved#sec",
                           site.Url("/moved#gone") + moved + "/moved#gone", expected.back()}));
  EXPECT_EQ(gets("/page") + gets("/big"), 2);

  // Stop while a page is being read: its transfer goes with the test.
  full.checkFragments = true;
  View().StartTest(Page("b.html", Anchor(site.Url("/held#x"), "")), {}, full);
  loop.RunUntil([&] { return gets("/held") == 1; });
  View().OnStopTest();
  EXPECT_EQ(loop.WatchCount(), 0);
  ExpectIdle();
}

}  // namespace
