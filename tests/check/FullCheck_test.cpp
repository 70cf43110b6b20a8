// Whole full checks through the results view against loopback servers the
// test starts (http, https with a certificate it makes, ftp; several
// 127.0.0.x hosts): every outcome with its reason text and the requests it
// cost, local, fragment and skipped links on a fixture tree, the order of the
// rows with a slow early answer, one request per distinct address, progress,
// trusted certificates, Stop with the limits per host and at once, the mode off.
#include <sys/stat.h>

#include <regex>
#include <tuple>

#include "check/CheckOutcome.h"
#include "check/HttpChecker.h"
#include "engine/ViewFixture.h"
#include "support/HttpTestServer.h"

using namespace linkward;

namespace {

using Answer = HttpTestServer::Answer;
using Texts = std::vector<std::string>;

// The site most links are judged against: "/status/N" answers N, unknown paths 404.
Answer Site(const std::string& method, const std::string& path) {
  if (path.rfind("/status/", 0) == 0) return {std::stoi(path.substr(8))};
  if (path == "/target" || path == "/with%20space") return {200};
  if (path == "/moved") return {301, "Location: /target\r\n"};
  if (path == "/temporary") return {307, "Location: /target\r\n"};
  if (path == "/tomissing") return {302, "Location: /missing\r\n"};
  Answer answer{path == "/endless" && method == "GET" ? 200 : 404};
  answer.endless = answer.status == 200;  // a body without end
  answer.silent = path == "/silent";
  return answer;
}

// The ftp site: anyone may log in; SIZE knows "there.txt" only.
Answer Ftp(const std::string& command, const std::string& argument) {
  if (command == "SIZE") return {argument == "there.txt" ? 213 : 550, "5"};
  return {command == "PWD" ? 257 : 200, "\"/\""};
}

class FullCheckTest : public ViewFixture {
 protected:
  FullCheckTest() {
    View().SetRemoteCheckerFactory([this](IEventLoop& l, const HttpCheckOptions& o) {
      options = o;
      ++made;
      return std::make_unique<CHttpChecker>(l, o);
    });
  }
  HttpCheckOptions options;
  int made = 0;
};

TEST_F(FullCheckTest, JudgesEveryKindOfLinkListsRowsInPageOrderAndStops) {
  HttpTestServer site("127.0.0.2", Site);
  HttpTestServer ftp("127.0.0.2", Ftp, nullptr, 0, true);
  HttpTestServer secure("127.0.0.3", Site, "IP:127.0.0.3");
  HttpTestServer misnamed("127.0.0.3", Site, "DNS:other.test");
  for (const char* sub : {"sub", "outside", "empty", "tls", "stop"})
    ::mkdir((dir / "site/" + sub).c_str(), 0700);
  Page("sub/page.html", "<h2 id=sec>S</h2><a name=named></a>");
  Page("sub/index.html", "");
  Page("sub/pic.png", "");
  Page("sub/a b.html", "<p id=\"caf\xC3\xA9\">");
  Page("outside/other.html", "<div id=there></div>");
  struct Link {
    const HttpTestServer* server;  // nullptr: href is the whole link
    std::string href;
    std::string reason;  // "": judged sound; "-": neither tested nor counted
    int requests = -1;   // how many the server saw for href; -1: not checked
  };
  const std::vector<Link> links = {
      // Answered last, at the wait limit: no row may be listed before it.
      {&site, "/silent", "No Answer in 5 s"},
      {nullptr, "sub/page.html#sec", ""},
      {nullptr, "sub/page.html#nosec", "Fragment Not Found"},
      {nullptr, "sub/page.html?x=1&amp;y=2#sec", ""},
      {nullptr, "sub/gone.html", "Local File Not Found"},
      {nullptr, "sub/", ""},
      {nullptr, "empty/", "Local File Not Found"},
      {nullptr, "/sub/page.html#named", ""},
      {nullptr, "/nothere.html", "Local File Not Found"},
      {nullptr, "#local", ""},
      {nullptr, "#nolocal", "Fragment Not Found"},
      {nullptr, "#", ""},
      {nullptr, "#top", ""},
      {nullptr, "file://" + dir / "site/sub/page.html#sec", ""},
      {nullptr, "file:///no/such/file.html", "Local File Not Found"},
      {nullptr, "sub/a%20b.html#caf%C3%A9", ""},
      {nullptr, "sub/a b.html#caf\xC3\xA9", ""},
      {nullptr, "outside/other.html#there", ""},
      {nullptr, "outside/other.html#elsewhere", "Fragment Not Found"},
      {nullptr, "sub/pic.png#anything", ""},
      {nullptr, "mailto:a@b", "-"},
      {nullptr, "tel:123", "-"},
      {nullptr, "javascript:void(0)", "-"},
      {nullptr, "data:text/plain,x", "-"},
      // Skip patterns are searched in the link as written and as resolved.
      {nullptr, "http://skip.test/a", "-"},
      {nullptr, "/private/x.htm", "-"},
      {nullptr, "../private/x.htm", "Local File Not Found"},  // "^" anchors each form
      {nullptr, "notes.pdf", "-"},
      {nullptr, "report.PDF", "Local File Not Found"},  // case counts
      {nullptr, "drafts/gone.htm", "-"},                // found in the resolved form only
      {nullptr, "#nowhere", "-"},
      // Remote outcomes, the reason each is listed with, and what each cost.
      {&site, "/status/200", "", 1},
      {&site, "/status/404", "HTTP Code 404 Not Found"},  // b.htm holds it too
      {&site, "/with space", "", 1},  // requested as /with%20space
      {&site, "/moved", "HTTP Code 301 Moved Permanently", 1},
      {&site, "/temporary", "", 1},  // 307 follows 302's place in the mask
      {&site, "/tomissing", "HTTP Code 404 Not Found", 1},
      {&site, "/endless", ""},
      {&ftp, "/there.txt", ""},
      {&ftp, "/missing.txt", "Remote File Not Found"},
      {&secure, "/moved", "HTTP Code 301 Moved Permanently", 1},
      // A TLS hello to a plain server, read as the head of a request that never ends.
      {nullptr, "https://127.0.0.2:" + std::to_string(site.Port()) + "/",
       "No Answer in 5 s"},
      {nullptr, "http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort()) + "/",
       "Can't Connect to Host"},
      {nullptr, "http://127.0.0.1:99999/", "Request for Invalid Port or Name"},
      {nullptr, "http://[::1/", "Request for Invalid Port or Name"},
  };
  std::string body = "<p id=local>\n";
  Texts expected;
  int tested = 0;
  size_t movedRow = 0;
  for (size_t i = 0; i < links.size(); ++i) {
    const Link& link = links[i];
    const std::string href = link.server ? link.server->Url(link.href) : link.href;
    const std::string text = "L" + std::to_string(i);
    body += Anchor(href, text);
    tested += link.reason != "-";
    if (link.server == &site && link.href == "/moved") movedRow = expected.size();
    if (!link.reason.empty() && link.reason != "-")
      expected.push_back(href + "|" + link.reason + "|" + text);
  }
  const std::string a = Page("a.htm", body);
  const std::string b =
      Page("b.htm", Anchor("missing.htm", "Gone") + Anchor(site.Url("/status/404#2"), "Again"));
  // c's base makes its relative and root-relative links remote ones.
  const std::string c = Page("c.htm", "<base href=\"" + site.Url("/status/") + "\">" +
                                          Anchor("403", "Base") + Anchor("/status/402", "Root"));
  expected.insert(expected.end(), {"missing.htm|Local File Not Found|Gone",
                                   site.Url("/status/404#2") + "|HTTP Code 404 Not Found|Again",
                                   "403|HTTP Code 403 Forbidden|Base",
                                   "/status/402|HTTP Code 402 Payment Required|Root"});
  View().SetWaitLimit(5);
  View().FilterMask() = DEFAULT_FILTER_MASK;
  View().FilterMask()[OutcomeKind(302)] = '0';
  FullCheckOptions full;
  full.enabled = true;
  full.maxPerHost = 16;
  full.caFile = dir.WriteFile("secure.pem", secure.CertificatePem());
  full.skipPatterns = {"skip\\.test", "^/private/", "\\.pdf$", "^file://.*/drafts/", "#nowhere$"};

  View().StartTest(a, {false, true, false}, full);
  EXPECT_EQ(options.timeoutMs, 5000);
  // Everything but the two waits for a silent server comes in; nothing may be listed yet.
  const int found = tested + 4;
  loop.RunUntil([&, until = loop.NowMs() + 60000] {
    return View().FullCheck()->LinksJudged() >= found - 2 || loop.NowMs() > until;
  });
  EXPECT_EQ(View().FullCheck()->LinksFound(), found);
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\nTesting: " + a + "\r\n");
  EXPECT_EQ(frame.lastProgress.m_wndFileBar.Pos(), 0);
  EXPECT_EQ(frame.lastProgress.m_wndLinkBar.Pos(), found - 2);
  EXPECT_EQ(frame.lastProgress.m_wndLinkBar.Upper(), found);

  RunToEnd();
  EXPECT_EQ(Rows(), expected);
  for (const Link& link : links) {
    if (link.requests < 0) continue;
    const std::string path = std::regex_replace(link.href, std::regex(" "), "%20");
    EXPECT_EQ(link.server->RequestCount(path), link.requests) << link.href;
  }
  EXPECT_EQ(View().Rows().GetItemDetails(1).code, CHECK_FRAGMENT_NOT_FOUND);
  EXPECT_EQ(View().Rows().GetItemDetails(1).line, 4);
  // Where a permanent move ended, for the repair that follows moves.
  EXPECT_EQ(View().Rows().GetItemDetails(int(movedRow)).finalUrl, site.Url("/target"));
  // Each row's class, and where its link led.
  EXPECT_EQ(View().Rows().GetItemDetails(0).cls, CheckClass::NotVerified);
  EXPECT_EQ(View().Rows().GetItemDetails(0).target, site.Url("/silent"));
  EXPECT_EQ(View().Rows().GetItemDetails(int(movedRow)).cls, CheckClass::Moved);
  EXPECT_EQ(View().Rows().GetItemDetails(1).cls, CheckClass::Broken);
  EXPECT_EQ(View().Rows().GetItemDetails(1).target, dir / "site/sub/page.html");
  EXPECT_NE(
      site.Requests("/status/402").at(0).find("\nUser-Agent: Mozilla/5.0 (compatible; Linkward/" LINKWARD_VERSION ")\r"),
      std::string::npos);
  // The two Not Verified rows of a.htm are counted apart.
  std::string aLog = FileLog(a, tested, int(expected.size()) - 4 - 2);
  aLog.insert(aLog.find(".\r\n\r\n") + 1, " Not verified: 2.");
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" + aLog +
                       FileLog(b, 2, 2) + FileLog(c, 2, 2) + "End of test: <date>\r\n");
  EXPECT_EQ(frame.beeps, std::vector<unsigned>{0});
  ExpectIdle();

  // Stop while two silent servers are waited for, after the first file's row.
  // One transfer per host and two at once: the other two links wait their turn.
  const std::string first = Page("stop/a.htm", Anchor("gone.htm", "Gone"));
  const std::string second =
      Page("stop/b.htm", Anchor(site.Url("/silent"), "Silent") + Anchor(site.Url("/queued"), "") +
                             Anchor(secure.Url("/silent"), "") + Anchor(ftp.Url("/queued"), ""));
  Page("stop/c.htm", Anchor("gone.htm", "Gone again"));
  const int ftpConnections = ftp.Connections();
  const int silentBefore = site.RequestCount("/silent");
  const int secureBefore = secure.RequestCount("/silent");
  full.maxPerHost = 1;
  full.maxTransfers = 2;
  View().StartTest(first, {false, true, false}, full);
  loop.RunUntil([&] {
    return Rows().size() == 1 && site.RequestCount("/silent") > silentBefore &&
           secure.RequestCount("/silent") > secureBefore;
  });
  View().OnStopTest();
  EXPECT_EQ(loop.WatchCount(), 0);  // every transfer dropped, its timers too
  EXPECT_FALSE(loop.HasTimer(200));
  loop.RunFor(50);
  EXPECT_EQ(site.RequestCount("/queued"), 0);
  EXPECT_EQ(ftp.Connections(), ftpConnections);
  EXPECT_EQ(Rows(), Texts{"gone.htm|Local File Not Found|Gone"});
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" + FileLog(first, 1, 1) + "Testing: " + second +
                       "\r\nTesting Stopped by User\r\n");
  ExpectIdle();

  // With the mode off the standard test runs, and no remote judge is made.
  View().StartTest(first, {});
  EXPECT_TRUE(loop.HasTimer(TICK_TIMER_ID));
  RunToEnd();
  EXPECT_EQ(made, 2);
  EXPECT_TRUE(Rows().empty());

  // Where trusted certificates come from: the option, then SSL_CERT_FILE,
  // never the system store alone.
  const std::string one = Page("tls/a.htm", Anchor(secure.Url("/status/200"), "S"));
  const Texts refused = {secure.Url("/status/200") + "|Certificate Not Trusted|S"};
  const std::string goodCa = dir.WriteFile("good.pem", secure.CertificatePem());
  const std::string otherCa = dir.WriteFile("other.pem", misnamed.CertificatePem());
  const std::tuple<std::string, const char*, bool> bundles[] = {{"", goodCa.c_str(), true},
                                                                {goodCa, otherCa.c_str(), true},
                                                                {otherCa, nullptr, false},
                                                                {"", nullptr, false}};
  for (const auto& [caFile, envCa, trusted] : bundles) {
    ScopedEnv env("SSL_CERT_FILE", envCa);
    full.caFile = caFile;
    View().StartTest(one, {false, true, false}, full);
    RunToEnd();
    EXPECT_EQ(Rows(), trusted ? Texts{} : refused) << caFile << " / " << (envCa ? envCa : "");
  }

  // A stored skip pattern that does not compile (an edited store) starts
  // nothing, and the message names the first such pattern.
  full.skipPatterns = {"fine", "(unclosed", "(also"};
  View().StartTest(first, {false, true, false}, full);
  EXPECT_FALSE(View().IsTestRunning());
  EXPECT_EQ(Boxes().back(),
            "Skip links matching: \"(unclosed\" is not a valid regular expression.");
}

}  // namespace
