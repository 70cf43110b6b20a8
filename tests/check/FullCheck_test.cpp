// Whole full checks through the results view, with a scripted remote judge:
// local, fragment and skipped links on a fixture tree, the order and text of
// the rows with a slow early answer, one request per distinct address,
// progress, Stop, the mode off.
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>

#include "check/CheckOutcome.h"
#include "engine/ViewFixture.h"

namespace {

using Texts = std::vector<std::string>;

HttpOutcome Code(unsigned code, std::string finalUrl = "") {
  return {code, 0, std::move(finalUrl)};
}

// What the remote judge was asked, how it answers (200 by default), and the
// addresses it holds until the test answers them.
struct Script {
  Texts asked;
  std::map<std::string, HttpOutcome> outcomes;
  std::set<std::string> held;
  std::vector<std::pair<std::string, IRemoteChecker::DoneFn>> waiting;
  int cancels = 0;

  // Answers every waiting address that is not held.
  void AnswerDue() {
    const int cancelled = cancels;
    auto due = std::move(waiting);
    waiting.clear();
    for (auto& [url, done] : due) {
      if (held.count(url)) {
        waiting.emplace_back(url, std::move(done));
      } else if (cancels == cancelled) {
        done(outcomes.count(url) ? outcomes[url] : Code(200));
      }
    }
  }
};

// Answers from the script, from the loop as the real checker does.
class ScriptedRemote : public IRemoteChecker {
 public:
  ScriptedRemote(IEventLoop& loop, Script& script) : m_loop(loop), m_script(script) {}
  ~ScriptedRemote() override { CancelAll(); }
  void Check(const std::string& url, DoneFn done) override {
    m_script.asked.push_back(url);
    m_script.waiting.emplace_back(url, std::move(done));
    m_loop.SetTimer(7000, 1, [&loop = m_loop, &script = m_script](int) {
      loop.KillTimer(7000);
      script.AnswerDue();
    });
  }
  void CancelAll() override {
    ++m_script.cancels;
    m_script.waiting.clear();
    m_loop.KillTimer(7000);
  }
  size_t Pending() const override { return m_script.waiting.size(); }

 private:
  IEventLoop& m_loop;
  Script& m_script;
};

class FullCheckTest : public ViewFixture {
 protected:
  FullCheckTest() {
    View().SetRemoteCheckerFactory([this](IEventLoop& l, const HttpCheckOptions& o) {
      options = o;
      ++made;
      return std::make_unique<ScriptedRemote>(l, remote);
    });
  }
  void Start(const std::string& path, FullCheckOptions full = {}) {
    full.enabled = true;
    full.maxPerHost = 3;
    View().StartTest(path, 0, 1, 0, full);
  }
  Script remote;
  HttpCheckOptions options;
  int made = 0;
};

TEST_F(FullCheckTest, JudgesEveryKindOfLinkAndListsRowsInPageOrder) {
  for (const char* sub : {"sub", "outside", "empty"}) ::mkdir((dir / "site/" + sub).c_str(), 0700);
  Page("sub/page.html", "<h2 id=sec>S</h2><a name=named></a>");
  Page("sub/index.html", "");
  Page("sub/pic.png", "");
  Page("sub/a b.html", "<p id=\"caf\xC3\xA9\">");
  Page("outside/other.html", "<div id=there></div>");
  const std::string pageAbs = dir / "site/sub/page.html";
  struct Link {
    std::string href;
    std::string reason;  // "": judged sound; "-": neither tested nor counted
  };
  const std::vector<Link> links = {
      {"http://slow.test/", "HTTP Code 500 Internal Server Error"},  // answered last
      {"sub/page.html", ""},
      {"sub/page.html#sec", ""},
      {"sub/page.html#nosec", "Fragment Not Found"},
      {"sub/page.html?x=1&amp;y=2#sec", ""},
      {"sub/gone.html", "Local File Not Found"},
      {"sub/", ""},
      {"empty/", "Local File Not Found"},
      {"/sub/page.html#named", ""},
      {"/nothere.html", "Local File Not Found"},
      {"#local", ""},
      {"#nolocal", "Fragment Not Found"},
      {"#", ""},
      {"#top", ""},
      {"file://" + pageAbs + "#sec", ""},
      {"file:///no/such/file.html", "Local File Not Found"},
      {"sub/a%20b.html#caf%C3%A9", ""},
      {"sub/a b.html#caf\xC3\xA9", ""},
      {"outside/other.html#there", ""},
      {"outside/other.html#elsewhere", "Fragment Not Found"},
      {"sub/pic.png#anything", ""},
      {"https://example.test/x#part", "HTTP Code 410 Gone"},
      {"//example.test/x", "HTTP Code 410 Gone"},
      {"http://example.test:99999/", "Request for Invalid Port or Name"},
      {"http://h.test/x#1", "HTTP Code 404 Not Found"},
      {"http://h.test/ok", ""},
      {"mailto:a@b", "-"},
      {"tel:123", "-"},
      {"javascript:void(0)", "-"},
      {"data:text/plain,x", "-"},
      // Skip patterns are searched in the link as written and as resolved.
      {"http://skip.test/a", "-"},
      {"/private/x.htm", "-"},
      {"../private/x.htm", "Local File Not Found"},  // "^" anchors each form
      {"notes.pdf", "-"},
      {"report.PDF", "Local File Not Found"},  // case counts
      {"drafts/gone.htm", "-"},                // found in the resolved form only
      {"#nowhere", "-"},
  };
  std::string body = "<p id=local>\n";
  Texts expected;
  int tested = 0;
  for (size_t i = 0; i < links.size(); ++i) {
    const std::string text = "L" + std::to_string(i);
    body += Anchor(links[i].href, text);
    tested += links[i].reason != "-";
    if (!links[i].reason.empty() && links[i].reason != "-")
      expected.push_back(links[i].href + "|" + links[i].reason + "|" + text);
  }
  const std::string a = Page("a.htm", body);
  const std::string b =
      Page("b.htm", Anchor("missing.htm", "Gone") + Anchor("http://h.test/x#2", "X two"));
  // c's base makes its relative link a remote one.
  const std::string c =
      Page("c.htm", "<base href=\"http://base.test/d/\">" + Anchor("http://h.test/moved", "Moved") +
                        Anchor("http://h.test/temp", "Temp") + Anchor("a.htm", "A"));
  expected.insert(expected.end(), {"missing.htm|Local File Not Found|Gone",
                                   "http://h.test/x#2|HTTP Code 404 Not Found|X two",
                                   "http://h.test/moved|HTTP Code 301 Moved Permanently|Moved"});
  remote.held = {"http://slow.test/"};
  remote.outcomes = {{"http://slow.test/", Code(500)},
                     {"https://example.test/x", Code(410)},
                     {"http://h.test/moved", Code(301, "http://h.test/new")},
                     {"http://h.test/temp", Code(307, "http://h.test/t")},
                     {"http://h.test/x", Code(404)}};
  settings.SetInt("Settings", "Timeout", 7);
  View().SetWaitLimit(7);
  std::string mask(21, '1');
  for (unsigned quiet : {200u, 201u, 202u, 204u, 302u}) mask[OutcomeKind(quiet)] = '0';
  View().FilterMask() = mask;  // 307 follows 302's place
  FullCheckOptions full;
  full.skipPatterns = {"skip\\.test", "^/private/", "\\.pdf$", "^file://.*/drafts/", "#nowhere$"};

  Start(a, full);
  ASSERT_EQ(made, 1);
  EXPECT_EQ(options.timeoutMs, 7000);
  EXPECT_EQ(options.maxPerHost, 3);
  // Everything but the slow answer comes in; nothing may be listed yet.
  const int found = tested + 5;
  const int64_t until = loop.NowMs() + 60000;
  loop.RunUntil(
      [&] { return View().FullCheck()->LinksJudged() >= found - 1 || loop.NowMs() > until; });
  EXPECT_EQ(View().FullCheck()->LinksFound(), found);
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\nTesting: " + a + "\r\n");
  ASSERT_NE(View().ProgressWindow(), nullptr);
  EXPECT_EQ(frame.lastProgress.m_wndFileBar.Pos(), 0);
  EXPECT_EQ(frame.lastProgress.m_wndLinkBar.Pos(), found - 1);
  EXPECT_EQ(frame.lastProgress.m_wndLinkBar.Upper(), found);

  remote.held.clear();
  remote.AnswerDue();
  RunToEnd();
  EXPECT_EQ(Rows(), expected);
  EXPECT_EQ(View().Rows().GetItemDetails(1).code, CHECK_FRAGMENT_NOT_FOUND);
  EXPECT_EQ(View().Rows().GetItemDetails(1).line, 5);
  EXPECT_EQ(View().Rows().GetItemDetails(expected.size() - 1).finalUrl, "http://h.test/new");
  Texts asked = remote.asked;
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked, (Texts{"http://base.test/d/a.htm", "http://h.test/moved", "http://h.test/ok",
                          "http://h.test/temp", "http://h.test/x", "http://slow.test/",
                          "https://example.test/x"}));
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" + FileLog(a, tested, int(expected.size()) - 3) +
                       FileLog(b, 2, 2) + FileLog(c, 3, 1) + "End of test: <date>\r\n");
  EXPECT_EQ(frame.beeps, std::vector<unsigned>{0});
  ExpectIdle();
}

TEST_F(FullCheckTest, StopInTheMiddleKeepsListedRowsAndEndsEverything) {
  remote.held = {"http://slow.test/"};
  std::string a = Page("a.htm", Anchor("gone.htm", "Gone"));
  std::string b = Page("b.htm", Anchor("http://slow.test/", "Slow"));
  Page("c.htm", Anchor("gone.htm", "Gone again"));
  Start(a);
  loop.RunUntil([&] { return !remote.waiting.empty() && Rows().size() == 1; });
  View().OnStopTest();
  EXPECT_FALSE(View().IsTestRunning());
  EXPECT_EQ(remote.waiting.size(), 0u);
  EXPECT_GE(remote.cancels, 1);
  loop.RunFor(50);
  EXPECT_EQ(Rows(), Texts{"gone.htm|Local File Not Found|Gone"});
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" + FileLog(a, 1, 1) + "Testing: " + b +
                       "\r\nTesting Stopped by User\r\n");
  EXPECT_EQ(View().ProgressWindow(), nullptr);
  ExpectIdle();

  // With the mode off the standard test runs, and no remote judge is made.
  View().StartTest(a, 0, 0, 0);
  EXPECT_TRUE(loop.HasTimer(TICK_TIMER_ID));
  RunToEnd();
  EXPECT_EQ(made, 1);
  EXPECT_TRUE(Rows().empty());

  // A stored skip pattern that does not compile (an edited store) starts
  // nothing, and the message names the first such pattern.
  FullCheckOptions full;
  full.skipPatterns = {"fine", "(unclosed", "(also"};
  Start(a, full);
  EXPECT_FALSE(View().IsTestRunning());
  EXPECT_EQ(Boxes().back(),
            "Skip links matching: \"(unclosed\" is not a valid regular expression.");
}

}  // namespace
