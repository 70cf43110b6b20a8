// Whole test runs of the results view against servers on loopback.
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <tuple>

#include "engine/ViewFixture.h"
#include "net/SocketWnd.h"
#include "settings/PreferencesDlg.h"
#include "settings/SelectFilesDlg.h"

using namespace linkward;

namespace {

using Texts = std::vector<std::string>;

class TestRunTest : public ViewFixture {};

TEST_F(TestRunTest, WholeTestLogsRowsAndSummariesExactlyAndTakesPreferencesOnTheWay) {
  LoopbackServer server(
      LoopbackServer::Reply("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"));
  std::string a = Page("a.htm", Anchor("http://127.0.0.1:1/", "Refused") +
                                    Anchor(server.Url("/gone#part"), "Gone page") +
                                    Anchor(server.Url("/lost"), "Lost"));
  std::string b = Page("b.htm", "<p>no links here</p>");
  std::string d = Page("d.htm", Anchor("http://127.0.0.1:1/", "x"));  // vanishes before its turn

  View().StartTest(a, {.allFiles = true});
  ::unlink(d.c_str());
  // Preferences changed during the test apply to the links after the second row.
  loop.RunUntil([&] { return View().Rows().GetItemCount() == 2 || !View().IsTestRunning(); });
  frame.onPreferences = [&](CPreferencesDlg& dlg) {
    dlg.OnInitDialog();
    dlg.m_nChecks[10] = 0;  // 404 no longer reported
    return dlg.OnOK("7") ? Answer::Ok : Answer::Cancel;
  };
  View().OnPreferences();
  EXPECT_EQ(View().WaitLimitSeconds(), 7);
  RunToEnd();

  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" + FileLog(a, 3, 2) + FileLog(b, 0, 0) +
                       FileLog(d, 0, 0) + "End of test: <date>\r\n");
  EXPECT_EQ(server.Requests()[0],
            "GET /gone HTTP/1.0\r\nHost: 127.0.0.1:" + server.PortText() + "\r\n\r\n");
  EXPECT_EQ(Rows(), (Texts{"http://127.0.0.1:1/|Can't Connect to Host|Refused",
                           server.Url("/gone#part") + "|HTTP Code 404 Not Found|Gone page"}));
  EXPECT_EQ(frame.waitCursorDepth, 0);
  ExpectIdle();
}

TEST_F(TestRunTest, EachReplyShapeAndFailureGivesItsRowAndStopEndsTheLastProbeWithoutOne) {
  auto segments = [](Texts s) { return LoopbackServer::Script{.reply = s, .delayMs = 30}; };
  const std::string unknown = UNKNOWN_REASON_TEXT;
  // The server, the row's reason and the code the row keeps (0: none was read).
  const std::tuple<LoopbackServer::Script, std::string, unsigned> cases[] = {
      {LoopbackServer::CloseWithoutReply(), "Host Took Too Long to Respond", SOCKET_ERROR_TIMEOUT},
      {segments({"HTTP/1.0 302 Found\r\n\r\nbody"}), "HTTP Code 302 Moved Temporarily", 302},
      {segments({"HTTP/1.0 301 Moved", " Permanently\r\n\r\nbody"}),
       "HTTP Code 301 Moved Permanently", 301},
      {segments({"\r\n\nHTTP/1.0 403 Forbidden\r\n\r\n"}), "HTTP Code 403 Forbidden", 403},
      {segments({"<html>no status line</html>\r\n"}), unknown, 0},
      {segments({"HTTP/1.0 418 Teapot\r\n\r\n"}), unknown, 418},
      // A reply without end: the drain after the first read is bounded.
      {LoopbackServer::ReplyAndStream("HTTP/1.0 404 Not Found\r\n\r\n"), "HTTP Code 404 Not Found",
       404}};
  std::deque<LoopbackServer> servers;
  std::string page;
  Texts expected;
  for (const auto& [script, reason, code] : cases) {
    const std::string url = servers.emplace_back(script).Url();
    page += Anchor(url, "x");
    expected.push_back(url + "|" + reason + "|x|" + std::to_string(code));
  }
  // No rows: a 200 whose 32 KB stay unread (a bounded drain leaves most of
  // them, so closing resets the connection), an ftp server's greeting
  // (nothing is sent to it), and the silent server stopped while it waits.
  LoopbackServer large(
      LoopbackServer::ReplyAndHold("HTTP/1.0 200 OK\r\n\r\n" + std::string(32 * 1024, 'x')));
  HttpTestServer ftp(
      "127.0.0.1", [](auto&, auto&) { return HttpTestServer::Answer{500}; }, nullptr, 0, true);
  LoopbackServer silent(LoopbackServer::NeverAnswer());
  page += Anchor(large.Url(), "x") + Anchor(ftp.Url("/f"), "x") +
          Anchor("ftp://127.0.0.1:1/", "x") + Anchor(silent.Url(), "x");
  expected.push_back("ftp://127.0.0.1:1/|Can't Connect to Host|x|" +
                     std::to_string(SOCKET_ERROR_CONNECT));
  View().StartTest(Page("p.htm", page), {});
  loop.RunUntil([&] { return View().AwaitingReply() && View().LinkList().size() == 1; });
  View().OnStopTest();

  Texts rows = Rows();
  for (size_t i = 0; i < rows.size(); ++i)
    rows[i] += "|" + std::to_string(View().Rows().GetItemDetails(static_cast<int>(i)).code);
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(large.WaitForEnding(0, 10000), "reset");
  EXPECT_EQ(ftp.Connections(), 1);
  EXPECT_EQ(ftp.Requests(), Texts{});
  EXPECT_TRUE(View().UnclassifiedCode());
  EXPECT_EQ(frame.beeps, (std::vector<unsigned>{48, 48}));  // one per unknown code; no end
  EXPECT_EQ(CSocketWnd::InstanceCount(), 0);
  ExpectIdle();
}

// A chosen path that is no regular file, no file to test, or no scratch
// directory: nothing starts and the rows and log of the last test stay.
TEST_F(TestRunTest, NothingStartsWithoutAFileAFileListAndAScratchDirectory) {
  const std::string notAFile = "The chosen file does not exist",
                    noFiles = "No files found.\n\nWas your filter option set correctly?";
  const std::string page = Page("notes.txt", Anchor("http://127.0.0.1:1/", "x"));
  const std::string fifo = dir / "site/fifo.htm";  // opening it would block
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // {chosen path, the view's scratch directory, the box shown}; none could be
  // made (""): never a fixed name in "/".
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {dir / "site", dir / "scratch", notAFile},
      {fifo, dir / "scratch", notAFile},
      {page, dir / "scratch", noFiles},
      {page, "", NO_SCRATCH_DIR_TEXT},
      {page, dir / "gone", NO_SCRATCH_DIR_TEXT},
      {page, dir.WriteFile("plain", ""), NO_SCRATCH_DIR_TEXT}};
  for (const auto& [chosen, scratch, box] : cases) {
    SCOPED_TRACE(chosen + " " + scratch);
    Restart();
    view = std::make_unique<CLinkwardView>(settings, frame, loop, scratch);
    frame.onSelectFiles = [&](CSelectFilesDlg& dlg) {
      dlg.m_strPath = chosen;
      dlg.m_choices.recurse = box == noFiles;  // sub-directories without other files: none
      return Answer::Ok;
    };
    View().AddResultText("http://old/", RowStep::Url);
    frame.log = "old log";
    View().OnSelectFiles();
    EXPECT_EQ(Boxes(), Texts{box});
    EXPECT_EQ(settings.GetString("FileSel", "Starter", "unset"), box == notAFile ? "unset" : page);
    EXPECT_EQ(View().Rows().GetItemCount(), 1);
    EXPECT_EQ(frame.log, "old log");
    EXPECT_EQ(frame.progressCreates, 0);
    EXPECT_FALSE(View().IsTestRunning());
  }
}

// The activity bar over pane 3 is made once per view and steps every ten
// ticks. The test counts the ticks the loop delivers, so a stalled machine
// delays them but cannot make the count wrong.
TEST_F(TestRunTest, ActivityBarIsMadeOnceAndStepsEveryTenTicks) {
  struct : IEventLoop {
    IEventLoop* inner;
    int ticks = 0;
    void SetTimer(int id, int periodMs, TimerFn fn) override {
      inner->SetTimer(id, periodMs, [this, fn = std::move(fn)](int timer) {
        ticks += timer == TICK_TIMER_ID;
        fn(timer);
      });
    }
    void KillTimer(int id) override { inner->KillTimer(id); }
    void WatchSocket(int fd, SocketFn fn) override { inner->WatchSocket(fd, std::move(fn)); }
    void WatchReadiness(int fd, int events, SocketFn fn) override {
      inner->WatchReadiness(fd, events, std::move(fn));
    }
    void UnwatchSocket(int fd) override { inner->UnwatchSocket(fd); }
    int64_t NowMs() const override { return inner->NowMs(); }
  } counting;
  counting.inner = &loop;
  struct : RecordingFrame {
    int creates = 0;
    std::vector<int> positions;
    void ActivityBarCreate(const CProgressBar& bar) override {
      ++creates;
      positions.push_back(bar.Pos());
    }
    void ActivityBarChanged(const CProgressBar& bar) override { positions.push_back(bar.Pos()); }
  } activity;
  settings.SetInt("Settings", "Timeout", 50);
  LoopbackServer silent(LoopbackServer::NeverAnswer());
  CLinkwardView blinking(settings, activity, counting, dir / "scratch");
  blinking.StartTest(Page("p.htm", Anchor(silent.Url(), "x")), {});
  const std::pair<int, std::vector<int>> afterTick[] = {
      {9, {0}}, {10, {0, 1}}, {19, {0, 1}}, {20, {0, 1, 0}}, {30, {0, 1, 0, 1}}};
  for (const auto& [tick, positions] : afterTick) {
    loop.RunUntil([&] { return counting.ticks == tick || !blinking.IsTestRunning(); });
    EXPECT_EQ(activity.positions, positions) << "after tick " << tick;
  }
  blinking.OnStopTest();
  blinking.StartTest(Page("q.htm", Anchor("http://127.0.0.1:1/", "x")), {});
  blinking.OnStopTest();
  EXPECT_EQ(activity.creates, 1);
}

}  // namespace
