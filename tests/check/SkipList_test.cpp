// The links the user chooses not to test: the pattern rules, and a full check
// through the view that neither tests nor counts the skipped links.
#include "check/SkipList.h"

#include <map>

#include "engine/ViewFixture.h"

using namespace linkward;

namespace {

TEST(SkipList, PatternsAreSearchedInTheWrittenAndTheResolvedLink) {
  CSkipList skip;
  ASSERT_TRUE(skip.Compile({"linkedin\\.com", "^/private/", "\\.pdf$", "^file://.*/drafts/"}));
  // {written, resolved, skipped}
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"https://www.linkedin.com/in/ada", "https://www.linkedin.com/in/ada", true},
      {"/private/x.htm", "file:///srv/site/private/x.htm", true},
      {"../private/x.htm", "file:///srv/private/x.htm", false},  // "^" anchors each form
      {"report.PDF", "file:///srv/site/report.PDF", false},      // case counts
      {"notes.pdf", "", true},
      {"d/a.htm", "file:///srv/site/drafts/d/a.htm", true},  // found in the resolved form only
      {"https://example.org/", "https://example.org/", false},
  };
  for (const auto& [written, resolved, skipped] : cases) {
    EXPECT_EQ(skip.Matches(written, resolved), skipped) << written;
  }
  EXPECT_FALSE(CSkipList().Matches("anything", "anything"));
}

TEST(SkipList, AnInvalidPatternIsNamedAndLeavesTheListAsItWas) {
  CSkipList skip;
  ASSERT_TRUE(skip.Compile({"keep"}));
  std::string bad;
  EXPECT_FALSE(skip.Compile({"fine", "([unclosed", "(also"}, &bad));
  EXPECT_EQ(bad, "([unclosed");
  EXPECT_TRUE(skip.Matches("keep", ""));
  EXPECT_FALSE(skip.Matches("fine", ""));
}

// Answers every remote address with 404 from the loop and records them.
class RecordingRemote : public IRemoteChecker {
 public:
  RecordingRemote(IEventLoop& loop, std::vector<std::string>& asked)
      : m_loop(loop), m_asked(asked) {}
  ~RecordingRemote() override { CancelAll(); }
  void Check(const std::string& url, DoneFn done) override {
    m_asked.push_back(url);
    int id = 8000 + m_nNext++;
    m_waiting[id] = std::move(done);
    m_loop.SetTimer(id, 1, [this](int id) {
      m_loop.KillTimer(id);
      DoneFn fn = std::move(m_waiting[id]);
      m_waiting.erase(id);
      HttpOutcome outcome;
      outcome.code = 404;
      fn(outcome);
    });
  }
  void CancelAll() override {
    for (auto& entry : m_waiting) m_loop.KillTimer(entry.first);
    m_waiting.clear();
  }
  size_t Pending() const override { return m_waiting.size(); }

 private:
  IEventLoop& m_loop;
  std::vector<std::string>& m_asked;
  std::map<int, DoneFn> m_waiting;
  int m_nNext = 0;
};

class SkipListRun : public ViewFixture {};

TEST_F(SkipListRun, SkippedLinksAreNeitherTestedNorCounted) {
  std::vector<std::string> asked;
  View().SetRemoteCheckerFactory([&](IEventLoop& l, const HttpCheckOptions&) {
    return std::make_unique<RecordingRemote>(l, asked);
  });
  std::string page = Page("index.htm",
                          "<a href='http://skip.test/a'>s1</a>"
                          "<a href='http://check.test/b'>c1</a>"
                          "<a href='missing.htm'>c2</a>"
                          "<a href='drafts/gone.htm'>s2</a>"
                          "<a href='#nowhere'>s3</a>"
                          "<a href='#elsewhere'>c3</a>");
  FullCheckOptions full;
  full.enabled = true;
  full.skipPatterns = {"skip\\.test", "^file://.*/drafts/", "#nowhere$"};
  View().StartTest(page, {}, full);
  RunToEnd();
  EXPECT_EQ(asked, std::vector<std::string>{"http://check.test/b"});
  EXPECT_EQ(Rows(), (std::vector<std::string>{"http://check.test/b|HTTP Code 404 Not Found|c1",
                                              "missing.htm|Local File Not Found|c2",
                                              "#elsewhere|Fragment Not Found|c3"}));
  EXPECT_NE(Log().find("index.htm: URLs tested: 3. URL errors: 3.\r\n"), std::string::npos)
      << Log();

  // A pattern that does not compile (an edited store) starts nothing.
  full.skipPatterns = {"(unclosed"};
  View().StartTest(page, {}, full);
  EXPECT_FALSE(View().IsTestRunning());
  EXPECT_EQ(Boxes().back(),
            "Skip links matching: \"(unclosed\" is not a valid regular expression.");
}

}  // namespace
