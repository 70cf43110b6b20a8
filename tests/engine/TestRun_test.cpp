// Whole test runs of the results view against servers on loopback.
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ViewFixture.h"
#include "net/SocketWnd.h"
#include "platform/FileSystem.h"
#include "settings/SelectFilesDlg.h"
#include "support/LoopbackServer.h"

namespace {

std::string Local(const LoopbackServer& server, const std::string& path = "/") {
  return "http://127.0.0.1:" + server.PortText() + path;
}

class TestRunTest : public ViewFixture {};

TEST_F(TestRunTest, TwoFileTestLogsRowsAndSummariesExactly) {
  LoopbackServer server([](int) {
    LoopbackServer::Script s;
    s.replyFor = [](const std::string& request) {
      if (request.rfind("GET /ok ", 0) == 0) return std::string("HTTP/1.0 200 OK\r\n\r\n");
      return std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    };
    return s;
  });
  std::string a = Page("a.htm", Anchor(Local(server, "/ok"), "Fine") +
                                    Anchor(Local(server, "/gone"), "Gone page") +
                                    Anchor(Local(server, "/lost"), " \tLost\t "));
  std::string b = Page("b.htm", "<p>no links here</p>");
  Page("c.gif", "GIF89a");

  View().StartTest(a, 0, 1, 1);
  EXPECT_TRUE(View().IsTestRunning());
  EXPECT_FALSE(View().OnUpdateSelectFiles());
  EXPECT_TRUE(View().OnUpdateStopTest());
  RunToEnd();

  EXPECT_EQ(Log(),
            "Start of test <date>\r\n\r\n"
            "Testing: " +
                a +
                "\r\n"
                "Results for " +
                a +
                ": URLs tested: 3. URL errors: 2.\r\n\r\n"
                "Testing: " +
                b +
                "\r\n"
                "Results for " +
                b +
                ": URLs tested: 0. URL errors: 0.\r\n\r\n"
                "End of test: <date>\r\n");
  const CResultRows& rows = View().Rows();
  ASSERT_EQ(rows.GetItemCount(), 2);
  EXPECT_EQ(rows.GetItemText(0, COL_URL), Local(server, "/gone"));
  EXPECT_EQ(rows.GetItemText(0, COL_REASON), "HTTP Code 404 Not Found");
  EXPECT_EQ(rows.GetItemText(0, COL_SITE), "Gone page");
  EXPECT_EQ(rows.GetItemText(0, COL_FILE), a);
  EXPECT_EQ(rows.GetItemText(1, COL_SITE), "Lost");
  EXPECT_EQ(rows.GetItemData(1), 0u);

  EXPECT_EQ(frame.Pane(1), "Search Complete");
  EXPECT_EQ(frame.Pane(2), "");
  EXPECT_EQ(frame.beeps, std::vector<unsigned>{0});
  EXPECT_EQ(frame.progressCreates, 1);
  EXPECT_EQ(frame.progressDestroys, 1);
  EXPECT_EQ(View().ProgressWindow(), nullptr);
  EXPECT_TRUE(View().TestEnded());
  EXPECT_TRUE(View().OnUpdateRepair());
  EXPECT_TRUE(View().OnUpdateSelectFiles());
  EXPECT_FALSE(View().OnUpdateStopTest());
  EXPECT_FALSE(loop.HasTimer(TICK_TIMER_ID));
  EXPECT_FALSE(loop.HasTimer(WAIT_TIMER_ID));
  ASSERT_FALSE(frame.activityPositions.empty());
  EXPECT_EQ(frame.activityPositions.back(), 0);
}

TEST_F(TestRunTest, RequestCarriesHostLineAndPortFromTheLink) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
  std::string page = Page("p.htm", Anchor(Local(server, "/dir/page.html#part"), "x"));
  View().StartTest(page, 0, 0, 0);
  RunToEnd();
  ASSERT_TRUE(server.WaitForRequests(1, 2000));
  EXPECT_EQ(server.Requests()[0],
            "GET /dir/page.html HTTP/1.0\r\nHost: 127.0.0.1:" + server.PortText() + "\r\n\r\n");
  EXPECT_EQ(View().Rows().GetItemCount(), 0);
}

TEST_F(TestRunTest, ProgressWindowFieldsFollowFilesAndLinks) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
  std::string a =
      Page("a.htm", Anchor(Local(server, "/1"), "One") + Anchor(Local(server, "/2"), "Two"));
  std::string b = Page("b.htm", "");
  View().StartTest(a, 0, 1, 0);
  ASSERT_NE(View().ProgressWindow(), nullptr);
  EXPECT_EQ(View().ProgressWindow()->m_strCurrentFile, "");
  EXPECT_EQ(View().ProgressWindow()->m_wndFileBar.Upper(), 2);

  loop.RunOnce();  // first tick: file 1 loaded, its first probe started
  const CProgressDlg* p = View().ProgressWindow();
  EXPECT_EQ(p->m_strCurrentFile, a);
  EXPECT_EQ(p->m_strFileIndex, "1");
  EXPECT_EQ(p->m_strFileTotal, "2");
  EXPECT_EQ(p->m_strCurrentUrl, Local(server, "/1"));
  EXPECT_EQ(p->m_strAnchorText, "One");
  EXPECT_EQ(p->m_strLinkIndex, "1");
  EXPECT_EQ(p->m_strLinkTotal, "2");
  EXPECT_EQ(p->m_wndLinkBar.Upper(), 2);
  EXPECT_EQ(p->m_wndFileBar.Pos(), 0);

  loop.RunUntil([&] { return View().CurrentFile() == b || !View().IsTestRunning(); });
  ASSERT_TRUE(View().IsTestRunning());
  p = View().ProgressWindow();
  EXPECT_EQ(p->m_strFileIndex, "2");
  EXPECT_EQ(p->m_wndFileBar.Pos(), 1);
  EXPECT_EQ(p->m_wndLinkBar.Pos(), 0);
  EXPECT_EQ(p->m_wndLinkBar.Upper(), 2);               // a file without links keeps the old range
  EXPECT_EQ(p->m_strCurrentUrl, Local(server, "/2"));  // and the last link shown
  RunToEnd();
}

TEST_F(TestRunTest, FileThatVanishedBeforeItsTurnIsLoggedWithNoLinks) {
  std::string a = Page("a.htm", "");
  std::string b = Page("b.htm", Anchor("http://127.0.0.1:1/", "x"));
  View().StartTest(a, 0, 1, 0);
  loop.RunOnce();
  ::unlink(b.c_str());
  RunToEnd();
  EXPECT_NE(Log().find("Testing: " + b + "\r\nResults for " + b +
                       ": URLs tested: 0. URL errors: 0.\r\n\r\nEnd of test"),
            std::string::npos)
      << Log();
  EXPECT_EQ(View().Rows().GetItemCount(), 0);
}

TEST_F(TestRunTest, SilentHostTimesOutAfterTheStoredWaitLimit) {
  settings.SetInt("Settings", "Timeout", 1);
  LoopbackServer server(LoopbackServer::NeverAnswer());
  std::string page =
      Page("p.htm", Anchor(Local(server), "Silent") + Anchor("http://127.0.0.1:1/", "Refused"));
  View().StartTest(page, 0, 0, 0);
  RunToEnd();
  ASSERT_EQ(View().Rows().GetItemCount(), 2);
  EXPECT_EQ(View().Rows().GetItemText(0, COL_REASON), "Host Took Too Long to Respond");
  EXPECT_EQ(View().Rows().GetItemText(1, COL_REASON), "Can't Connect to Host");
}

TEST_F(TestRunTest, HostClosingWithoutReplyEndsByTheWaitLimit) {
  settings.SetInt("Settings", "Timeout", 1);
  LoopbackServer server(LoopbackServer::CloseWithoutReply());
  View().StartTest(Page("p.htm", Anchor(Local(server), "x")), 0, 0, 0);
  RunToEnd();
  const auto& panes = frame.paneHistory[1];
  EXPECT_NE(std::find(panes.begin(), panes.end(), "Connection Closed by Host"), panes.end());
  ASSERT_EQ(View().Rows().GetItemCount(), 1);
  EXPECT_EQ(View().Rows().GetItemText(0, COL_REASON), "Host Took Too Long to Respond");
}

TEST_F(TestRunTest, FtpGreetingGivesNoRowButAFailedFtpConnectDoes) {
  LoopbackServer ftp(LoopbackServer::Greet("220 ready\r\n"));
  std::string page =
      Page("p.htm", Anchor("ftp://127.0.0.1:" + ftp.PortText() + "/pub/file", "Files") +
                        Anchor("ftp://127.0.0.1:1/pub/", "Closed"));
  View().StartTest(page, 0, 0, 0);
  RunToEnd();
  ASSERT_EQ(View().Rows().GetItemCount(), 1);
  EXPECT_EQ(View().Rows().GetItemText(0, COL_URL), "ftp://127.0.0.1:1/pub/");
  EXPECT_EQ(View().Rows().GetItemText(0, COL_REASON), "Can't Connect to Host");
  EXPECT_EQ(ftp.Requests().size(), 1u);
  EXPECT_EQ(ftp.Requests()[0], "");  // nothing is sent to an ftp server
}

TEST_F(TestRunTest, ReplyShapesGiveTheirCodes) {
  struct Case {
    std::vector<std::string> segments;
    std::string reason;
  } cases[] = {
      {{"HTTP/1.0 302 Found\r\n\r\n" + std::string(100 * 1024, 'b')},
       "HTTP Code 302 Moved Temporarily"},
      {{"HTTP/1.0 301 Moved", " Permanently\r\n\r\nbody"}, "HTTP Code 301 Moved Permanently"},
      {{"\n\nHTTP/1.0 403 Forbidden\r\n\r\n"}, "HTTP Code 403 Forbidden"},
      {{"\r\n\r\nHTTP/1.0 401 Unauthorized\r\n\r\n"}, "HTTP Code 401 Unauthorized"},
      {{"<html>no status line</html>\r\n"}, UNKNOWN_REASON_TEXT},
      {{"HTTP/1.0 418 Teapot\r\n\r\n"}, UNKNOWN_REASON_TEXT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.segments[0].substr(0, 30));
    LoopbackServer server(LoopbackServer::ReplyInSegments(c.segments, 30));
    view.reset();
    frame = RecordingFrame();
    View().StartTest(Page("p.htm", Anchor(Local(server), "x")), 0, 0, 0);
    RunToEnd();
    ASSERT_EQ(View().Rows().GetItemCount(), 1);
    EXPECT_EQ(View().Rows().GetItemText(0, COL_REASON), c.reason);
    bool unknown = c.reason == UNKNOWN_REASON_TEXT;
    EXPECT_EQ(View().UnclassifiedCode(), unknown);
    EXPECT_EQ(std::count(frame.beeps.begin(), frame.beeps.end(), 48u), unknown ? 1 : 0);
  }
}

TEST_F(TestRunTest, PaneTextsOfAFailedAndASuccessfulProbe) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
  View().StartTest(Page("p.htm", Anchor("http://127.0.0.1:1/", "x") + Anchor(Local(server), "y")),
                   0, 0, 0);
  RunToEnd();
  std::vector<std::string> expected1 = {"Connecting to 127.0.0.1", "Connected to 127.0.0.1",
                                        "No connection",           "Connecting to 127.0.0.1",
                                        "Connected to 127.0.0.1",  "No connection",
                                        "Connection Status",       "Search Complete"};
  EXPECT_EQ(frame.paneHistory[1], expected1);
  std::vector<std::string> expected2 = {
      "", "", "GET method sent to host", "Host Reply Received", "HTTP Method Status", ""};
  EXPECT_EQ(frame.paneHistory[2], expected2);
  EXPECT_EQ(frame.waitCursorDepth, 0);
}

TEST_F(TestRunTest, StopDuringAProbeClosesItWithoutARow) {
  LoopbackServer server(LoopbackServer::NeverAnswer());
  View().StartTest(
      Page("p.htm", Anchor("http://127.0.0.1:1/", "refused") + Anchor(Local(server), "x")), 0, 0,
      0);
  loop.RunUntil([&] { return View().AwaitingReply(); });
  View().OnStopTest();

  EXPECT_EQ(View().Rows().GetItemCount(), 1);  // only the refused link, before the stop
  EXPECT_EQ(View().CurrentSocket(), nullptr);
  EXPECT_EQ(CSocketWnd::InstanceCount(), 0);
  EXPECT_TRUE(Log().size() >= 25 &&
              Log().substr(Log().size() - 25) == "Testing Stopped by User\r\n");
  EXPECT_EQ(Log().find("End of test"), std::string::npos);
  EXPECT_EQ(frame.Pane(1), "Connection Status");
  EXPECT_EQ(frame.Pane(2), "HTTP Method Status");
  EXPECT_TRUE(frame.beeps.empty());
  EXPECT_FALSE(frame.progressShown);
  EXPECT_TRUE(View().OnUpdateSelectFiles());
  EXPECT_FALSE(View().OnUpdateStopTest());
  EXPECT_TRUE(View().OnUpdateRepair());
  EXPECT_FALSE(loop.HasTimer(TICK_TIMER_ID));
  EXPECT_FALSE(loop.HasTimer(WAIT_TIMER_ID));
}

TEST_F(TestRunTest, NoFilesFoundLeavesEverythingAsItWas) {
  View().AddResultText("http://old/", 0);
  frame.log = "old log";
  std::string page = Page("notes.txt", "");
  View().StartTest(page, 1, 0, 0);  // sub-directories without other files: nothing
  ASSERT_EQ(frame.boxes.size(), 1u);
  EXPECT_EQ(frame.boxes[0].text, "No files found.\n\nWas your filter option set correctly?");
  EXPECT_EQ(View().Rows().GetItemCount(), 1);
  EXPECT_EQ(frame.log, "old log");
  EXPECT_EQ(frame.progressCreates, 0);
  EXPECT_FALSE(View().IsTestRunning());
  EXPECT_FALSE(loop.HasTimer(TICK_TIMER_ID));
}

TEST_F(TestRunTest, SelectFilesChecksTheFileThenStoresTheChoices) {
  frame.onSelectFiles = [&](CSelectFilesDlg& dlg) {
    EXPECT_EQ(dlg.m_strPath, "");
    dlg.m_strPath = dir / "missing.htm";
    dlg.m_nAllFiles = 1;
    return IDOK;
  };
  View().OnSelectFiles();
  ASSERT_EQ(frame.boxes.size(), 1u);
  EXPECT_EQ(frame.boxes[0].text, "The chosen file does not exist");
  EXPECT_EQ(settings.GetString("FileSel", "Starter", "unset"), "unset");
  EXPECT_FALSE(View().IsTestRunning());

  std::string page = Page("p.htm", "");
  frame.onSelectFiles = [&](CSelectFilesDlg& dlg) {
    dlg.m_strPath = page;
    dlg.m_nRecurse = 1;
    dlg.m_nAllFiles = 1;
    dlg.m_nFilter = 1;
    return IDOK;
  };
  View().OnSelectFiles();
  EXPECT_TRUE(View().IsTestRunning());
  EXPECT_EQ(settings.GetString("FileSel", "Starter", ""), page);
  EXPECT_EQ(settings.GetInt("FileSel", "Recurse", 0), 1);
  EXPECT_EQ(settings.GetInt("FileSel", "AllFiles", 0), 1);
  EXPECT_EQ(settings.GetInt("FileSel", "Filter", 0), 1);
  RunToEnd();

  // The next dialog starts from the stored choices.
  frame.onSelectFiles = [&](CSelectFilesDlg& dlg) {
    EXPECT_EQ(dlg.m_strPath, page);
    EXPECT_EQ(dlg.m_nRecurse + dlg.m_nAllFiles + dlg.m_nFilter, 3);
    return IDCANCEL;
  };
  View().OnSelectFiles();
  EXPECT_FALSE(View().IsTestRunning());
}

TEST_F(TestRunTest, ActivityBarBlinksOncePerSecond) {
  settings.SetInt("Settings", "Timeout", 50);
  LoopbackServer server(LoopbackServer::NeverAnswer());
  View().StartTest(Page("p.htm", Anchor(Local(server), "x")), 0, 0, 0);
  EXPECT_EQ(frame.activityCreates, 1);
  loop.RunFor(3050);
  // Full after ticks 10 and 30, empty after tick 20.
  std::vector<int> expected = {0, 1, 0, 1};
  EXPECT_EQ(frame.activityPositions, expected);
  View().OnStopTest();
  View().StartTest(Page("q.htm", ""), 0, 0, 0);
  EXPECT_EQ(frame.activityCreates, 1);  // created once for the life of the view
  RunToEnd();
}

}  // namespace

namespace {

TEST_F(TestRunTest, ScratchCopiesGoWithTheView) {
  View().StartTest(Page("p.htm", "<a href=\"http://127.0.0.1:1/\">x</a>"), 0, 0, 0);
  RunToEnd();
  EXPECT_TRUE(fsys::FileExists(View().ScratchPath(2)));
  std::string scratch = View().ScratchPath(2);
  view.reset();
  EXPECT_FALSE(fsys::FileExists(scratch));
}

TEST_F(TestRunTest, ADirectoryIsNotAFileToTest) {
  frame.onSelectFiles = [&](CSelectFilesDlg& dlg) {
    dlg.m_strPath = dir / "site";
    return IDOK;
  };
  View().OnSelectFiles();
  ASSERT_EQ(frame.boxes.size(), 1u);
  EXPECT_EQ(frame.boxes[0].text, "The chosen file does not exist");
  EXPECT_FALSE(View().IsTestRunning());
}

}  // namespace
