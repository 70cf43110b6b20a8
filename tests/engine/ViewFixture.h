// A results view wired to a scripted frame, a settings store in a scratch
// directory and a poll loop on virtual time, for tests of whole test runs.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "engine/LinkwardView.h"
#include "platform/PollEventLoop.h"
#include "support/HttpTestServer.h"
#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

class ViewFixture : public ::testing::Test {
 protected:
  ViewFixture() : temp(dir.Path()), settings(temp.Store()), loop(true) {
    for (const char* sub : {"scratch", "site"}) ::mkdir((dir / sub).c_str(), 0700);
  }

  CLinkwardView& View() {
    if (!view) view = std::make_unique<CLinkwardView>(settings, frame, loop, dir / "scratch");
    return *view;
  }
  // A new view and frame, as at program start.
  void Restart() {
    view.reset();
    frame = RecordingFrame();
  }
  // Runs the loop until the test has ended (or stopped), at most limitMs of loop time.
  void RunToEnd(int64_t limitMs = 120000) {
    int64_t until = loop.NowMs() + limitMs;
    loop.RunUntil([&] { return !View().IsTestRunning() || loop.NowMs() > until; });
    ASSERT_FALSE(View().IsTestRunning()) << "the test did not end";
  }
  // The log with every date replaced by "<date>".
  std::string Log() const {
    static const std::regex date(
        "[A-Z][a-z]+day, [A-Z][a-z]+ [0-9]{1,2}, [0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2}");
    return std::regex_replace(frame.log, date, "<date>");
  }
  // Writes a file of the site directory and returns its path.
  std::string Page(const std::string& name, const std::string& body) {
    return dir.WriteFile("site/" + name, body);
  }
  // Every row as "url|reason|site".
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    const CResultRows& r = View().Rows();
    for (int i = 0; i < r.GetItemCount(); ++i)
      rows.push_back(r.GetItemText(i, COL_URL) + "|" + r.GetItemText(i, COL_REASON) + "|" +
                     r.GetItemText(i, COL_SITE));
    return rows;
  }
  // The texts of the message boxes shown so far.
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : frame.boxes) texts.push_back(box.text);
    return texts;
  }
  // After a test: the commands are back and no timer is left.
  // {select files, repair, stop, tick timer, wait timer}.
  void ExpectIdle() {
    EXPECT_EQ((std::vector<bool>{View().OnUpdateSelectFiles(), View().OnUpdateRepair(),
                                 View().OnUpdateStopTest(), loop.HasTimer(TICK_TIMER_ID),
                                 loop.HasTimer(WAIT_TIMER_ID)}),
              (std::vector<bool>{true, true, false, false, false}));
  }

  ScratchDir dir;
  TempSettings temp;
  CSettingsStore& settings;
  CPollEventLoop loop;
  RecordingFrame frame;
  std::unique_ptr<CLinkwardView> view;
};

inline std::string Anchor(const std::string& url, const std::string& text) {
  return "<a href=\"" + url + "\">" + text + "</a>\n";
}
// What the log shows for one file.
inline std::string FileLog(const std::string& file, int tested, int errors) {
  return "Testing: " + file + "\r\nResults for " + file +
         ": URLs tested: " + std::to_string(tested) + ". URL errors: " + std::to_string(errors) +
         ".\r\n\r\n";
}
