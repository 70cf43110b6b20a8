// Whole full checks through the results view, with a scripted remote judge:
// local and fragment judgements on a fixture tree, the order and text of the
// rows, one request per distinct address, progress, Stop.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>

#include "check/CheckOutcome.h"
#include "engine/ViewFixture.h"

using namespace linkward;

namespace {

using Texts = std::vector<std::string>;

HttpOutcome Code(unsigned code, std::string finalUrl = "") {
  HttpOutcome o;
  o.code = code;
  o.finalUrl = std::move(finalUrl);
  return o;
}

// Answers from a script: held addresses wait for Answer(); the others are
// answered from the loop, as the real checker does.
class ScriptedRemote : public IRemoteChecker {
 public:
  struct Log {
    std::vector<std::string> asked;
    std::map<std::string, HttpOutcome> outcomes;  // default: 200
    std::set<std::string> held;
    std::map<std::string, DoneFn> waiting;
    int cancels = 0;

    HttpOutcome Outcome(const std::string& url) const {
      return outcomes.count(url) ? outcomes.at(url) : Code(200);
    }
    void Answer(const std::string& url) {
      auto fn = std::move(waiting.at(url));
      waiting.erase(url);
      fn(Outcome(url));
    }
  };
  ScriptedRemote(IEventLoop& loop, Log& log) : m_loop(loop), m_log(log) {}
  ~ScriptedRemote() override { CancelAll(); }

  void Check(const std::string& url, DoneFn done) override {
    m_log.asked.push_back(url);
    if (m_log.held.count(url)) {
      m_log.waiting[url] = std::move(done);
      return;
    }
    int id = 7000 + m_nNext++;
    m_timers[id] = [this, url, done = std::move(done)] { done(m_log.Outcome(url)); };
    m_loop.SetTimer(id, 1, [this](int id) {
      m_loop.KillTimer(id);
      auto fn = std::move(m_timers[id]);
      m_timers.erase(id);
      fn();
    });
  }
  void CancelAll() override {
    ++m_log.cancels;
    for (auto& [id, fn] : m_timers) m_loop.KillTimer(id);
    m_timers.clear();
    m_log.waiting.clear();
  }
  size_t Pending() const override { return m_timers.size() + m_log.waiting.size(); }

 private:
  IEventLoop& m_loop;
  Log& m_log;
  int m_nNext = 0;
  std::map<int, std::function<void()>> m_timers;
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
  void Start(const std::string& path, int allFiles = 0, std::string root = "") {
    FullCheckOptions full;
    full.enabled = true;
    full.root = std::move(root);
    full.maxPerHost = 3;
    View().StartTest(path, {false, allFiles != 0, false}, full);
  }
  ScriptedRemote::Log remote;
  HttpCheckOptions options;
  int made = 0;
};

TEST_F(FullCheckTest, LocalAndFragmentLinksOnAFixtureTree) {
  for (const char* sub : {"sub", "outside", "empty"}) {
    ::mkdir((dir / "site/" + sub).c_str(), 0700);
  }
  Page("sub/page.html", "<h2 id=sec>S</h2><a name=named></a>");
  Page("sub/index.html", "");
  Page("sub/pic.png", "");
  Page("a b.html", "<p id=\"caf\xC3\xA9\">");
  Page("outside/other.html", "<div id=there></div>");
  std::string pageAbs = dir / "site/sub/page.html";
  struct Link {
    std::string href;
    const char* reason;  // nullptr: not listed
  };
  const std::vector<Link> links = {
      {"sub/page.html", nullptr},
      {"sub/page.html#sec", nullptr},
      {"sub/page.html#nosec", "Fragment Not Found"},
      {"sub/page.html?x=1&amp;y=2#sec", nullptr},
      {"sub/gone.html", "Local File Not Found"},
      {"sub/", nullptr},
      {"empty/", "Local File Not Found"},
      {"/sub/page.html#named", nullptr},
      {"/nothere.html", "Local File Not Found"},
      {"#local", nullptr},
      {"#nolocal", "Fragment Not Found"},
      {"#", nullptr},
      {"#top", nullptr},
      {"file://" + pageAbs + "#sec", nullptr},
      {"file:///no/such/file.html", "Local File Not Found"},
      {"a%20b.html#caf%C3%A9", nullptr},
      {"a b.html#caf\xC3\xA9", nullptr},
      {"outside/other.html#there", nullptr},
      {"outside/other.html#elsewhere", "Fragment Not Found"},
      {"sub/pic.png#anything", nullptr},
      {"https://example.test/x#part", "HTTP Code 410 Gone"},
      {"//example.test/x", "HTTP Code 410 Gone"},
      {"http://example.test:99999/", "Request for Invalid Port or Name"},
      {"mailto:a@b", nullptr},
      {"tel:123", nullptr},
      {"javascript:void(0)", nullptr},
      {"data:text/plain,x", nullptr},
  };
  std::string body = "<p id=local>\n";
  Texts expected;
  for (size_t i = 0; i < links.size(); ++i) {
    body += Anchor(links[i].href, "L" + std::to_string(i));
    if (links[i].reason)
      expected.push_back(links[i].href + "|" + links[i].reason + "|L" + std::to_string(i));
  }
  remote.outcomes["https://example.test/x"] = Code(410);
  std::string index = Page("index.htm", body);

  Start(index);
  // running, Stop enabled, file choice disabled
  EXPECT_EQ((std::vector<bool>{View().IsTestRunning(), View().OnUpdateStopTest(),
                               View().OnUpdateSelectFiles()}),
            (std::vector<bool>{true, true, false}));
  RunToEnd();
  EXPECT_EQ(Rows(), expected);
  EXPECT_EQ(remote.asked, Texts{"https://example.test/x"});
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" +
                       FileLog(index, int(links.size()) - 4, int(expected.size())) +
                       "End of test: <date>\r\n");
  const RowDetails& first = View().Rows().GetItemDetails(0);
  EXPECT_EQ(first.code, CHECK_FRAGMENT_NOT_FOUND);
  EXPECT_EQ(first.line, 4);
  EXPECT_EQ(View().Rows().GetItemText(0, COL_FILE), index);
  EXPECT_EQ(frame.Pane(1) + "|" + frame.Pane(2), "Search Complete|");
  EXPECT_EQ(View().ProgressWindow(), nullptr);
  ExpectIdle();
}

TEST_F(FullCheckTest, RowsWaitForEarlierFilesAndEachAddressIsAskedOnce) {
  remote.held = {"http://slow.test/"};
  remote.outcomes = {{"http://slow.test/", Code(500)},
                     {"http://h.test/moved", Code(301, "http://h.test/new")},
                     {"http://h.test/temp", Code(307, "http://h.test/t")},
                     {"http://h.test/x", Code(404)}};
  settings.SetInt("Settings", "Timeout", 7);
  View().SetWaitLimit(7);
  std::string mask(21, '1');
  for (unsigned quiet : {200u, 201u, 202u, 204u, 302u}) mask[OutcomeKind(quiet)] = '0';
  // 307 follows the 302 position
  View().FilterMask() = mask;
  std::string a =
      Page("a.htm", Anchor("http://slow.test/", "Slow") + Anchor("http://h.test/x#1", "X one") +
                        Anchor("http://h.test/ok", "Fine"));
  std::string b =
      Page("b.htm", Anchor("missing.htm", "Gone") + Anchor("http://h.test/x#2", "X two"));
  // c's base makes its relative link a remote one.
  std::string c =
      Page("c.htm", "<base href=\"http://base.test/d/\">" + Anchor("http://h.test/moved", "Moved") +
                        Anchor("http://h.test/temp", "Temp") + Anchor("a.htm", "A"));

  Start(a, 1);
  ASSERT_EQ(made, 1);
  EXPECT_EQ(options.timeoutMs, 7000);
  EXPECT_EQ(options.maxPerHost, 3);
  // Everything but the slow answer comes in; nothing may be listed yet.
  loop.RunUntil([&] { return View().FullCheck()->LinksJudged() == 7; });
  EXPECT_EQ(View().FullCheck()->LinksFound(), 8);
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\nTesting: " + a + "\r\n");
  ASSERT_NE(View().ProgressWindow(), nullptr);
  EXPECT_EQ(frame.lastProgress.m_wndFileBar.Pos(), 0);
  EXPECT_EQ(frame.lastProgress.m_wndLinkBar.Pos(), 7);
  EXPECT_EQ(frame.lastProgress.m_wndLinkBar.Upper(), 8);

  remote.Answer("http://slow.test/");
  RunToEnd();
  EXPECT_EQ(Rows(), (Texts{"http://slow.test/|HTTP Code 500 Internal Server Error|Slow",
                           "http://h.test/x#1|HTTP Code 404 Not Found|X one",
                           "missing.htm|Local File Not Found|Gone",
                           "http://h.test/x#2|HTTP Code 404 Not Found|X two",
                           "http://h.test/moved|HTTP Code 301 Moved Permanently|Moved"}));
  EXPECT_EQ(View().Rows().GetItemDetails(4).finalUrl, "http://h.test/new");
  std::vector<std::string> asked = remote.asked;
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked, (Texts{"http://base.test/d/a.htm", "http://h.test/moved", "http://h.test/ok",
                          "http://h.test/temp", "http://h.test/x", "http://slow.test/"}));
  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" + FileLog(a, 3, 2) + FileLog(b, 2, 2) +
                       FileLog(c, 3, 1) + "End of test: <date>\r\n");
  EXPECT_EQ(frame.beeps, std::vector<unsigned>{0});
}

TEST_F(FullCheckTest, StopInTheMiddleKeepsListedRowsAndEndsEverything) {
  remote.held = {"http://slow.test/"};
  std::string a = Page("a.htm", Anchor("gone.htm", "Gone"));
  std::string b = Page("b.htm", Anchor("http://slow.test/", "Slow"));
  Page("c.htm", Anchor("gone.htm", "Gone again"));
  Start(a, 1);
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
  View().StartTest(a, {});
  EXPECT_TRUE(loop.HasTimer(TICK_TIMER_ID));
  RunToEnd();
  EXPECT_EQ(made, 1);
  EXPECT_TRUE(Rows().empty());
}

}  // namespace
