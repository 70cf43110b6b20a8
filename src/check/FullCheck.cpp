#include "check/FullCheck.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "check/CheckOutcome.h"
#include "check/LinkResolver.h"
#include "check/PageParser.h"
#include "results/ProgressDlg.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {

// How far ahead of the listing the workers may parse, in files. Bounds the
// memory held for links not yet listed.
constexpr size_t kParseAhead = 4096;
// Links handled per loop turn before the loop gets a chance at other events.
constexpr int kLinksPerTurn = 20000;

enum class Judge : uint8_t { NotTested, Done, Fragment, Remote };

// What a worker found out about one link.
struct LinkVerdict {
  Judge judge = Judge::NotTested;
  unsigned code = CHECK_FOUND;  // Done
  std::string target;           // Fragment: the page's path; Remote: the address
  std::string fragment;         // Fragment
};

struct PageResult {
  long page = -1;    // index in the file list; -1 for a names-only read
  std::string path;  // absolute
  std::vector<PageLink> links;
  std::vector<LinkVerdict> verdicts;
  std::vector<std::string> names;
  int skipped = 0;  // links a skip pattern took out
};

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

bool HasHtmlExtension(const std::string& path) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "html" || ext == "htm" || ext == "xhtml" || ext == "shtml" || ext == "shtm";
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The resolved form of a link that skip patterns are searched in.
std::string ResolvedForm(const ResolvedLink& r) {
  switch (r.kind) {
    case LinkKind::Remote:
      return r.target;
    case LinkKind::Local:
      return "file://" + r.target + (r.hasFragment ? "#" + r.fragment : std::string());
    default:
      return std::string();
  }
}

}  // namespace

struct CFullCheck::Impl {
  // --- shared with the workers (under mu) ---
  std::mutex mu;
  std::condition_variable cv;
  std::vector<std::string> absFiles;        // constant after construction
  std::unordered_set<std::string> fileSet;  // constant after construction
  std::string root;                         // constant after construction
  CSkipList skip;                           // constant after Start
  size_t nextPage = 0;
  size_t parseLimit = kParseAhead;
  std::deque<std::string> nameJobs;
  std::deque<PageResult> results;
  bool stop = false;
  int wake[2] = {-1, -1};  // [0] watched by the loop, [1] written by workers
  std::vector<std::thread> workers;

  // --- the loop's thread only ---
  IFullCheckHost& host;
  IEventLoop& loop;
  StringList files;
  std::unique_ptr<IRemoteChecker> remote;
  int threadCount;
  bool running = false;
  bool watching = false;

  struct LinkState {
    unsigned code = CHECK_FOUND;
    bool tested = false;
    std::string finalUrl;
  };
  struct PageState {
    bool parsed = false;
    int pending = 0;
    int tested = 0;
    std::vector<PageLink> links;
    std::vector<LinkState> states;
  };
  struct Waiter {
    size_t page;
    size_t link;
    std::string fragment;
  };
  struct RemoteState {
    bool done = false;
    HttpOutcome outcome;
    std::vector<std::pair<size_t, size_t>> waiters;
  };
  std::vector<PageState> pages;
  std::unordered_map<std::string, size_t> pageIndex;
  std::unordered_map<std::string, std::vector<std::string>> names;
  std::unordered_map<std::string, std::vector<Waiter>> nameWaiters;
  std::unordered_set<std::string> nameJobsAsked;
  std::unordered_map<std::string, RemoteState> remoteStates;
  size_t cursor = 0;
  int64_t found = 0;
  int64_t judged = 0;
  int64_t skipped = 0;
  std::string lastUrl;
  std::string lastText;
  bool progressDirty = false;
  size_t shownPending = static_cast<size_t>(-1);
  // Rows as judged: the rows listed per page (a Fenwick tree, for the rows
  // before a page) and the link indexes of each page's rows, in order.
  std::vector<int> rowTree;
  std::vector<std::vector<size_t>> pageRows;

  Impl(IFullCheckHost& h, IEventLoop& l) : host(h), loop(l) {}

  // Worker side.
  void WorkerMain();
  PageResult ReadPage(long page, const std::string& path, CLinkResolver& resolver,
                      std::unordered_map<std::string, std::pair<bool, std::string>>& cache);
  void Post(PageResult result);
  void WakeLoop() const;

  // Loop side.
  void OnWake();
  void TakePage(PageResult result);
  void TakeNames(const std::string& path, std::vector<std::string> list);
  void JudgeFragment(size_t page, size_t link, const std::string& target,
                     const std::string& fragment);
  void JudgeRemote(size_t page, size_t link, const std::string& url);
  void Judged(size_t page, size_t link, unsigned code, const std::string& finalUrl = "");
  void ListReadyFiles();
  void ListFile(size_t index);
  // The row of a reported link, made at index at of the rows.
  void PutRow(size_t page, size_t link, int at);
  // Rows as judged: the row of a reported link goes in at once, after the
  // rows of earlier pages and of the page's earlier links.
  void PutJudgedRow(size_t page, size_t link);
  void ShowProgress();
  void StopWorkers();
  void Finish();
};

// ---------------------------------------------------------------------------
// Workers

void CFullCheck::Impl::WakeLoop() const {
  char byte = 1;
  // A full pipe is already readable: the byte is not needed then.
  (void)!::send(wake[1], &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
}

void CFullCheck::Impl::Post(PageResult result) {
  bool first;
  {
    std::lock_guard<std::mutex> lock(mu);
    if (stop) return;
    first = results.empty();
    results.push_back(std::move(result));
  }
  // The loop drains the wake-up before it takes results, and takes them until
  // none is left (or wakes itself): a queue that was not empty needs no byte.
  if (first) WakeLoop();
}

PageResult CFullCheck::Impl::ReadPage(
    long page, const std::string& path, CLinkResolver& resolver,
    std::unordered_map<std::string, std::pair<bool, std::string>>& cache) {
  PageResult result;
  result.page = page;
  result.path = path;
  ParsedPage parsed;
  if (!ParsePageFile(path, &parsed, page < 0)) return result;
  result.names = std::move(parsed.names);
  if (page < 0) return result;

  // Where a local path leads: the file, or a directory's index page.
  auto lookup = [&](const std::string& target) -> const std::pair<bool, std::string>& {
    auto it = cache.find(target);
    if (it != cache.end()) return it->second;
    std::pair<bool, std::string> entry{false, std::string()};
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        std::string dir = target.back() == '/' ? target : target + "/";
        for (const char* index : {"index.html", "index.htm"}) {
          if (IsRegularFile(dir + index)) {
            entry = {true, AbsolutePath(dir + index)};
            break;
          }
        }
      } else {
        entry = {true, target};
      }
    }
    return cache.emplace(target, std::move(entry)).first->second;
  };

  resolver.SetPage(path, parsed.base);
  result.verdicts.resize(parsed.links.size());
  for (size_t i = 0; i < parsed.links.size(); ++i) {
    LinkVerdict& v = result.verdicts[i];
    ResolvedLink r = resolver.Resolve(parsed.links[i].url);
    if (r.kind != LinkKind::NotTested && !skip.Empty() &&
        skip.Matches(parsed.links[i].written, ResolvedForm(r))) {
      ++result.skipped;
      continue;  // skipped: not tested
    }
    switch (r.kind) {
      case LinkKind::NotTested:
        break;
      case LinkKind::Invalid:
        v.judge = Judge::Done;
        v.code = SOCKET_ERROR_INVALID_NAME;
        break;
      case LinkKind::Remote:
        v.judge = Judge::Remote;
        v.target = std::move(r.target);
        break;
      case LinkKind::Local: {
        const auto& [exists, file] = lookup(r.target);
        v.judge = Judge::Done;
        if (!exists) {
          v.code = CHECK_LOCAL_FILE_NOT_FOUND;
        } else if (r.hasFragment) {
          // An empty fragment and "top" lead to the top of any page; other
          // fragments are looked for in pages only.
          std::string decoded = PercentDecode(r.fragment);
          if (!decoded.empty() && !EqualsNoCase(decoded, "top") &&
              (HasHtmlExtension(file) || fileSet.count(file) != 0)) {
            v.judge = Judge::Fragment;
            v.target = file;
            v.fragment = std::move(r.fragment);
          }
        }
        break;
      }
    }
  }
  result.links = std::move(parsed.links);
  return result;
}

void CFullCheck::Impl::WorkerMain() {
  CLinkResolver resolver(root);
  std::unordered_map<std::string, std::pair<bool, std::string>> cache;
  for (;;) {
    long page = -1;
    std::string path;
    {
      std::unique_lock<std::mutex> lock(mu);
      cv.wait(lock, [&] {
        return stop || !nameJobs.empty() || nextPage < std::min(parseLimit, absFiles.size());
      });
      if (stop) return;
      if (!nameJobs.empty()) {
        path = std::move(nameJobs.front());
        nameJobs.pop_front();
      } else {
        page = static_cast<long>(nextPage++);
        path = absFiles[static_cast<size_t>(page)];
      }
    }
    Post(ReadPage(page, path, resolver, cache));
  }
}

// ---------------------------------------------------------------------------
// The loop's side

void CFullCheck::Impl::OnWake() {
  char drain[256];
  // A short read emptied the socket: no second call just to see it empty.
  while (::recv(wake[0], drain, sizeof drain, MSG_DONTWAIT) == static_cast<ssize_t>(sizeof drain)) {
  }
  int budget = kLinksPerTurn;
  while (running && budget > 0) {
    PageResult result;
    {
      std::lock_guard<std::mutex> lock(mu);
      if (results.empty()) break;
      result = std::move(results.front());
      results.pop_front();
    }
    budget -= static_cast<int>(result.links.size()) + 1;
    if (result.page < 0) {
      TakeNames(result.path, std::move(result.names));
    } else {
      TakePage(std::move(result));
    }
  }
  if (running && budget <= 0) WakeLoop();  // more is waiting: come back next turn
  if (running) ListReadyFiles();
  if (running) ShowProgress();
}

void CFullCheck::Impl::TakeNames(const std::string& path, std::vector<std::string> list) {
  auto& stored = names[path];
  stored = std::move(list);
  auto it = nameWaiters.find(path);
  if (it == nameWaiters.end()) return;
  std::vector<Waiter> waiters = std::move(it->second);
  nameWaiters.erase(it);
  for (const Waiter& w : waiters) JudgeFragment(w.page, w.link, path, w.fragment);
}

void CFullCheck::Impl::TakePage(PageResult result) {
  size_t index = static_cast<size_t>(result.page);
  PageState& page = pages[index];
  page.parsed = true;
  page.links = std::move(result.links);
  page.states.resize(page.links.size());
  skipped += result.skipped;
  // Its names first: the page's own fragment links look there.
  TakeNames(result.path, std::move(result.names));
  for (size_t i = 0; i < page.links.size(); ++i) {
    LinkVerdict& v = result.verdicts[i];
    if (v.judge == Judge::NotTested) continue;
    page.states[i].tested = true;
    ++page.tested;
    ++page.pending;
    ++found;
  }
  progressDirty = true;
  for (size_t i = 0; i < page.links.size(); ++i) {
    LinkVerdict& v = result.verdicts[i];
    switch (v.judge) {
      case Judge::NotTested:
        break;
      case Judge::Done:
        Judged(index, i, v.code);
        break;
      case Judge::Fragment:
        JudgeFragment(index, i, v.target, v.fragment);
        break;
      case Judge::Remote:
        JudgeRemote(index, i, v.target);
        break;
    }
  }
}

void CFullCheck::Impl::JudgeFragment(size_t page, size_t link, const std::string& target,
                                     const std::string& fragment) {
  auto known = names.find(target);
  if (known != names.end()) {
    const auto& list = known->second;
    auto has = [&](const std::string& name) {
      return std::binary_search(list.begin(), list.end(), name);
    };
    bool ok = has(PercentDecode(fragment)) || has(fragment);
    Judged(page, link, ok ? CHECK_FOUND : CHECK_FRAGMENT_NOT_FOUND);
    return;
  }
  nameWaiters[target].push_back(Waiter{page, link, fragment});
  // A page of the list within the workers' reach arrives on its own; any
  // other page is read for its names alone, once.
  auto listed = pageIndex.find(target);
  if (listed != pageIndex.end() && listed->second < cursor + kParseAhead) return;
  if (!nameJobsAsked.insert(target).second) return;
  {
    std::lock_guard<std::mutex> lock(mu);
    nameJobs.push_back(target);
  }
  cv.notify_one();
}

void CFullCheck::Impl::JudgeRemote(size_t page, size_t link, const std::string& url) {
  auto [it, inserted] = remoteStates.try_emplace(url);
  RemoteState& state = it->second;
  if (state.done) {
    Judged(page, link, state.outcome.code, state.outcome.finalUrl);
    return;
  }
  state.waiters.emplace_back(page, link);
  if (!inserted) return;
  remote->Check(url, [this, url](const HttpOutcome& outcome) {
    auto found = remoteStates.find(url);
    if (!running || found == remoteStates.end()) return;
    found->second.done = true;
    found->second.outcome = outcome;
    auto waiters = std::move(found->second.waiters);
    found->second.waiters.clear();
    for (const auto& [p, l] : waiters) Judged(p, l, outcome.code, outcome.finalUrl);
    ListReadyFiles();
    if (running) ShowProgress();
  });
}

void CFullCheck::Impl::Judged(size_t page, size_t link, unsigned code,
                              const std::string& finalUrl) {
  PageState& p = pages[page];
  LinkState& state = p.states[link];
  state.code = code;
  state.finalUrl = finalUrl;
  --p.pending;
  ++judged;
  lastUrl = p.links[link].written;
  lastText = p.links[link].text;
  progressDirty = true;
  if (!pageRows.empty() && CheckReported(host.FilterMask(), code)) PutJudgedRow(page, link);
}

void CFullCheck::Impl::PutJudgedRow(size_t page, size_t link) {
  int before = 0;
  for (size_t i = page; i > 0; i &= i - 1) before += rowTree[i - 1];
  std::vector<size_t>& listed = pageRows[page];
  auto place = std::lower_bound(listed.begin(), listed.end(), link);
  const int at = before + static_cast<int>(place - listed.begin());
  listed.insert(place, link);
  for (size_t i = page + 1; i <= rowTree.size(); i += i & (~i + 1)) ++rowTree[i - 1];
  PutRow(page, link, at);
}

void CFullCheck::Impl::ListReadyFiles() {
  bool moved = false;
  while (running && cursor < files.size() && pages[cursor].parsed && pages[cursor].pending == 0) {
    ListFile(cursor);
    ++cursor;
    moved = true;
    if (cursor < files.size()) host.AppendLog("Testing: " + files[cursor]);
  }
  if (moved) {
    {
      std::lock_guard<std::mutex> lock(mu);
      parseLimit = cursor + kParseAhead;
    }
    cv.notify_all();
    progressDirty = true;
  }
  if (running && cursor == files.size()) Finish();
}

void CFullCheck::Impl::ListFile(size_t index) {
  PageState& page = pages[index];
  const std::string& file = files[index];
  CResultRows& rows = host.Rows();
  const std::string& mask = host.FilterMask();
  int errors = 0;
  for (size_t i = 0; i < page.links.size(); ++i) {
    const LinkState& state = page.states[i];
    if (!state.tested || !CheckReported(mask, state.code)) continue;
    if (pageRows.empty()) PutRow(index, i, rows.GetItemCount());  // else listed when judged
    ++errors;
  }
  char line[64];
  std::snprintf(line, sizeof line, ": URLs tested: %d. URL errors: %d.\r\n", page.tested, errors);
  host.AppendLog("Results for " + file + line);
  // Only the names stay, for later fragment checks.
  page = PageState{true, 0, 0, {}, {}};
}

void CFullCheck::Impl::PutRow(size_t index, size_t i, int at) {
  const PageState& page = pages[index];
  const LinkState& state = page.states[i];
  const PageLink& link = page.links[i];
  const std::string& file = files[index];
  CResultRows& rows = host.Rows();
  const int count = rows.GetItemCount();
  int row = rows.InsertItem(at, link.written);
  rows.SetItemText(row, COL_REASON, CheckReasonText(state.code));
  rows.SetItemText(row, COL_SITE, link.text);
  rows.SetItemText(row, COL_FILE, file);
  rows.SetItemDetails(row, RowDetails{state.code, link.line, state.finalUrl, CheckClass::Broken, {}});
  if (count == 0) host.CommandStateChanged();
}

void CFullCheck::Impl::ShowProgress() {
  CProgressDlg* dlg = host.Progress();
  if (remote && remote->Pending() != shownPending) {
    shownPending = remote->Pending();
    host.SetPaneText(2, shownPending == 0
                            ? std::string()
                            : std::to_string(shownPending) + " remote checks waiting");
  }
  if (!dlg || !progressDirty) return;
  progressDirty = false;
  size_t shown = std::min(cursor, files.size() - 1);
  dlg->m_strCurrentFile = files[shown];
  dlg->m_strFileIndex = std::to_string(shown + 1);
  dlg->m_strFileTotal = std::to_string(files.size());
  dlg->m_wndFileBar.SetPos(static_cast<int>(cursor));
  dlg->m_wndLinkBar.SetRange(0, static_cast<int>(std::max<int64_t>(found, 1)));
  dlg->m_wndLinkBar.SetPos(static_cast<int>(judged));
  dlg->m_strCurrentUrl = lastUrl;
  dlg->m_strAnchorText = lastText;
  dlg->m_strLinkIndex = std::to_string(judged);
  dlg->m_strLinkTotal = std::to_string(found);
  host.ProgressUpdate(*dlg);
}

void CFullCheck::Impl::StopWorkers() {
  {
    std::lock_guard<std::mutex> lock(mu);
    stop = true;
    nameJobs.clear();
    results.clear();
  }
  cv.notify_all();
  if (watching) {
    loop.UnwatchSocket(wake[0]);
    watching = false;
  }
}

void CFullCheck::Impl::Finish() {
  running = false;
  StopWorkers();
  if (remote) remote->CancelAll();
  host.OnFullCheckEnded();
}

// ---------------------------------------------------------------------------

CFullCheck::CFullCheck(IFullCheckHost& host, IEventLoop& loop, StringList files,
                       const std::string& root, std::unique_ptr<IRemoteChecker> remote,
                       int parseThreads)
    : m_pImpl(std::make_unique<Impl>(host, loop)) {
  Impl& d = *m_pImpl;
  d.files = std::move(files);
  d.remote = std::move(remote);
  d.root = root;
  d.pages.resize(d.files.size());
  d.absFiles.reserve(d.files.size());
  for (size_t i = 0; i < d.files.size(); ++i) {
    d.absFiles.push_back(AbsolutePath(d.files[i]));
    d.fileSet.insert(d.absFiles.back());
    d.pageIndex.emplace(d.absFiles.back(), i);
  }
  int hardware = static_cast<int>(std::thread::hardware_concurrency());
  d.threadCount = parseThreads > 0 ? parseThreads : std::clamp(hardware, 1, 8);
}

CFullCheck::~CFullCheck() {
  Impl& d = *m_pImpl;
  d.running = false;
  d.StopWorkers();
  for (std::thread& t : d.workers) t.join();
  if (d.remote) d.remote->CancelAll();
  for (int fd : d.wake) {
    if (fd >= 0) ::close(fd);
  }
}

void CFullCheck::SetSkipList(CSkipList skip) {
  if (!m_pImpl->running) m_pImpl->skip = std::move(skip);
}

bool CFullCheck::Start() {
  Impl& d = *m_pImpl;
  if (d.files.empty()) return false;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, d.wake) != 0) {
    d.wake[0] = d.wake[1] = -1;
    return false;
  }
  d.running = true;
  if (d.host.RowsAsJudged()) {
    d.rowTree.assign(d.files.size(), 0);
    d.pageRows.assign(d.files.size(), {});
  }
  d.host.AppendLog("Testing: " + d.files.front());
  d.host.SetPaneText(1, "Checking links");
  d.host.SetPaneText(2, "");
  d.loop.WatchSocket(d.wake[0], [&d](int, int event, int) {
    if (event == SocketEvent::Read) d.OnWake();
  });
  d.watching = true;
  for (int i = 0; i < d.threadCount; ++i) d.workers.emplace_back([&d] { d.WorkerMain(); });
  return true;
}

void CFullCheck::Stop() {
  Impl& d = *m_pImpl;
  d.running = false;
  d.StopWorkers();
  if (d.remote) d.remote->CancelAll();
}

bool CFullCheck::Running() const {
  return m_pImpl->running;
}

int64_t CFullCheck::LinksJudged() const {
  return m_pImpl->judged;
}

int64_t CFullCheck::LinksFound() const {
  return m_pImpl->found;
}

int64_t CFullCheck::LinksSkipped() const {
  return m_pImpl->skipped;
}

}  // namespace linkward
