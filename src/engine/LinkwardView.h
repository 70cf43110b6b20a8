// CLinkwardView: the core of the results view. It owns all engine state (the
// file, link and anchor text lists, the counters, the outcome table, the
// report filter mask, the wait limit, the two timers, the current socket, the
// progress window), the result rows and their marks, and runs the commands
// Select File(s), Stop Test, Preferences, Export and Repair.
//
// Threading: everything runs on the event loop's thread. The face shows what
// the view reports through IFrame and calls the commands.
#pragma once

#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "check/FullCheck.h"
#include "check/SiteCrawl.h"
#include "engine/FileDiscovery.h"
#include "engine/Frame.h"
#include "engine/UrlSplit.h"
#include "platform/EventLoop.h"
#include "repair/RepairFiles.h"
#include "repair/RepairPass.h"
#include "results/OutcomeTable.h"
#include "results/ProgressDlg.h"
#include "results/ReportWriter.h"
#include "results/ResultRows.h"
#include "settings/TestChoices.h"

namespace linkward {

class CSettingsStore;
class CSocketWnd;

constexpr int TICK_TIMER_ID = 103;
constexpr int TICK_TIMER_MS = 100;
constexpr int WAIT_TIMER_ID = 105;
constexpr size_t REPLY_BUFFER_SIZE = 514;
constexpr int REPLY_READ_SIZE = 512;
// After the first read, at most this many blocks of REPLY_READ_SIZE are
// drained and discarded before the socket is closed.
constexpr int REPLY_DRAIN_BLOCKS = 32;
// The wait limit, seconds: a stored value outside the range is replaced.
constexpr int DEFAULT_WAIT_SECONDS = 15;
constexpr int MIN_WAIT_SECONDS = 5;
constexpr int MAX_WAIT_SECONDS = 50;
constexpr const char* NO_SCRATCH_DIR_TEXT =
    "The test cannot start: no private scratch directory could be made for the copies of "
    "the pages.\n\nCheck that XDG_RUNTIME_DIR, XDG_CACHE_HOME or your home directory "
    "can be written to.";

constexpr const char* CRAWL_REPAIR_TEXT =
    "Crawled pages cannot be repaired: they are served by a web server, not read from files "
    "here. Check a local copy of the site to repair its links.";

// The three calls of AddResultText that make one result row.
enum class RowStep : int {
  Url = 0,     // adds the row, with its URL
  Reason = 1,  // the last row's Reason
  Site = 2,    // the last row's Site Name, and the current file as its File Name
};

class CLinkwardView {
 public:
  // scratchDir: where the link extraction's scratch copies live; a test does
  // not start without it ("" when none could be made).
  CLinkwardView(CSettingsStore& settings, IFrame& frame, IEventLoop& loop, std::string scratchDir);
  ~CLinkwardView();
  CLinkwardView(const CLinkwardView&) = delete;
  CLinkwardView& operator=(const CLinkwardView&) = delete;

  // Commands and their availability.
  void OnSelectFiles();
  bool OnUpdateSelectFiles() const { return !IsTestRunning(); }
  void OnStopTest();
  bool OnUpdateStopTest() const { return IsTestRunning(); }
  void OnPreferences();
  void OnExport();
  bool OnUpdateExport() const { return m_rows.GetItemCount() > 0; }
  // Whether the last Export wrote its report in full (false after a cancel,
  // a replace question answered No or a write error).
  bool ReportWritten() const { return m_bReportWritten; }
  void OnRepair();
  bool OnUpdateRepair() const { return m_bTestEnded; }

  // The test run: the standard test, or the full check when full.enabled.
  // The first form takes the full check's choices set last (off by default).
  void StartTest(std::string path, TestChoices choices);
  void StartTest(std::string path, TestChoices choices, const FullCheckOptions& full);
  void SetFullCheckOptions(FullCheckOptions options) { m_fullOptions = std::move(options); }
  const FullCheckOptions& GetFullCheckOptions() const { return m_fullOptions; }
  // The full check of an http(s) address crawls the site with these choices.
  void SetCrawlOptions(CrawlOptions options) { m_crawlOptions = std::move(options); }
  // What judges the full check's remote links; by default a CHttpChecker.
  void SetRemoteCheckerFactory(RemoteCheckerFactory factory) {
    m_remoteFactory = std::move(factory);
  }
  // The full check has listed its last file.
  void OnFullCheckEnded();
  // Whether the full check adds each row as soon as it is judged (at its
  // place in file order) instead of a file's rows once the file is done.
  void SetRowsAsJudged(bool on) { m_bRowsAsJudged = on; }
  bool RowsAsJudged() const { return m_bRowsAsJudged; }

  // Outcomes and the report filter.
  std::string ReasonText(unsigned code);
  const std::string& OutcomeText(int kind) const { return m_strOutcomes[kind]; }
  std::string& FilterMask() { return m_strFilterMask; }
  const std::string& FilterMask() const { return m_strFilterMask; }
  int WaitLimitSeconds() const { return m_nWaitSeconds; }
  void SetWaitLimit(int seconds);

  // Results and log.
  void AppendLog(const std::string& text);
  void AddResultText(const std::string& text, RowStep step);
  CResultRows& Rows() { return m_rows; }
  const CResultRows& Rows() const { return m_rows; }

  // Export.
  // The report of format (the "XportSel"/"Text" value) into file.
  void WriteReport(std::FILE* file, ExportFormat format);
  void WriteTextReport(std::FILE* file);
  void WriteHtmlReport(std::FILE* file);
  // How the text and HTML reports of a full check list the rows.
  void SetReportGroup(ReportGroup group) { m_reportGroup = group; }

  // Repair. The pass itself lives in repair/ (RunRepairPass); these are its
  // faces on the view.
  void RepairLinks();
  // fn is asked before each file of a repair pass; when it answers true the
  // pass finishes the file in hand and stops (Ctrl-C in the terminal face).
  void SetCancelCheck(std::function<bool()> fn) { m_fnCancelCheck = std::move(fn); }
  // How the last repair pass ended.
  RepairEnd LastRepairEnd() const { return m_nLastRepairEnd; }
  // Files of the walk named in the log as not tested (unreadable, a path
  // too long, a failed scratch copy) in the last test.
  int NotTestedCount() const { return m_nNotTested; }
  // Leaves the repair's backups and copies (".rep", ".t~p") out of the walk.
  void SetLeaveOutRepairByproducts(bool leaveOut) { m_bLeaveOutByproducts = leaveOut; }

  // State, for faces and tests.
  bool IsTestRunning() const {
    return m_bTickTimer || (m_pFullCheck && m_pFullCheck->Running()) ||
           (m_pSiteCrawl && m_pSiteCrawl->Running());
  }
  const CSiteCrawl* SiteCrawl() const { return m_pSiteCrawl.get(); }
  const CFullCheck* FullCheck() const { return m_pFullCheck.get(); }
  bool UnclassifiedCode() const { return m_bUnclassified; }
  const CProgressDlg* ProgressWindow() const { return m_pProgress.get(); }
  CProgressDlg* Progress() { return m_pProgress.get(); }
  const StringList& LinkList() const { return m_links; }
  const std::string& CurrentFile() const { return m_strCurrentFile; }
  bool AwaitingReply() const { return m_bAwaitingReply; }
  std::string ScratchPath(int digit) const;
  CSettingsStore& Settings() { return m_settings; }
  IFrame& Frame() { return m_frame; }

 private:
  // The standard test, tick by tick: the timers, the next link or file, the
  // reply, the end of a link, and the reset at the end or Stop.
  void OnTimer(int id);
  void Advance();
  void ProbeNextLink();
  void OnReply();
  void FinishLink(unsigned code);
  void ResetRun(bool withStatusTexts);

  // Discovery and extraction.
  void AddDirectoryTree(const std::string& directory, bool filter);
  void ExtractLinks(const std::string& path);

  // The probe.
  std::string HostFromUrl(const std::string& url) const;
  std::string PathFromUrl(const std::string& url) const;
  unsigned ProbeLink(const std::string& link);
  void OpenSocket();
  void CloseSocket();
  int OnSocketNotify(int fd, int event, int error);
  bool IsReported(unsigned code) const;

  void LoadFilterMask();
  // The stored wait limit, replaced by the default (and stored) when it is
  // outside MIN_WAIT_SECONDS..MAX_WAIT_SECONDS.
  void LoadWaitLimit();
  // The full check's stored choices ("Settings": "FullTransfers",
  // "FullPerHost", "SkipLinks", "UserAgent") into m_fullOptions; values out of range
  // read as their defaults.
  void LoadFullCheckOptions();
  void LogFileSummary();
  // Ends the link at the head of the lists: reports code when classify is
  // true and the filter selects it, steps the link bar, closes the socket and
  // stops the wait timer.
  void EndHeadLink(bool classify, unsigned code);
  void KillTimers();
  void ShowProgress();
  // The owner, date and, after a full check, its class, targets and totals.
  ReportContext RunReportContext() const;

  CSettingsStore& m_settings;
  IFrame& m_frame;
  IEventLoop& m_loop;
  std::string m_strScratchDir;

  // Engine state, in the designed order.
  Scheme m_nScheme = Scheme::Http;
  int m_nLinkCount = 0;
  int m_nFileCount = 0;
  bool m_bUnclassified = false;
  std::unique_ptr<CProgressDlg> m_pProgress;
  std::unique_ptr<CSocketWnd> m_pSocket;
  StringList m_files;
  StringList m_links;
  StringList m_anchors;
  bool m_bAwaitingReply = false;
  std::string m_strCurrentFile;
  CRepairFiles m_repair;
  std::function<bool()> m_fnCancelCheck;
  RepairEnd m_nLastRepairEnd = RepairEnd::Completed;
  int m_nNotTested = 0;
  StringList m_extractNotes;  // for the log, after the file's "Testing:" line
  bool m_bLeaveOutByproducts = false;
  std::array<char, REPLY_BUFFER_SIZE> m_replyBuffer{};
  int m_nErrorCount = -1;
  bool m_bTestEnded = false;
  CProgressBar m_activityBar;
  int m_nActivityCounter = 0;
  bool m_bTickTimer = false;
  bool m_bActivityBar = false;
  bool m_bWaitTimer = false;
  std::array<std::string, OUTCOME_KINDS> m_strOutcomes;
  std::string m_strFilterMask;
  int m_nWaitSeconds = 15;
  int m_nWaitMs = 15000;
  int64_t m_nWaitDeadline = 0;  // loop time at which the current probe's wait limit runs out

  bool m_bReportWritten = false;
  ReportGroup m_reportGroup = ReportGroup::Page;

  CResultRows m_rows;

  FullCheckOptions m_fullOptions;
  RemoteCheckerFactory m_remoteFactory;
  std::unique_ptr<IFullCheckHost> m_pFullCheckHost;  // outlives m_pFullCheck
  std::unique_ptr<CFullCheck> m_pFullCheck;
  CrawlOptions m_crawlOptions;
  std::unique_ptr<CSiteCrawl> m_pSiteCrawl;  // the full check of a site's address
  void StartCrawl(const std::string& url, const HttpCheckOptions& http,
                  std::unique_ptr<IRemoteChecker> remote, CSkipList skip);
  bool m_bRowsAsJudged = false;
};

}  // namespace linkward
