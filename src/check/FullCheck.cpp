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
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "check/CheckOutcome.h"
#include "check/CheckRows.h"
#include "check/LinkResolver.h"
#include "check/PageParser.h"
#include "check/SiteMap.h"
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
  long page = -1;      // index in the file list; -1 for a names-only read
  std::string path;    // absolute
  bool isPage = true;  // false: a link target only, read for nothing
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
  std::vector<std::string> absFiles;  // constant after construction
  std::string root;                   // constant after construction
  CSkipList skip;                     // constant after Start
  size_t nextPage = 0;
  size_t parseLimit = kParseAhead;
  std::deque<std::string> nameJobs;
  std::deque<PageResult> results;
  bool stop = false;
  int wake[2] = {-1, -1};  // [0] watched by the loop, [1] written by workers
  std::vector<std::thread> workers;
  // The site choices, constant after Start.
  std::unique_ptr<CSiteMap> siteMap;
  bool cleanUrls = false;
  std::vector<std::string> indexNames{"index.html", "index.htm"};
  bool remoteFragments = false;

  // --- the loop's thread only ---
  IFullCheckHost& host;
  IEventLoop& loop;
  StringList files;
  std::unique_ptr<IRemoteChecker> remote;
  std::function<RemoteNotes(const std::string&)> remoteNotes;
  int threadCount;
  bool running = false;
  bool watching = false;

  struct LinkState {
    unsigned code = CHECK_FOUND;
    bool tested = false;
    std::string finalUrl;
    RemoteNotes notes;
    std::string target;  // the resolved address or path
  };
  struct PageState {
    bool parsed = false;
    int pending = 0;
    int tested = 0;
    std::vector<PageLink> links;
    std::vector<LinkState> states;
    bool isPage = true;
  };
  struct Waiter {
    size_t page;
    size_t link;
    std::string fragment;
  };
  struct RemoteState {
    bool done = false;
    HttpOutcome outcome;
    RemoteNotes notes;
    std::vector<std::pair<size_t, size_t>> waiters;
  };
  std::vector<PageState> pages;
  std::unordered_map<std::string, size_t> pageIndex;
  std::unordered_map<std::string, std::vector<std::string>> names;
  std::unordered_set<std::string> notPages;  // read for names: no page, any fragment is found
  std::unordered_map<std::string, std::vector<Waiter>> nameWaiters;
  std::unordered_set<std::string> nameJobsAsked;
  std::unordered_map<std::string, RemoteState> remoteStates;
  size_t cursor = 0;
  size_t announced = static_cast<size_t>(-1);  // the file whose "Testing:" line is out
  int64_t found = 0;
  int64_t judged = 0;
  int64_t skipped = 0;
  std::string lastUrl;
  std::string lastText;
  bool progressDirty = false;
  size_t shownPending = static_cast<size_t>(-1);
  // Remote #fragments: the links whose page must be read once its address
  // is judged sound, and each page read (fragment removed) with its waiters.
  struct FetchState {
    bool done = false;
    PageNames page;
    std::vector<std::tuple<size_t, size_t, std::string, HttpOutcome>> waiters;
  };
  std::unique_ptr<CFragmentReader> fetcher;
  std::map<std::pair<size_t, size_t>, std::string> fragmentOf;
  std::unordered_map<std::string, FetchState> fetches;
  void RemoteJudged(size_t page, size_t link, const std::string& url, const HttpOutcome& outcome);
  // url: the address read (where the link's address led).
  void FragmentJudged(size_t page, size_t link, const std::string& url, const std::string& fragment,
                      const HttpOutcome& outcome, const PageNames& fetched);
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
  void TakeNames(const std::string& path, std::vector<std::string> list, bool isPage);
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
  result.isPage = parsed.isPage;
  result.names = std::move(parsed.names);
  if (page < 0 || !parsed.isPage) return result;

  // Where a local path leads: the file, or a directory's index page.
  auto lookup = [&](const std::string& target) -> const std::pair<bool, std::string>& {
    auto it = cache.find(target);
    if (it != cache.end()) return it->second;
    std::pair<bool, std::string> entry{false, std::string()};
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        std::string dir = target.back() == '/' ? target : target + "/";
        for (const std::string& index : indexNames) {
          if (IsRegularFile(dir + index)) {
            entry = {true, AbsolutePath(dir + index)};
            break;
          }
        }
      } else {
        entry = {true, target};
      }
    } else if (cleanUrls && target.back() != '/' && IsRegularFile(target + ".html")) {
      entry = {true, target + ".html"};  // "/about" served as about.html
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
    if (siteMap) siteMap->Map(&r);  // the site's own pages are the local files
    // A text directive ("#sec:~:text=a", "#:~:text=a") scrolls a browser to
    // text; only what comes before it can name an id.
    if (r.hasFragment) r.fragment.erase(std::min(r.fragment.find(":~:"), r.fragment.size()));
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
        if (remoteFragments && r.hasFragment) v.fragment = std::move(r.fragment);
        break;
      case LinkKind::Local: {
        const auto& [exists, file] = lookup(r.target);
        v.judge = Judge::Done;
        v.target = r.target;
        if (!exists) {
          v.code = CHECK_LOCAL_FILE_NOT_FOUND;
        } else if (r.hasFragment) {
          // An empty fragment and "top" lead to the top of any page; other
          // fragments are looked for in pages only (a file without an
          // extension is told by its content when it is read for names).
          std::string decoded = PercentDecode(r.fragment);
          if (!decoded.empty() && !EqualsNoCase(decoded, "top") &&
              FileKindOf(file) != FileKind::Other) {
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
      TakeNames(result.path, std::move(result.names), result.isPage);
    } else {
      TakePage(std::move(result));
    }
  }
  if (running && budget <= 0) WakeLoop();  // more is waiting: come back next turn
  if (running) ListReadyFiles();
  if (running) ShowProgress();
}

void CFullCheck::Impl::TakeNames(const std::string& path, std::vector<std::string> list,
                                 bool isPage) {
  auto& stored = names[path];
  stored = std::move(list);
  if (!isPage) notPages.insert(path);
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
  page.isPage = result.isPage;
  page.links = std::move(result.links);
  page.states.resize(page.links.size());
  skipped += result.skipped;
  // Its names first: the page's own fragment links look there.
  TakeNames(result.path, std::move(result.names), result.isPage);
  for (size_t i = 0; i < page.links.size(); ++i) {
    LinkVerdict& v = result.verdicts[i];
    if (v.judge == Judge::NotTested) continue;
    page.states[i].tested = true;
    // A remote address is still needed below; any other moves to the row.
    page.states[i].target = v.judge == Judge::Remote ? v.target : std::move(v.target);
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
        JudgeFragment(index, i, page.states[i].target, v.fragment);
        break;
      case Judge::Remote:
        if (!v.fragment.empty()) fragmentOf[{index, i}] = std::move(v.fragment);
        JudgeRemote(index, i, v.target);
        break;
    }
  }
}

void CFullCheck::Impl::JudgeFragment(size_t page, size_t link, const std::string& target,
                                     const std::string& fragment) {
  auto known = names.find(target);
  if (known != names.end() && notPages.count(target) != 0) {
    Judged(page, link, CHECK_FOUND);
    return;
  }
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
    pages[page].states[link].notes = state.notes;  // before a row may be listed
    RemoteJudged(page, link, url, state.outcome);
    return;
  }
  state.waiters.emplace_back(page, link);
  if (!inserted) return;
  remote->Check(url, [this, url](const HttpOutcome& outcome) {
    auto found = remoteStates.find(url);
    if (!running || found == remoteStates.end()) return;
    found->second.done = true;
    found->second.outcome = outcome;
    if (remoteNotes) found->second.notes = remoteNotes(url);
    auto waiters = std::move(found->second.waiters);
    found->second.waiters.clear();
    for (const auto& [p, l] : waiters) {
      pages[p].states[l].notes = found->second.notes;
      RemoteJudged(p, l, url, outcome);
    }
    ListReadyFiles();
    if (running) ShowProgress();
  });
}

void CFullCheck::Impl::RemoteJudged(size_t page, size_t link, const std::string& url,
                                    const HttpOutcome& outcome) {
  auto it = fragmentOf.find({page, link});
  if (it == fragmentOf.end()) return Judged(page, link, outcome.code, outcome.finalUrl);
  const std::string fragment = std::move(it->second);
  fragmentOf.erase(it);
  // Only a page that is there is read: an answer from 2xx, or a move to one.
  const unsigned end = outcome.finalCode != 0 ? outcome.finalCode : outcome.code;
  const bool moved = outcome.code >= 301 && outcome.code <= 308 && outcome.code != 304;
  const std::string decoded = PercentDecode(fragment);
  if (end < 200 || end > 299 || (outcome.code >= 300 && !moved) || url.compare(0, 4, "http") != 0 ||
      EqualsNoCase(decoded, "top")) {
    return Judged(page, link, outcome.code, outcome.finalUrl);
  }
  if (IsScriptFragment(decoded)) {
    return Judged(page, link, CHECK_FRAGMENT_MADE_BY_SCRIPT, outcome.finalUrl);
  }
  // Read where the address led, once for all the links that lead there.
  const std::string read = outcome.finalUrl.empty() ? url : outcome.finalUrl;
  auto [entry, inserted] = fetches.try_emplace(read);
  if (entry->second.done)
    return FragmentJudged(page, link, read, fragment, outcome, entry->second.page);
  entry->second.waiters.emplace_back(page, link, fragment, outcome);
  if (!inserted) return;
  fetcher->Fetch(read, [this, read](const PageNames& fetched) {
    auto found = fetches.find(read);
    if (!running || found == fetches.end()) return;
    found->second.done = true;
    found->second.page = fetched;
    auto waiters = std::move(found->second.waiters);
    found->second.waiters.clear();
    for (const auto& [p, l, f, o] : waiters) FragmentJudged(p, l, read, f, o, fetched);
    ListReadyFiles();
    if (running) ShowProgress();
  });
}

void CFullCheck::Impl::FragmentJudged(size_t page, size_t link, const std::string& url,
                                      const std::string& fragment, const HttpOutcome& outcome,
                                      const PageNames& fetched) {
  unsigned code = outcome.code;
  if (!fetched.read) {
    code = CHECK_FRAGMENT_PAGE_NOT_READ;
  } else if (fetched.html) {
    const auto& list = fetched.names;
    auto has = [&](const std::string& name) {
      return std::binary_search(list.begin(), list.end(), name);
    };
    const std::string decoded = PercentDecode(fragment);
    const bool scripted = IsScriptedHost(url);
    if (!has(decoded) && !has(fragment) && !(scripted && has("user-content-" + decoded))) {
      code = scripted      ? CHECK_FRAGMENT_MADE_BY_SCRIPT
             : fetched.cut ? CHECK_FRAGMENT_PAST_LIMIT
                           : CHECK_FRAGMENT_NOT_FOUND;
    }
  }  // any other answer has no names: the fragment is not looked for, as in local files
  Judged(page, link, code, outcome.finalUrl);
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
  // Only pages have a "Testing:" line and a summary; other files are targets.
  while (running && cursor < files.size() && pages[cursor].parsed) {
    if (pages[cursor].isPage && announced != cursor) {
      announced = cursor;
      host.AppendLog("Testing: " + files[cursor]);
    }
    if (pages[cursor].pending != 0) break;
    if (pages[cursor].isPage) ListFile(cursor);
    ++cursor;
    moved = true;
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
  int unverified = 0;
  for (size_t i = 0; i < page.links.size(); ++i) {
    const LinkState& state = page.states[i];
    if (!state.tested || !CheckReported(mask, state.code)) continue;
    const CheckClass cls = CheckClassOf(state.code);
    if (pageRows.empty()) PutRow(index, i, rows.GetItemCount());  // else listed when judged
    ++(cls == CheckClass::NotVerified ? unverified : errors);
  }
  host.AppendLog(ResultsLine(file, page.tested, errors, unverified));
  // Only the names stay, for later fragment checks.
  page = PageState{true, 0, 0, {}, {}};
}

void CFullCheck::Impl::PutRow(size_t index, size_t i, int at) {
  const LinkState& state = pages[index].states[i];
  const PageLink& link = pages[index].links[i];
  PutCheckRow(host, at, link.written, link.text, files[index],
              RowDetails{state.code, link.line, state.finalUrl, CheckClass::Broken, state.target,
                         state.notes.history, state.notes.archiveUrl});
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
  if (fetcher) fetcher->CancelAll();
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

bool CFullCheck::SetSite(const FullCheckOptions& options,
                         std::unique_ptr<CFragmentReader> fetcher) {
  Impl& d = *m_pImpl;
  if (d.running) return false;
  auto map = std::make_unique<CSiteMap>(options.siteUrl, d.root);
  if (!options.siteUrl.empty() && !map->Valid()) return false;
  d.siteMap = options.siteUrl.empty() ? nullptr : std::move(map);
  d.cleanUrls = options.cleanUrls;
  d.indexNames = options.indexNames;
  d.fetcher = std::move(fetcher);
  d.remoteFragments = d.fetcher != nullptr;
  return true;
}

void CFullCheck::SetRemoteNotes(std::function<RemoteNotes(const std::string& url)> notes) {
  if (!m_pImpl->running) m_pImpl->remoteNotes = std::move(notes);
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
  if (d.fetcher) d.fetcher->CancelAll();
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
