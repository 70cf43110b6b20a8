// Whole test runs of the results view against servers on loopback.
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "engine/ViewFixture.h"
#include "net/SocketWnd.h"
#include "platform/FileSystem.h"
#include "settings/SelectFilesDlg.h"

using namespace linkward;

namespace {

using Texts = std::vector<std::string>;
using ::testing::EndsWith;

class TestRunTest : public ViewFixture {};

TEST_F(TestRunTest, TwoFileTestLogsRowsPanesAndSummariesExactly) {
  LoopbackServer server([](int) {
    LoopbackServer::Script s;
    s.replyFor = [](const std::string& request) {
      return std::string(request.rfind("GET /ok ", 0) == 0
                             ? "HTTP/1.0 200 OK\r\n\r\n"
                             : "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    };
    return s;
  });
  std::string a = Page("a.htm", Anchor("http://127.0.0.1:1/", "Refused") +
                                    Anchor(Local(server, "/ok#part"), "Fine") +
                                    Anchor(Local(server, "/gone"), "Gone page") +
                                    Anchor(Local(server, "/lost"), " \tLost\t "));
  std::string b = Page("b.htm", "<p>no links here</p>");
  Page("c.gif", "GIF89a");
  std::string d = Page("d.htm", Anchor("http://127.0.0.1:1/", "x"));  // vanishes before its turn

  View().StartTest(a, {false, true, true});
  EXPECT_TRUE(View().IsTestRunning());
  EXPECT_TRUE(View().OnUpdateStopTest());
  EXPECT_FALSE(View().OnUpdateSelectFiles());
  auto progress = [&] {
    const CProgressDlg* p = View().ProgressWindow();
    if (!p) return std::string("(none)");
    return p->m_strCurrentFile + "|" + p->m_strFileIndex + "/" + p->m_strFileTotal + "|" +
           p->m_strCurrentUrl + "|" + p->m_strAnchorText + "|" + p->m_strLinkIndex + "/" +
           p->m_strLinkTotal + "|" + std::to_string(p->m_wndFileBar.Pos()) + "/" +
           std::to_string(p->m_wndFileBar.Upper()) + "|" + std::to_string(p->m_wndLinkBar.Pos()) +
           "/" + std::to_string(p->m_wndLinkBar.Upper());
  };
  EXPECT_EQ(progress(), "|/|||/|0/3|0/100");
  loop.RunOnce();  // first tick: file 1 loaded, its first probe refused at once
  EXPECT_EQ(progress(), a + "|1/3|http://127.0.0.1:1/|Refused|1/4|0/3|1/4");
  ::unlink(d.c_str());
  loop.RunUntil([&] { return View().CurrentFile() == b || !View().IsTestRunning(); });
  // A file without links keeps the old link range and the last link shown.
  EXPECT_EQ(progress(), b + "|2/3|" + Local(server, "/lost") + "|Lost|4/4|1/3|0/4");
  RunToEnd();

  EXPECT_EQ(Log(), "Start of test <date>\r\n\r\n" + FileLog(a, 4, 3) + FileLog(b, 0, 0) +
                       FileLog(d, 0, 0) + "End of test: <date>\r\n");
  ASSERT_TRUE(server.WaitForRequests(1, 2000));
  EXPECT_EQ(server.Requests()[0],
            "GET /ok HTTP/1.0\r\nHost: 127.0.0.1:" + server.PortText() + "\r\n\r\n");
  const std::string notFound = "|HTTP Code 404 Not Found|";
  EXPECT_EQ(Rows(), (Texts{"http://127.0.0.1:1/|Can't Connect to Host|Refused",
                           Local(server, "/gone") + notFound + "Gone page",
                           Local(server, "/lost") + notFound + "Lost"}));
  EXPECT_EQ(View().Rows().GetItemText(0, COL_FILE), a);
  EXPECT_EQ(View().Rows().GetItemData(1), 0u);
  // Every probe, failed or not, shows the same three connection texts.
  const Texts probe = {"Connecting to 127.0.0.1", "Connected to 127.0.0.1", "No connection"};
  Texts pane1, pane2 = {""};  // the refused probe sends nothing
  for (int i = 0; i < 4; ++i) pane1.insert(pane1.end(), probe.begin(), probe.end());
  pane1.insert(pane1.end(), {"Connection Status", "Search Complete"});
  for (int i = 0; i < 3; ++i)
    pane2.insert(pane2.end(), {"", "GET method sent to host", "Host Reply Received"});
  pane2.insert(pane2.end(), {"HTTP Method Status", ""});
  EXPECT_EQ(frame.paneHistory[1], pane1);
  EXPECT_EQ(frame.paneHistory[2], pane2);
  EXPECT_EQ(frame.waitCursorDepth, 0);
  EXPECT_EQ(frame.beeps, std::vector<unsigned>{0});
  EXPECT_EQ(frame.progressCreates + frame.progressDestroys, 2);
  EXPECT_EQ(View().ProgressWindow(), nullptr);
  EXPECT_TRUE(View().TestEnded());
  ExpectIdle();
  ASSERT_FALSE(frame.activityPositions.empty());
  EXPECT_EQ(frame.activityPositions.back(), 0);
}

TEST_F(TestRunTest, FailedConnectsAndSilentHostsGiveRowsButAnFtpGreetingDoesNot) {
  View().SetWaitLimit(1);
  LoopbackServer silent(LoopbackServer::NeverAnswer());
  LoopbackServer closing(LoopbackServer::CloseWithoutReply());
  LoopbackServer ftp(LoopbackServer::Greet("220 ready\r\n"));
  View().StartTest(
      Page("p.htm", Anchor(Local(silent), "Silent") + Anchor(Local(closing), "Gone") +
                        Anchor("http://127.0.0.1:1/", "Refused") +
                        Anchor("ftp://127.0.0.1:" + ftp.PortText() + "/pub/f", "Files") +
                        Anchor("ftp://127.0.0.1:1/pub/", "Closed")),
      {});
  RunToEnd();
  const std::string late = "|Host Took Too Long to Respond|";
  EXPECT_EQ(Rows(), (Texts{Local(silent) + late + "Silent", Local(closing) + late + "Gone",
                           "http://127.0.0.1:1/|Can't Connect to Host|Refused",
                           "ftp://127.0.0.1:1/pub/|Can't Connect to Host|Closed"}));
  EXPECT_EQ(ftp.Requests(), Texts{""});  // nothing is sent to an ftp server
  const auto& panes = frame.paneHistory[1];
  EXPECT_NE(std::find(panes.begin(), panes.end(), "Connection Closed by Host"), panes.end());
}

TEST_F(TestRunTest, ReplyShapesGiveTheirCodes) {
  // reply segments, reason, the code the row keeps (0: none was read)
  const std::tuple<Texts, std::string, unsigned> cases[] = {
      {{"HTTP/1.0 302 Found\r\n\r\n" + std::string(100 * 1024, 'b')},
       "HTTP Code 302 Moved Temporarily",
       302},
      {{"HTTP/1.0 301 Moved", " Permanently\r\n\r\nbody"}, "HTTP Code 301 Moved Permanently", 301},
      {{"\n\nHTTP/1.0 403 Forbidden\r\n\r\n"}, "HTTP Code 403 Forbidden", 403},
      {{"\r\n\r\nHTTP/1.0 401 Unauthorized\r\n\r\n"}, "HTTP Code 401 Unauthorized", 401},
      {{"<html>no status line</html>\r\n"}, UNKNOWN_REASON_TEXT, 0},
      {{"HTTP/1.0 418 Teapot\r\n\r\n"}, UNKNOWN_REASON_TEXT, 418},
  };
  for (const auto& [segments, reason, code] : cases) {
    SCOPED_TRACE(segments[0].substr(0, 30));
    LoopbackServer server(LoopbackServer::ReplyInSegments(segments, 30));
    Restart();
    View().StartTest(Page("p.htm", Anchor(Local(server), "x")), {});
    RunToEnd();
    EXPECT_EQ(Rows(), Texts{Local(server) + "|" + reason + "|x"});
    EXPECT_EQ(View().Rows().GetItemDetails(0).code, code);
    bool unknown = reason == UNKNOWN_REASON_TEXT;
    EXPECT_EQ(View().UnclassifiedCode(), unknown);
    EXPECT_EQ(std::count(frame.beeps.begin(), frame.beeps.end(), 48u), unknown ? 1 : 0);
  }
}

TEST_F(TestRunTest, StopDuringAProbeClosesItWithoutARow) {
  LoopbackServer server(LoopbackServer::NeverAnswer());
  View().StartTest(
      Page("p.htm", Anchor("http://127.0.0.1:1/", "refused") + Anchor(Local(server), "x")), {});
  loop.RunUntil([&] { return View().AwaitingReply(); });
  View().OnStopTest();

  EXPECT_EQ(View().Rows().GetItemCount(), 1);  // only the refused link, before the stop
  EXPECT_EQ(View().CurrentSocket(), nullptr);
  EXPECT_EQ(CSocketWnd::InstanceCount(), 0);
  EXPECT_THAT(Log(), EndsWith("Testing Stopped by User\r\n"));
  EXPECT_EQ(Log().find("End of test"), std::string::npos);
  EXPECT_EQ(frame.Pane(1) + "|" + frame.Pane(2), "Connection Status|HTTP Method Status");
  EXPECT_TRUE(frame.beeps.empty());
  EXPECT_FALSE(frame.progressShown);
  ExpectIdle();
}

TEST_F(TestRunTest, EndlessReplyIsCutShortAndTheNextLinkIsProbed) {
  LoopbackServer endless(LoopbackServer::ReplyAndStream("HTTP/1.0 404 Not Found\r\n\r\n"));
  // 32 KB arrive at once and stay: a bounded drain leaves most of them unread,
  // so closing resets the connection.
  LoopbackServer large(
      LoopbackServer::ReplyAndHold("HTTP/1.0 200 OK\r\n\r\n" + std::string(32 * 1024, 'x')));
  LoopbackServer silent(LoopbackServer::NeverAnswer());
  View().StartTest(Page("p.htm", Anchor(Local(endless), "Endless") + Anchor(Local(large), "Large") +
                                     Anchor(Local(silent), "Next")),
                   {});
  loop.RunUntil([&] { return View().AwaitingReply() && View().LinkList().size() == 1; });
  EXPECT_EQ(Rows(), Texts{Local(endless) + "|HTTP Code 404 Not Found|Endless"});
  EXPECT_EQ(large.WaitForEnding(0, 10000), "reset");
  View().OnStopTest();
}

TEST_F(TestRunTest, TestThatCannotStartLeavesEverythingAsItWas) {
  const std::string noScratch =
      "The test cannot start: no private scratch directory could be made for the copies of the "
      "pages.\n\nCheck that XDG_RUNTIME_DIR, XDG_CACHE_HOME or your home directory can be "
      "written to.";
  const struct {
    std::string scratchDir;
    bool recurse;
    std::string box;
  } cases[] = {
      {dir / "scratch", 1, "No files found.\n\nWas your filter option set correctly?"},
      {"", 0, noScratch},  // none could be made: never a fixed name in "/"
      {dir / "gone", 0, noScratch},
      {dir.WriteFile("plain", ""), 0, noScratch},
  };
  const std::string page = Page("notes.txt", "<a href=\"http://127.0.0.1:1/\">x</a>");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scratchDir);
    Restart();
    view = std::make_unique<CLinkwardView>(settings, frame, loop, c.scratchDir);
    View().AddResultText("http://old/", RowStep::Url);
    frame.log = "old log";
    // recurse: sub-directories without other files
    View().StartTest(page, {c.recurse, false, false});
    EXPECT_EQ(Boxes(), Texts{c.box});
    EXPECT_EQ(View().Rows().GetItemCount(), 1);
    EXPECT_EQ(frame.log, "old log");
    EXPECT_EQ(frame.progressCreates, 0);
    EXPECT_FALSE(View().IsTestRunning());
    EXPECT_FALSE(loop.HasTimer(TICK_TIMER_ID));
  }
}

TEST_F(TestRunTest, SelectFilesChecksTheFileThenStoresTheChoices) {
  std::string page = Page("p.htm", ""), chosen;
  frame.onSelectFiles = [&](CSelectFilesDlg& dlg) {
    EXPECT_EQ(dlg.m_strPath, "");
    dlg.m_strPath = chosen;
    dlg.m_choices.recurse = dlg.m_choices.allFiles = dlg.m_choices.filter = true;
    return Answer::Ok;
  };
  // Neither a directory nor a fifo is a file; opening the fifo would block.
  const std::string fifo = dir / "site/fifo.htm";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (std::string bad : {dir / "missing.htm", dir / "site", fifo}) {
    chosen = bad;
    frame.boxes.clear();
    View().OnSelectFiles();
    EXPECT_EQ(Boxes(), Texts{"The chosen file does not exist"});
    EXPECT_EQ(settings.GetString("FileSel", "Starter", "unset"), "unset");
    EXPECT_FALSE(View().IsTestRunning());
  }
  chosen = page;
  View().OnSelectFiles();
  EXPECT_TRUE(View().IsTestRunning());
  EXPECT_EQ(settings.GetString("FileSel", "Starter", ""), page);
  for (const char* name : {"Recurse", "AllFiles", "Filter"})
    EXPECT_EQ(settings.GetInt("FileSel", name, 0), 1) << name;
  RunToEnd();

  frame.onSelectFiles = [&](CSelectFilesDlg& dlg) {  // the next dialog starts from them
    EXPECT_EQ(dlg.m_strPath, page);
    EXPECT_EQ(dlg.m_choices.recurse + dlg.m_choices.allFiles + dlg.m_choices.filter, 3);
    return Answer::Cancel;
  };
  View().OnSelectFiles();
  EXPECT_FALSE(View().IsTestRunning());
}

// Passes the view's timers to the fixture's loop and counts the ticks
// delivered, so a test can speak in ticks: a stall of the machine delays
// ticks but cannot make the count wrong.
class TickCountingLoop : public IEventLoop {
 public:
  explicit TickCountingLoop(IEventLoop& loop) : m_loop(loop) {}
  int ticks = 0;

  void SetTimer(int id, int periodMs, TimerFn fn) override {
    m_loop.SetTimer(id, periodMs, [this, fn = std::move(fn)](int timer) {
      if (timer == TICK_TIMER_ID) ++ticks;
      fn(timer);
    });
  }
  void KillTimer(int id) override { m_loop.KillTimer(id); }
  void WatchSocket(int fd, SocketFn fn) override { m_loop.WatchSocket(fd, std::move(fn)); }
  void WatchReadiness(int fd, int events, SocketFn fn) override {
    m_loop.WatchReadiness(fd, events, std::move(fn));
  }
  void UnwatchSocket(int fd) override { m_loop.UnwatchSocket(fd); }
  int64_t NowMs() const override { return m_loop.NowMs(); }

 private:
  IEventLoop& m_loop;
};

TEST_F(TestRunTest, ActivityBarBlinksEveryTenTicksAndScratchCopiesGoWithTheView) {
  settings.SetInt("Settings", "Timeout", 50);
  LoopbackServer server(LoopbackServer::NeverAnswer());
  TickCountingLoop counting(loop);
  {
    CLinkwardView blinking(settings, frame, counting, dir / "scratch");
    blinking.StartTest(Page("p.htm", Anchor(Local(server), "x")), {});
    // The loop delivers one event at a time, so it stops right after the tick named.
    const std::pair<int, std::vector<int>> afterTick[] = {
        {9, {0}}, {10, {0, 1}}, {19, {0, 1}}, {20, {0, 1, 0}}, {29, {0, 1, 0}}, {30, {0, 1, 0, 1}}};
    for (const auto& [tick, positions] : afterTick) {
      loop.RunUntil([&] { return counting.ticks == tick || !blinking.IsTestRunning(); });
      EXPECT_EQ(frame.activityPositions, positions) << "after tick " << tick;
    }
    blinking.OnStopTest();
    blinking.StartTest(Page("q.htm", Anchor("http://127.0.0.1:1/", "x")), {});
    EXPECT_EQ(frame.activityCreates, 1);  // created once for the life of the view
    blinking.OnStopTest();
  }
  frame = RecordingFrame();
  View().StartTest(Page("q.htm", Anchor("http://127.0.0.1:1/", "x")), {});
  RunToEnd();
  std::string scratch = View().ScratchPath(2);
  EXPECT_TRUE(fsys::FileExists(scratch));
  view.reset();
  EXPECT_FALSE(fsys::FileExists(scratch));
}

}  // namespace
