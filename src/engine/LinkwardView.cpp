#include "engine/LinkwardView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "check/RemoteLayers.h"
#include "engine/LinkExtractor.h"
#include "engine/UrlSplit.h"
#include "net/SocketWnd.h"
#include "platform/FileSystem.h"
#include "platform/LocalTime.h"
#include "settings/PreferencesDlg.h"
#include "settings/SelectFilesDlg.h"
#include "settings/SettingsStore.h"

namespace linkward {

namespace {

// The status code of a reply's first line: skip white space, skip the first
// word (the protocol), skip white space, read an unsigned decimal number.
// A reply without such a number gives 0, which no outcome kind has.
unsigned ScanStatusCode(const char* text) {
  const char* p = text;
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  while (*p && !std::isspace(static_cast<unsigned char>(*p))) ++p;
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return 0;
  unsigned long long code = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    code = code * 10 + static_cast<unsigned>(*p - '0');
    if (code > UINT_MAX) return UINT_MAX;
    ++p;
  }
  return static_cast<unsigned>(code);
}

// Ends the text after the line feed of its first non-empty line. A line that
// holds only a carriage return counts as empty, since "\r\n" is one line end.
void CutAtFirstLine(char* text) {
  char* line = text;
  for (char* lf = std::strchr(line, '\n'); lf != nullptr; lf = std::strchr(line, '\n')) {
    bool empty = lf == line || (lf == line + 1 && *line == '\r');
    if (!empty) {
      lf[1] = '\0';
      return;
    }
    line = lf + 1;
  }
}

// The full check's host: the view's rows, log, panes and progress window.
class ViewFullCheckHost final : public IFullCheckHost {
 public:
  explicit ViewFullCheckHost(CLinkwardView& view) : m_view(view) {}
  CResultRows& Rows() override { return m_view.Rows(); }
  const std::string& FilterMask() const override { return m_view.FilterMask(); }
  void AppendLog(const std::string& text) override { m_view.AppendLog(text); }
  void SetPaneText(int pane, const std::string& text) override {
    m_view.Frame().SetPaneText(pane, text);
  }
  void CommandStateChanged() override { m_view.Frame().CommandStateChanged(); }
  CProgressDlg* Progress() override { return m_view.Progress(); }
  void ProgressUpdate(const CProgressDlg& dlg) override { m_view.Frame().ProgressUpdate(dlg); }
  void OnFullCheckEnded() override { m_view.OnFullCheckEnded(); }
  bool RowsAsJudged() const override { return m_view.RowsAsJudged(); }

 private:
  CLinkwardView& m_view;
};

}  // namespace

CLinkwardView::CLinkwardView(CSettingsStore& settings, IFrame& frame, IEventLoop& loop,
                             std::string scratchDir)
    : m_settings(settings),
      m_frame(frame),
      m_loop(loop),
      m_strScratchDir(std::move(scratchDir)),
      m_repair(frame),
      m_rows(&frame),
      m_pFullCheckHost(std::make_unique<ViewFullCheckHost>(*this)) {
  for (int kind = 0; kind < OUTCOME_KINDS; ++kind)
    m_strOutcomes[kind] = linkward::OutcomeText(kind);
  LoadFilterMask();
  LoadWaitLimit();
  LoadFullCheckOptions();
}

CLinkwardView::~CLinkwardView() {
  m_pFullCheck.reset();
  m_pSiteCrawl.reset();
  KillTimers();
  ResetRun(false);
  m_repair.CloseAll();
  if (m_strScratchDir.empty()) return;  // no scratch directory: no copies were made
  for (int digit = 0; digit <= 3; ++digit) {
    std::string path = ScratchPath(digit);
    if (std::FILE* f = std::fopen(path.c_str(), "r")) {
      std::fclose(f);
      fsys::DeleteFile(path);
    }
  }
}

std::string CLinkwardView::ScratchPath(int digit) const {
  std::string path = m_strScratchDir + "/urltmp~";
  if (digit > 0) path += static_cast<char>('0' + digit);
  return path;
}

void CLinkwardView::LoadFilterMask() {
  m_strFilterMask = m_settings.GetString("Settings", "Filter", DEFAULT_FILTER_MASK);
  if (m_strFilterMask.size() != OUTCOME_KINDS) {
    if (m_frame.MessageBox("Setting Filter Codes to Safe Default", BoxStyle::Ok) == Answer::Ok) {
      m_strFilterMask = DEFAULT_FILTER_MASK;
      m_settings.SetString("Settings", "Filter", m_strFilterMask);
    }
  }
}

void CLinkwardView::LoadWaitLimit() {
  int seconds = m_settings.GetInt("Settings", "Timeout", DEFAULT_WAIT_SECONDS);
  // 0, a negative number or an overflowing one would end every probe at once.
  if (seconds < MIN_WAIT_SECONDS || seconds > MAX_WAIT_SECONDS) {
    seconds = DEFAULT_WAIT_SECONDS;
    m_settings.SetInt("Settings", "Timeout", seconds);
  }
  SetWaitLimit(seconds);
}

void CLinkwardView::LoadFullCheckOptions() {
  auto stored = [this](const char* name, int low, int high, int def) {
    int value = m_settings.GetInt("Settings", name, def);
    return value < low || value > high ? def : value;
  };
  m_fullOptions.maxTransfers =
      stored("FullTransfers", CPreferencesDlg::MIN_TRANSFERS, CPreferencesDlg::MAX_TRANSFERS,
             CPreferencesDlg::DEFAULT_TRANSFERS);
  m_fullOptions.maxPerHost =
      stored("FullPerHost", CPreferencesDlg::MIN_PER_HOST, CPreferencesDlg::MAX_PER_HOST,
             CPreferencesDlg::DEFAULT_PER_HOST);
  m_fullOptions.skipPatterns =
      SplitPatternLines(m_settings.GetLongString("Settings", "SkipLinks", ""));
  m_fullOptions.userAgent = m_settings.GetString("Settings", "UserAgent", "");
  if (!CPreferencesDlg::UserAgentAllowed(m_fullOptions.userAgent)) m_fullOptions.userAgent.clear();
  m_fullOptions.siteUrl = m_settings.GetString("Settings", "SiteUrl", "");
  if (!CPreferencesDlg::SiteUrlAllowed(m_fullOptions.siteUrl)) m_fullOptions.siteUrl.clear();
  m_fullOptions.checkFragments = m_settings.GetInt("Settings", "CheckFragments", 0) != 0;
  m_fullOptions.useHistory = true;
  m_fullOptions.archiveEndpoint = m_settings.GetString("Settings", "ArchiveEndpoint", "");
}

void CLinkwardView::SetWaitLimit(int seconds) {
  m_nWaitSeconds = seconds;
  m_nWaitMs = seconds * 1000;
}

bool CLinkwardView::IsReported(unsigned code) const {
  return MaskSelects(m_strFilterMask, code);
}

std::string CLinkwardView::ReasonText(unsigned code) {
  int kind = OutcomeKind(code);
  if (kind >= 0) return m_strOutcomes[kind];
  m_bUnclassified = true;
  m_frame.MessageBeep(BoxStyle::IconExclamation);
  return UNKNOWN_REASON_TEXT;
}

// ---------------------------------------------------------------------------
// Results and log

void CLinkwardView::AppendLog(const std::string& text) {
  m_frame.LogAppend(text + "\r\n");
}

void CLinkwardView::AddResultText(const std::string& text, RowStep step) {
  int count = m_rows.GetItemCount();
  switch (step) {
    case RowStep::Url:
      m_rows.InsertItem(count, text);
      if (count == 0) m_frame.CommandStateChanged();
      break;
    case RowStep::Reason:
      if (count > 0) m_rows.SetItemText(count - 1, COL_REASON, text);
      break;
    case RowStep::Site:
      if (count > 0) {
        m_rows.SetItemText(count - 1, COL_SITE, text);
        m_rows.SetItemText(count - 1, COL_FILE, m_strCurrentFile);
      }
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Select File(s), start, ticks, end, Stop

void CLinkwardView::OnSelectFiles() {
  CSelectFilesDlg dlg(m_settings, m_frame);
  dlg.m_strPath = m_settings.GetString("FileSel", "Starter", "");
  dlg.m_choices.recurse = m_settings.GetInt("FileSel", "Recurse", 0) != 0;
  dlg.m_choices.allFiles = m_settings.GetInt("FileSel", "AllFiles", 0) != 0;
  dlg.m_choices.filter = m_settings.GetInt("FileSel", "Filter", 0) != 0;
  dlg.m_bFullCheck = m_settings.GetInt("FileSel", "FullCheck", 0) != 0;
  if (m_frame.DoModal(dlg) != Answer::Ok) return;

  // Only a regular file that opens for reading is a file to test. A
  // directory, a fifo or a device is refused before it is opened: opening a
  // fifo would wait for a writer.
  // The full check of an http(s) address crawls the site instead.
  const bool crawl = dlg.m_bFullCheck && IsCrawlAddress(dlg.m_strPath);
  struct stat st;
  bool isFile = ::stat(dlg.m_strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  std::FILE* f = isFile ? std::fopen(dlg.m_strPath.c_str(), "rb") : nullptr;
  if (f) std::fclose(f);
  if (!f && !crawl) {
    m_frame.MessageBox("The chosen file does not exist", BoxStyle::Ok);
    return;
  }
  m_settings.SetString("FileSel", "Starter", dlg.m_strPath);
  m_settings.SetInt("FileSel", "Recurse", dlg.m_choices.recurse ? 1 : 0);
  m_settings.SetInt("FileSel", "AllFiles", dlg.m_choices.allFiles ? 1 : 0);
  m_settings.SetInt("FileSel", "Filter", dlg.m_choices.filter ? 1 : 0);
  m_settings.SetInt("FileSel", "FullCheck", dlg.m_bFullCheck ? 1 : 0);
  FullCheckOptions full = m_fullOptions;
  full.enabled = dlg.m_bFullCheck;
  StartTest(dlg.m_strPath, dlg.m_choices, full);
}

void CLinkwardView::StartTest(std::string path, TestChoices choices) {
  StartTest(std::move(path), choices, m_fullOptions);
}

void CLinkwardView::StartTest(std::string path, TestChoices choices, const FullCheckOptions& full) {
  const bool crawl = full.enabled && IsCrawlAddress(path);
  StringList files;
  StringList problems;  // directories and paths the walk could not take: logged below
  if (!crawl) {
    BuildFileList(files, path, choices, &problems);
    if (m_bLeaveOutByproducts) std::erase_if(files, IsRepairByproduct);
  }
  m_nFileCount = crawl ? 1 : static_cast<int>(files.size());
  if (m_nFileCount == 0) {
    m_frame.MessageBox("No files found.\n\nWas your filter option set correctly?", BoxStyle::Ok);
    return;
  }
  // Link extraction needs the private scratch directory; without one every
  // file would seem to hold no links.
  struct stat st;
  if (m_strScratchDir.empty() || ::stat(m_strScratchDir.c_str(), &st) != 0 ||
      !S_ISDIR(st.st_mode) || ::access(m_strScratchDir.c_str(), W_OK | X_OK) != 0) {
    m_frame.MessageBox(NO_SCRATCH_DIR_TEXT, BoxStyle::Ok | BoxStyle::IconExclamation);
    return;
  }
  CSkipList skip;
  std::string badPattern;
  if (full.enabled && !skip.Compile(full.skipPatterns, &badPattern)) {
    // Only an edited store can hold one: Preferences and the terminal face
    // refuse them.
    m_frame.MessageBox(
        "Skip links matching: \"" + badPattern + "\" is not a valid regular expression.",
        BoxStyle::Ok | BoxStyle::IconExclamation);
    return;
  }
  m_files = std::move(files);

  m_pProgress = std::make_unique<CProgressDlg>();
  m_pProgress->m_wndFileBar.SetRange(0, m_nFileCount);
  m_pProgress->m_wndFileBar.SetStep(1);
  m_frame.ProgressCreate(*m_pProgress);

  m_nErrorCount = -1;
  m_bTestEnded = false;
  m_bUnclassified = false;

  if (!m_bActivityBar) {
    m_activityBar.SetRange(0, 1);
    m_activityBar.SetStep(1);
    m_nActivityCounter = 0;
    m_bActivityBar = true;
    m_frame.ActivityBarCreate(m_activityBar);
  }

  m_frame.LogClear();
  m_rows.DeleteAllItems();
  AppendLog("Start of test " + NowLongDateTime() + "\r\n");
  m_nNotTested = static_cast<int>(problems.size());
  for (const std::string& problem : problems) AppendLog(problem);

  m_pFullCheck.reset();  // the reports tell which test the rows come from
  m_pSiteCrawl.reset();
  if (full.enabled) {
    HttpCheckOptions http;
    http.timeoutMs = m_nWaitMs;
    http.maxTransfers = full.maxTransfers;
    http.maxPerHost = full.maxPerHost;
    http.caFile = full.caFile;
    http.userAgent = full.userAgent;
    http.maxWaitMs = full.maxWaitMs;
    http.acceptCodes = full.acceptCodes;
    http.hostRules = full.hostRules;
    std::unique_ptr<IRemoteChecker> remote = m_remoteFactory
                                                 ? m_remoteFactory(m_loop, http)
                                                 : std::make_unique<CHttpChecker>(m_loop, http);
    std::function<RemoteNotes(const std::string&)> notes;
    remote = AddRemoteLayers(
        m_loop, std::move(remote), full, m_nWaitMs,
        [this](const std::string& text) { AppendLog(text); }, &notes);
    if (crawl) {
      StartCrawl(path, http, std::move(remote), std::move(skip));
      return;
    }
    std::string root = full.root.empty() ? DirectoryOfPath(path) : full.root;
    m_pFullCheck = std::make_unique<CFullCheck>(*m_pFullCheckHost, m_loop, std::move(m_files), root,
                                                std::move(remote));
    m_files.clear();
    m_pFullCheck->SetSkipList(std::move(skip));
    if (notes) m_pFullCheck->SetRemoteNotes(std::move(notes));
    auto fetcher = full.checkFragments ? std::make_unique<CFragmentReader>(m_loop, http) : nullptr;
    if (!m_pFullCheck->SetSite(full, std::move(fetcher)) || !m_pFullCheck->Start()) {
      m_pFullCheck.reset();
      ResetRun(true);
      m_frame.MessageBox("The full check could not be started", BoxStyle::Ok);
    }
    m_frame.CommandStateChanged();
    return;
  }

  m_loop.SetTimer(TICK_TIMER_ID, TICK_TIMER_MS, [this](int id) { OnTimer(id); });
  m_bTickTimer = true;
  m_frame.CommandStateChanged();
}

void CLinkwardView::OnTimer(int id) {
  if (id == TICK_TIMER_ID) {
    Advance();
  } else if (id == WAIT_TIMER_ID) {
    m_loop.KillTimer(WAIT_TIMER_ID);
    m_bWaitTimer = false;
    FinishLink(SOCKET_ERROR_TIMEOUT);
  }
}

void CLinkwardView::ShowProgress() {
  if (m_pProgress) m_frame.ProgressUpdate(*m_pProgress);
}

void CLinkwardView::LogFileSummary() {
  char line[64];
  std::snprintf(line, sizeof line, ": URLs tested: %d. URL errors: %d.\r\n", m_nLinkCount,
                m_nErrorCount);
  AppendLog("Results for " + m_strCurrentFile + line);
}

void CLinkwardView::Advance() {
  if (m_bActivityBar) {
    bool changed = false;
    if (++m_nActivityCounter == 10) {
      m_activityBar.StepIt();
      m_nActivityCounter = -10;
      changed = true;
    }
    if (m_nActivityCounter == 0) {
      m_activityBar.SetPos(0);
      changed = true;
    }
    if (changed) m_frame.ActivityBarChanged(m_activityBar);
  }

  if (m_pSocket || m_bAwaitingReply) return;

  if (!m_links.empty()) {
    ProbeNextLink();
    return;
  }

  if (!m_files.empty()) {
    if (m_nErrorCount != -1) LogFileSummary();
    m_strCurrentFile = m_files.front();
    if (m_pProgress) {
      m_pProgress->m_strCurrentFile = m_strCurrentFile;
      m_pProgress->m_strFileIndex =
          std::to_string(m_nFileCount - static_cast<int>(m_files.size()) + 1);
      m_pProgress->m_strFileTotal = std::to_string(m_nFileCount);
      if (m_nErrorCount != -1) {
        m_pProgress->m_wndFileBar.StepIt();
        m_pProgress->m_wndLinkBar.SetPos(0);
      }
      ShowProgress();
    }
    m_nErrorCount = 0;
    ExtractLinks(m_strCurrentFile);
    AppendLog("Testing: " + m_strCurrentFile);
    for (const std::string& note : m_extractNotes) AppendLog(note);
    m_files.pop_front();
    if (!m_links.empty()) {
      if (m_pProgress) {
        m_pProgress->m_wndLinkBar.SetRange(0, static_cast<int>(m_links.size()));
        m_pProgress->m_wndLinkBar.SetStep(1);
        ShowProgress();
      }
      ProbeNextLink();
    }
    return;
  }

  // Both lists are empty: the test has ended.
  KillTimers();
  ResetRun(true);
  LogFileSummary();
  AppendLog("End of test: " + NowLongDateTime());
  m_frame.SetPaneText(1, "Search Complete");
  m_frame.SetPaneText(2, "");
  m_frame.MessageBeep(BoxStyle::Ok);
  m_frame.CommandStateChanged();
}

void CLinkwardView::KillTimers() {
  if (m_bTickTimer) {
    m_loop.KillTimer(TICK_TIMER_ID);
    m_bTickTimer = false;
  }
  if (m_bWaitTimer) {
    m_loop.KillTimer(WAIT_TIMER_ID);
    m_bWaitTimer = false;
  }
}

void CLinkwardView::OnFullCheckEnded() {
  ResetRun(true);
  AppendLog("End of test: " + NowLongDateTime());
  m_frame.SetPaneText(1, "Search Complete");
  m_frame.SetPaneText(2, "");
  m_frame.MessageBeep(BoxStyle::Ok);
  m_frame.CommandStateChanged();
}

void CLinkwardView::OnStopTest() {
  if (m_pFullCheck) m_pFullCheck->Stop();
  if (m_pSiteCrawl) m_pSiteCrawl->Stop();
  KillTimers();
  ResetRun(true);
  AppendLog("Testing Stopped by User");
  m_frame.CommandStateChanged();
}

void CLinkwardView::ResetRun(bool withStatusTexts) {
  if (m_pFullCheck && m_pFullCheck->Running()) m_pFullCheck->Stop();
  if (m_pSiteCrawl && m_pSiteCrawl->Running()) m_pSiteCrawl->Stop();
  if (m_pSocket) {
    m_pSocket->Close();
    m_pSocket.reset();
  }
  m_files.clear();
  m_links.clear();
  m_anchors.clear();
  if (m_pProgress) {
    m_frame.ProgressDestroy();
    m_pProgress.reset();
  }
  m_bTestEnded = true;
  if (m_bActivityBar) {
    m_activityBar.SetPos(0);
    m_frame.ActivityBarChanged(m_activityBar);
  }
  m_bAwaitingReply = false;
  if (withStatusTexts) {
    m_frame.SetPaneText(1, "Connection Status");
    m_frame.SetPaneText(2, "HTTP Method Status");
  }
}

// ---------------------------------------------------------------------------
// Links: extraction, probe start, reply, failure

void CLinkwardView::AddDirectoryTree(const std::string& directory, bool filter) {
  linkward::AddDirectoryTree(m_files, directory, filter);
}

void CLinkwardView::ExtractLinks(const std::string& path) {
  // A file that cannot be read, or whose scratch copy fails, is not passed
  // off as a file without bad links; nor is a link too long to be read.
  m_extractNotes.clear();
  StringList skipped;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) {  // a file gone meanwhile has nothing left to test
      m_extractNotes.push_back("Cannot read " + path + ": " + std::strerror(errno));
      ++m_nNotTested;
    }
  } else {
    ::close(fd);
    if (!ExtractLinksToLists(path, ScratchPath(2), m_links, m_anchors, &skipped)) {
      m_extractNotes.push_back("The links of " + path + " were not tested: its scratch copy " +
                               "failed (" + std::strerror(errno) + ")");
      ++m_nNotTested;
    }
  }
  for (const std::string& start : skipped)
    m_extractNotes.push_back("Not tested in " + path + ", too long to read: " + start + "...");
  m_nLinkCount = static_cast<int>(m_links.size());
}

void CLinkwardView::ProbeNextLink() {
  const std::string link = m_links.front();
  char first =
      link.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(link[0])));
  if (first == 'H') {
    m_nScheme = Scheme::Http;
  } else if (first == 'F') {
    m_nScheme = Scheme::Ftp;
  }
  if (m_pProgress) {
    m_pProgress->m_strCurrentUrl = link;
    m_pProgress->m_strAnchorText = m_anchors.empty() ? std::string() : m_anchors.front();
    m_pProgress->m_strLinkIndex =
        std::to_string(m_nLinkCount - static_cast<int>(m_links.size()) + 1);
    m_pProgress->m_strLinkTotal = std::to_string(m_nLinkCount);
    ShowProgress();
  }
  m_bWaitTimer = true;
  m_loop.SetTimer(WAIT_TIMER_ID, m_nWaitMs, [this](int id) { OnTimer(id); });
  m_nWaitDeadline = m_loop.NowMs() + m_nWaitMs;

  unsigned result = ProbeLink(link);
  if (result >= 10000) {
    FinishLink(result);
  } else {
    m_bAwaitingReply = true;
  }
}

void CLinkwardView::OnReply() {
  if (!m_bAwaitingReply) return;
  m_bAwaitingReply = false;
  unsigned code = ScanStatusCode(m_replyBuffer.data());
  // An ftp link that got its greeting is done without an outcome.
  EndHeadLink(m_nScheme == Scheme::Http, code);
}

void CLinkwardView::FinishLink(unsigned code) {
  EndHeadLink(true, code);
  m_bAwaitingReply = false;
}

void CLinkwardView::EndHeadLink(bool classify, unsigned code) {
  if (!m_links.empty()) {
    if (classify && IsReported(code)) {
      AddResultText(m_links.front(), RowStep::Url);
      AddResultText(ReasonText(code), RowStep::Reason);
      AddResultText(m_anchors.front(), RowStep::Site);
      m_rows.SetItemDetails(m_rows.GetItemCount() - 1,
                            RowDetails{code, 0, {}, CheckClass::Broken, {}, {}, {}});
      ++m_nErrorCount;
    }
    m_links.pop_front();
    m_anchors.pop_front();
  }
  if (m_pProgress) {
    m_pProgress->m_wndLinkBar.StepIt();
    ShowProgress();
  }
  if (m_pSocket) CloseSocket();
  if (m_bWaitTimer) {
    m_loop.KillTimer(WAIT_TIMER_ID);
    m_bWaitTimer = false;
  }
}

// ---------------------------------------------------------------------------
// The probe

std::string CLinkwardView::HostFromUrl(const std::string& url) const {
  return linkward::HostFromUrl(url, m_nScheme);
}

std::string CLinkwardView::PathFromUrl(const std::string& url) const {
  return linkward::PathFromUrl(url, m_nScheme);
}

void CLinkwardView::OpenSocket() {
  m_pSocket = std::make_unique<CSocketWnd>(
      m_loop, [this](int fd, int event, int error) { OnSocketNotify(fd, event, error); });
}

void CLinkwardView::CloseSocket() {
  m_pSocket->Close();
  m_pSocket.reset();
  m_frame.SetPaneText(1, "No connection");
}

unsigned CLinkwardView::ProbeLink(const std::string& link) {
  const std::string host = HostFromUrl(link);
  const std::string path = PathFromUrl(link);
  const std::string port = PortFromUrl(link, m_nScheme);

  if (m_pSocket) CloseSocket();
  OpenSocket();
  if (!m_pSocket) return SOCKET_ERROR_UNSPECIFIED;

  m_frame.BeginWaitCursor();
  m_frame.SetPaneText(1, "Connecting to " + host);
  m_frame.SetPaneText(2, "");
  // Resolution and connect may use only what is left of the wait limit.
  int64_t left = std::max<int64_t>(1, m_nWaitDeadline - m_loop.NowMs());
  unsigned result = m_pSocket->Connect(host.c_str(), port.c_str(), static_cast<int>(left));
  m_frame.EndWaitCursor();
  m_frame.SetPaneText(1, "Connected to " + host);
  if (result == CSocketWnd::kConnectInterrupted) {
    // The face asked to stop while the connect waited: the link stays in
    // flight, without a socket, until the stop (or the wait limit) ends it.
    CloseSocket();
    return 0;
  }
  if (result >= 10000) {
    CloseSocket();
    return result;
  }

  m_pSocket->AsyncSelect(SocketEvent::Read | SocketEvent::Close);
  if (m_nScheme == Scheme::Http) {
    const std::string request = BuildRequest(path, host, port, m_nScheme);
    m_pSocket->Send(request.data(), static_cast<int>(request.size()), 0);
    m_frame.SetPaneText(2, "GET method sent to host");
  } else {
    m_frame.SetPaneText(2, "");
  }
  return 0;
}

int CLinkwardView::OnSocketNotify(int fd, int event, int error) {
  (void)error;
  if (!m_pSocket || m_pSocket->Handle() != fd) return 0;
  if (event == SocketEvent::Read) {
    m_frame.SetPaneText(2, "Host Reply Received");
    m_replyBuffer.fill('\0');
    m_pSocket->Receive(m_replyBuffer.data(), REPLY_READ_SIZE, 0);
    CutAtFirstLine(m_replyBuffer.data());
    // The rest is discarded, but never more than a few blocks: a host that
    // streams without end must not hold the only thread.
    char drain[REPLY_READ_SIZE];
    for (int block = 0; block < REPLY_DRAIN_BLOCKS; ++block) {
      if (m_pSocket->Receive(drain, sizeof drain, 0) <= 0) break;
    }
    OnReply();
  } else if (event == SocketEvent::Close) {
    CloseSocket();
    m_frame.SetPaneText(1, "Connection Closed by Host");
  }
  return 0;
}

}  // namespace linkward
