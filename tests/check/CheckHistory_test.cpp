// The check history: which verdicts a later run reuses and which it checks
// again, what the rows are told, --no-cache, forgetting, two runs sharing one
// history, a history that cannot be used.
#include "check/CheckHistory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <map>

#include "check/CheckOutcome.h"
#include "platform/PollEventLoop.h"
#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// A remote judge that answers from a script, from the loop, and counts what it is asked.
class ScriptedChecker : public IRemoteChecker {
 public:
  ScriptedChecker(IEventLoop& loop, std::map<std::string, HttpOutcome>& script,
                  std::map<std::string, int>& asked)
      : m_loop(loop), m_script(script), m_asked(asked) {}
  void Check(const std::string& url, DoneFn done) override {
    ++m_asked[url];
    m_waiting.emplace_back(m_script.at(url), std::move(done));
    m_loop.SetTimer(m_timer, 0, [this](int id) {
      m_loop.KillTimer(id);
      auto batch = std::move(m_waiting);
      m_waiting.clear();
      for (auto& [outcome, fn] : batch) fn(outcome);
    });
  }
  void CancelAll() override {
    m_waiting.clear();
    m_loop.KillTimer(m_timer);
  }
  size_t Pending() const override { return m_waiting.size(); }

 private:
  IEventLoop& m_loop;
  std::map<std::string, HttpOutcome>& m_script;
  std::map<std::string, int>& m_asked;
  std::vector<std::pair<HttpOutcome, DoneFn>> m_waiting;
  const int m_timer = 300 + s_made++;  // each its own, as two runs share the loop
  static inline int s_made = 0;
};

class CheckHistoryTest : public ::testing::Test {
 protected:
  // One run: every url checked through a new history checker at the time now.
  // Returns the outcomes, and the notes in *notes.
  std::map<std::string, HttpOutcome> Run(const std::vector<std::string>& urls,
                                         HistoryOptions options,
                                         std::map<std::string, std::string>* notes = nullptr) {
    if (options.path.empty()) options.path = path;
    CHistoryChecker checker(
        loop, std::make_unique<ScriptedChecker>(loop, script, asked), options,
        [this](const std::string& text) { warnings.push_back(text); }, [this] { return now; });
    std::map<std::string, HttpOutcome> got;
    for (const std::string& url : urls) {
      checker.Check(url, [&got, url](const HttpOutcome& o) { got[url] = o; });
    }
    EXPECT_TRUE(got.empty()) << "answered from within Check";
    loop.RunUntil([&] { return got.size() == urls.size(); });
    if (notes) {
      notes->clear();
      for (const std::string& url : urls) (*notes)[url] = checker.Note(url);
    }
    return got;
  }

  ScratchDir dir;
  CPollEventLoop loop{true};
  std::string path = dir / "cache/linkward/history.db";
  std::map<std::string, HttpOutcome> script;
  std::map<std::string, int> asked;
  std::vector<std::string> warnings;
  int64_t now = 1800000000;
};

HistoryOptions At(const std::string& path) {
  HistoryOptions options;
  options.path = path;
  return options;
}

std::string Date(int64_t when) {
  std::time_t t = when;
  std::tm tm{};
  char text[16];
  localtime_r(&t, &tm);
  std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
  return text;
}

TEST_F(CheckHistoryTest, ReusesYoungSoundVerdictsAndChecksEverythingElseAgain) {
  script = {{"http://h/ok", {200, 200, ""}},
            {"http://h/moved", {301, 200, "http://h/new"}},
            {"ftp://h/file", {CHECK_FOUND, 0, ""}},
            {"http://h/gone", {404, 404, ""}},
            {"http://h/tomissing", {404, 404, "http://h/missing"}},  // a chain that ends broken
            {"http://h/login", {CHECK_LOGIN_REQUIRED + 401, 401, ""}},
            {"http://h/slow", {CHECK_NO_ANSWER + 15, 0, ""}}};
  std::vector<std::string> urls;
  for (const auto& [url, outcome] : script) urls.push_back(url);
  std::map<std::string, std::string> notes;
  const int64_t first = now;
  // An empty history has nothing to say.
  EXPECT_EQ(Run(urls, {}, &notes).at("http://h/moved").finalUrl, "http://h/new");
  for (const auto& [url, note] : notes) EXPECT_EQ(note, "") << url;
  struct stat st;
  ASSERT_EQ(::stat((dir / "cache/linkward").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A day less a second later: OK and Moved come from the history, as they were.
  now += 86399;
  script["http://h/new-link"] = {410, 410, ""};
  urls.push_back("http://h/new-link");
  asked.clear();
  auto got = Run(urls, {}, &notes);
  EXPECT_EQ(asked, (std::map<std::string, int>{{"http://h/gone", 1},
                                               {"http://h/login", 1},
                                               {"http://h/new-link", 1},
                                               {"http://h/slow", 1},
                                               {"http://h/tomissing", 1}}));
  EXPECT_EQ(got.at("http://h/moved").code, 301u);
  EXPECT_EQ(got.at("http://h/moved").finalCode, 200u);
  EXPECT_EQ(got.at("http://h/moved").finalUrl, "http://h/new");
  EXPECT_EQ(notes, (std::map<std::string, std::string>{
                       {"ftp://h/file", ""},
                       {"http://h/gone", "broken since " + Date(first)},
                       {"http://h/login", "not verified since " + Date(first)},
                       {"http://h/moved", ""},
                       {"http://h/new-link", "new since the last check"},
                       {"http://h/ok", ""},
                       {"http://h/slow", "not verified since " + Date(first)},
                       {"http://h/tomissing", "broken since " + Date(first)}}));

  // A day after they were checked they are checked again; a page that broke
  // since is new, one that is still broken keeps its first date.
  now = first + 86400;
  script["http://h/ok"] = {404, 404, ""};
  script["http://h/gone"] = {200, 200, ""};
  asked.clear();
  Run(urls, {}, &notes);
  EXPECT_EQ(asked.size(), urls.size());
  EXPECT_EQ(notes.at("http://h/ok"), "new since the last check");
  EXPECT_EQ(notes.at("http://h/gone"), "new since the last check");  // mended
  EXPECT_EQ(notes.at("http://h/tomissing"), "broken since " + Date(first));

  // --no-cache asks everything and says nothing, but what it learns is kept;
  // a longest age of 0 reuses nothing.
  script["http://h/ok"] = {200, 200, ""};
  asked.clear();
  HistoryOptions noCache;
  noCache.read = false;
  Run(urls, noCache, &notes);
  EXPECT_EQ(asked.size(), urls.size());
  for (const auto& [url, note] : notes) EXPECT_EQ(note, "") << url;
  asked.clear();
  HistoryOptions never;
  never.maxAgeSeconds = 0;
  Run(urls, never);
  EXPECT_EQ(asked.size(), urls.size());
  asked.clear();
  Run(urls, {});
  EXPECT_EQ(asked.count("http://h/ok"), 0u);  // OK again, as --no-cache found
  EXPECT_EQ(asked.count("http://h/gone"), 0u);
  EXPECT_TRUE(warnings.empty());

  // An address not checked for 180 days is forgotten; the others stay.
  now += 180 * 86400 + 1;
  Run({"http://h/ok"}, At(path));
  {
    CCheckHistory history;
    ASSERT_TRUE(history.Open(path));
    EXPECT_TRUE(history.Find("http://h/ok").has_value());
    EXPECT_FALSE(history.Find("http://h/gone").has_value());
  }

  // CancelAll drops answers taken from the history that were not given yet.
  {
    CHistoryChecker checker(loop, std::make_unique<ScriptedChecker>(loop, script, asked), At(path),
                            nullptr, [this] { return now; });
    bool called = false;
    checker.Check("http://h/ok", [&](const HttpOutcome&) { called = true; });
    EXPECT_EQ(checker.Pending(), 1u);
    EXPECT_EQ(checker.Reused(), 1u);
    checker.CancelAll();
    loop.RunFor(10);
    EXPECT_FALSE(called);
    EXPECT_EQ(checker.Pending(), 0u);
  }
}

TEST_F(CheckHistoryTest, TwoRunsShareOneHistoryAndABadOneNeverStopsTheCheck) {
  // Two runs at once, each writing while the other is open.
  script = {{"http://a/1", {200, 200, ""}}, {"http://b/1", {200, 200, ""}}};
  {
    CHistoryChecker one(
        loop, std::make_unique<ScriptedChecker>(loop, script, asked), At(path),
        [this](const std::string& w) { warnings.push_back(w); }, [this] { return now; });
    CHistoryChecker two(
        loop, std::make_unique<ScriptedChecker>(loop, script, asked), At(path),
        [this](const std::string& w) { warnings.push_back(w); }, [this] { return now; });
    int done = 0;
    one.Check("http://a/1", [&](const HttpOutcome&) { ++done; });
    two.Check("http://b/1", [&](const HttpOutcome&) { ++done; });
    loop.RunUntil([&] { return done == 2; });
    EXPECT_EQ(done, 2);
    one.CancelAll();
    two.CancelAll();
  }
  asked.clear();
  Run({"http://a/1", "http://b/1"}, {});
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(warnings, std::vector<std::string>{});

  // Not a database, a folder that cannot be made, a database that is a
  // directory: one warning naming it, and every link judged all the same.
  const std::string garbage = dir.WriteFile("garbage.db", std::string(4096, 'x'));
  const std::string blocked = dir.WriteFile("file", "") + "/linkward/history.db";
  ::mkdir((dir / "folder.db").c_str(), 0700);
  for (const std::string& bad : {garbage, blocked, dir / "folder.db"}) {
    warnings.clear();
    asked.clear();
    HistoryOptions options;
    options.path = bad;
    std::map<std::string, std::string> notes;
    auto got = Run({"http://a/1", "http://b/1"}, options, &notes);
    EXPECT_EQ(got.size(), 2u) << bad;
    EXPECT_EQ(asked.size(), 2u) << bad;
    ASSERT_EQ(warnings.size(), 1u) << bad;
    EXPECT_NE(warnings[0].find("The check history " + bad + " cannot be used"), std::string::npos)
        << warnings[0];
    EXPECT_EQ(notes.at("http://a/1"), "");
  }
  EXPECT_EQ(ScratchDir::ReadFile(garbage), std::string(4096, 'x'));  // left as it was
}

}  // namespace
