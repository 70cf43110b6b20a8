#include "check/SiteCrawl.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <regex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "check/CheckOutcome.h"
#include "check/CheckRows.h"
#include "check/LinkResolver.h"
#include "check/PageEncoding.h"
#include "check/PageFetcher.h"
#include "check/PageParser.h"
#include "check/Robots.h"
#include "results/ProgressDlg.h"
#include "results/ResultRows.h"

namespace linkward {

namespace {

// The longest robots.txt read; the rest is ignored.
constexpr size_t kRobotsLimit = 512 * 1024;
// The crawler's product token in robots.txt.
constexpr const char* kRobotsToken = "linkward";

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsHtmlType(const std::string& type) {
  return type == "text/html" || type == "application/xhtml+xml";
}

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

// The parts of an absolute address that the crawl needs.
struct UrlParts {
  bool ok = false;
  std::string url;     // normalised, without fragment
  std::string origin;  // "http://host:port" as libcurl writes it (default port left out)
  std::string path;    // path and query
};

UrlParts Split(const std::string& text) {
  UrlParts parts;
  CURLU* h = curl_url();
  if (!h) return parts;
  char* value = nullptr;
  auto take = [&](CURLUPart part, unsigned flags, std::string* out) {
    if (curl_url_get(h, part, &value, flags) != CURLUE_OK) return false;
    *out = value;
    curl_free(value);
    value = nullptr;
    return true;
  };
  std::string scheme;
  std::string host;
  std::string port;
  std::string query;
  if (curl_url_set(h, CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      take(CURLUPART_SCHEME, 0, &scheme) && (scheme == "http" || scheme == "https") &&
      take(CURLUPART_HOST, 0, &host) && take(CURLUPART_PATH, 0, &parts.path)) {
    curl_url_set(h, CURLUPART_FRAGMENT, nullptr, 0);
    take(CURLUPART_PORT, 0, &port);
    if (take(CURLUPART_QUERY, 0, &query)) parts.path += "?" + query;
    parts.origin = scheme + "://" + host + (port.empty() ? "" : ":" + port);
    parts.ok = take(CURLUPART_URL, 0, &parts.url);
  }
  curl_url_cleanup(h);
  return parts;
}

// target resolved against base (both may be relative to nothing: "" when
// it cannot be resolved).
std::string ResolveAgainst(const std::string& base, const std::string& target) {
  CURLU* h = curl_url();
  std::string out;
  char* value = nullptr;
  if (h && curl_url_set(h, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
      curl_url_set(h, CURLUPART_URL, target.c_str(), CURLU_URLENCODE) == CURLUE_OK &&
      curl_url_get(h, CURLUPART_URL, &value, 0) == CURLUE_OK) {
    out = value;
  }
  curl_free(value);
  if (h) curl_url_cleanup(h);
  return out;
}

// The default scope of a start: its origin and directory ("http://h/docs/").
std::string ScopePrefix(const UrlParts& start) {
  size_t slash = start.url.find('/', start.origin.size());
  size_t last = start.url.rfind('/', start.url.find('?', start.origin.size()));
  if (slash == std::string::npos || last == std::string::npos || last < slash) {
    return start.origin + "/";
  }
  return start.url.substr(0, last + 1);
}

}  // namespace

bool IsCrawlAddress(const std::string& text) {
  auto starts = [&](const char* prefix) {
    size_t n = std::strlen(prefix);
    return text.size() > n && EqualsNoCase(text.substr(0, n), prefix);
  };
  return starts("http://") || starts("https://");
}

struct CSiteCrawl::Impl {
  IFullCheckHost& host;
  IEventLoop& loop;
  std::string startText;
  CrawlOptions options;
  HttpCheckOptions http;
  std::unique_ptr<IRemoteChecker> remote;
  std::unique_ptr<CPageFetcher> fetcher;
  CSkipList skip;
  CLinkResolver resolver{"/"};  // a page's links, against its address
  std::regex scope;
  bool hasScope = false;
  std::string scopePrefix;  // the default scope: origin and directory
  std::string error;
  bool running = false;

  struct LinkState {
    bool tested = false;
    unsigned code = CHECK_FOUND;
    std::string finalUrl;
    std::string target;  // the absolute address, fragment removed
  };
  struct Waiter {
    size_t page;
    size_t link;
    std::string fragment;
  };
  // An address within scope that is fetched; a page when it answers with html.
  struct Slot {
    std::string url;
    int depth = 0;
    bool crawl = true;      // read for links when it is a page; else a link target only
    bool fetched = false;   // the fetch ended: whether it is a page is known
    bool page = false;
    bool known = false;     // its verdict is known
    bool excluded = false;  // robots.txt keeps the crawler out: not tested
    unsigned code = CHECK_FOUND;
    std::string finalUrl;
    std::string base;  // the page's base for its links
    std::vector<std::string> names;
    std::vector<PageLink> links;
    std::vector<LinkState> states;
    int pending = 0;
    int tested = 0;
    bool logged = false;  // its "Testing:" line is in the log
    std::vector<Waiter> waiters;
  };
  struct RemoteState {
    bool done = false;
    HttpOutcome outcome;
    std::vector<std::pair<size_t, size_t>> waiters;
  };
  struct Robots {
    bool ready = false;
    CRobotsRules rules;
    std::vector<size_t> waiting;  // slots to start once the rules are in
  };
  std::vector<Slot> slots;
  std::unordered_map<std::string, size_t> slotIndex;
  std::unordered_map<std::string, RemoteState> remoteStates;
  std::unordered_map<std::string, Robots> robots;
  std::unordered_set<std::string> crawlOrigins;  // where pages are fetched from
  size_t crawlSlots = 0;
  size_t expandCursor = 0;
  size_t listCursor = 0;
  int listed = 0;
  int64_t found = 0;
  int64_t judged = 0;
  std::string lastUrl;
  std::string lastText;
  bool progressDirty = false;
  size_t shownPending = static_cast<size_t>(-1);

  Impl(IFullCheckHost& h, IEventLoop& l) : host(h), loop(l) {}

  bool InScope(const UrlParts& parts) const {
    if (hasScope) return std::regex_search(parts.url, scope);
    return parts.url.compare(0, scopePrefix.size(), scopePrefix) == 0;
  }

  // The slot for an address within scope, made (and started) when it is new
  // and the limits allow; -1 when there is none.
  long SlotFor(const UrlParts& parts, int depth) {
    auto it = slotIndex.find(parts.url);
    if (it != slotIndex.end()) return static_cast<long>(it->second);
    if ((options.maxDepth >= 0 && depth > options.maxDepth) ||
        crawlSlots >= static_cast<size_t>(std::max(options.maxPages, 0))) {
      return -1;
    }
    size_t index = slots.size();
    slots.emplace_back();
    slots.back().url = parts.url;
    slots.back().depth = depth;
    slotIndex.emplace(parts.url, index);
    ++crawlSlots;
    crawlOrigins.insert(parts.origin);
    StartSlot(index, parts);
    return static_cast<long>(index);
  }

  // The slot of an address on a host pages are fetched from that is not to
  // be read: its answer is its verdict, and it waits its turn with the
  // pages, so that the host sees the per-host limit in all.
  size_t TargetSlotFor(const UrlParts& parts) {
    auto it = slotIndex.find(parts.url);
    if (it != slotIndex.end()) return it->second;
    size_t index = slots.size();
    slots.emplace_back();
    slots.back().url = parts.url;
    slots.back().crawl = false;
    slotIndex.emplace(parts.url, index);
    FetchSlot(index);
    return index;
  }

  void StartSlot(size_t index, const UrlParts& parts) {
    if (options.ignoreRobots) {
      FetchSlot(index);
      return;
    }
    auto [it, inserted] = robots.try_emplace(parts.origin);
    Robots& r = it->second;
    if (r.ready) {
      if (r.rules.Allowed(parts.path)) {
        FetchSlot(index);
      } else {
        Exclude(index);
      }
      return;
    }
    r.waiting.push_back(index);
    if (!inserted) return;
    std::string origin = parts.origin;
    fetcher->Fetch(
        origin + "/robots.txt", [](const std::string&, const std::string&) { return true; },
        [this, origin](FetchResult result) {
          if (!running) return;
          Robots& got = robots[origin];
          got.ready = true;
          if (result.answered && result.status >= 200 && result.status < 300) {
            if (result.body.size() > kRobotsLimit) result.body.resize(kRobotsLimit);
            got.rules = CRobotsRules(result.body, kRobotsToken);
          } else if (result.answered && result.status >= 500) {
            got.rules = CRobotsRules::DisallowAll();  // the server cannot say: stay out
          }
          std::vector<size_t> waiting = std::move(got.waiting);
          for (size_t i : waiting) {
            UrlParts p = Split(slots[i].url);
            if (got.rules.Allowed(p.path)) {
              FetchSlot(i);
            } else {
              Exclude(i);
            }
          }
          Advance();
        });
  }

  void Exclude(size_t index) {
    Slot& s = slots[index];
    s.fetched = true;
    s.excluded = true;
    if (index == 0) {
      host.AppendLog("Not crawled: the site's robots.txt does not allow " + s.url);
    }
    SlotKnown(index);
  }

  void FetchSlot(size_t index) {
    fetcher->Fetch(
        slots[index].url,
        [this, index](const std::string& type, const std::string& url) {
          if (!slots[index].crawl || (!IsHtmlType(type) && !type.empty())) return false;
          UrlParts p = Split(url);
          return p.ok && (index == 0 || InScope(p));
        },
        [this, index](FetchResult result) {
          if (!running) return;
          Fetched(index, std::move(result));
          Advance();
        });
  }

  void Fetched(size_t index, FetchResult result) {
    Slot& s = slots[index];
    s.fetched = true;
    const bool success = result.answered && result.status >= 200 && result.status < 300;
    if (!success) {
      // Whatever went wrong, the remote check says what it means.
      std::string url = s.url;
      remote->Check(url, [this, index](const HttpOutcome& outcome) {
        if (!running) return;
        slots[index].code = outcome.code;
        slots[index].finalUrl = outcome.finalUrl;
        SlotKnown(index);
        Advance();
      });
      return;
    }
    const bool redirected = result.redirects > 0;
    s.code = redirected && IsRedirect(result.firstStatus) ? static_cast<unsigned>(result.firstStatus)
                                                          : static_cast<unsigned>(result.status);
    if (redirected) s.finalUrl = result.effectiveUrl;
    UrlParts final = Split(result.effectiveUrl);
    // A start that moves ("/docs" to "/docs/", http to https) takes its scope along.
    if (index == 0 && redirected && final.ok && !hasScope) scopePrefix = ScopePrefix(final);
    // A page without a type is taken for html when its body looks like one.
    bool html = IsHtmlType(result.contentType) ||
                (result.contentType.empty() && result.body.find('<') != std::string::npos);
    // The start is read whatever the scope says.
    if (html && s.crawl && final.ok && (index == 0 || InScope(final)) && !result.body.empty()) {
      ParsedPage parsed = ParsePage(result.body.data(), result.body.size(), false,
                                    EncodingOfLabel(result.charset));
      s.page = true;
      s.links = std::move(parsed.links);
      s.names = std::move(parsed.names);
      s.base = final.url;
      if (!parsed.base.empty()) {
        std::string base = ResolveAgainst(final.url, parsed.base);
        if (!base.empty()) s.base = base;
      }
      if (redirected && !slotIndex.count(final.url)) slotIndex.emplace(final.url, index);
    }
    SlotKnown(index);
  }

  // The slot's verdict is in: the links waiting for it are judged.
  void SlotKnown(size_t index) {
    Slot& s = slots[index];
    s.known = true;
    std::vector<Waiter> waiters = std::move(s.waiters);
    s.waiters.clear();
    for (const Waiter& w : waiters) JudgeBySlot(w.page, w.link, index, w.fragment);
  }

  void JudgeBySlot(size_t page, size_t link, size_t index, const std::string& fragment) {
    Slot& s = slots[index];
    if (s.excluded) {
      Slot& p = slots[page];
      p.states[link].tested = false;
      --p.tested;
      --p.pending;
      --found;
      progressDirty = true;
      return;
    }
    unsigned code = s.code;
    const bool sound = code < 400 || code == CHECK_FOUND;
    if (sound && s.page && !fragment.empty()) {
      std::string decoded = PercentDecode(fragment);
      auto has = [&](const std::string& name) {
        return std::binary_search(s.names.begin(), s.names.end(), name);
      };
      if (!decoded.empty() && !EqualsNoCase(decoded, "top") && !has(decoded) && !has(fragment)) {
        code = CHECK_FRAGMENT_NOT_FOUND;
      }
    }
    Judged(page, link, code, s.finalUrl);
  }

  void JudgeRemote(size_t page, size_t link, const std::string& url) {
    auto [it, inserted] = remoteStates.try_emplace(url);
    RemoteState& state = it->second;
    if (state.done) {
      Judged(page, link, state.outcome.code, state.outcome.finalUrl);
      return;
    }
    state.waiters.emplace_back(page, link);
    if (!inserted) return;
    remote->Check(url, [this, url](const HttpOutcome& outcome) {
      auto got = remoteStates.find(url);
      if (!running || got == remoteStates.end()) return;
      got->second.done = true;
      got->second.outcome = outcome;
      auto waiters = std::move(got->second.waiters);
      got->second.waiters.clear();
      for (const auto& [p, l] : waiters) Judged(p, l, outcome.code, outcome.finalUrl);
      Advance();
    });
  }

  void Judged(size_t page, size_t link, unsigned code, const std::string& finalUrl) {
    Slot& p = slots[page];
    LinkState& state = p.states[link];
    state.code = code;
    state.finalUrl = finalUrl;
    --p.pending;
    ++judged;
    lastUrl = p.links[link].written;
    lastText = p.links[link].text;
    progressDirty = true;
  }

  // The links of a fetched page, in page order: judged, or sent where
  // their verdict comes from. Pages within scope found here become slots.
  void Expand(size_t index) {
    resolver.SetPage("/", slots[index].base);
    const int depth = slots[index].depth + 1;
    const size_t count = slots[index].links.size();
    slots[index].states.resize(count);
    enum class Kind { NotTested, Done, Slot, Remote };
    struct Verdict {
      Kind kind = Kind::NotTested;
      unsigned code = CHECK_FOUND;
      std::string target;
      std::string fragment;
      long slot = -1;
    };
    std::vector<Verdict> verdicts(count);
    for (size_t i = 0; i < count; ++i) {
      const PageLink& link = slots[index].links[i];
      Verdict& v = verdicts[i];
      ResolvedLink r = resolver.Resolve(link.url);
      if (r.kind == LinkKind::NotTested || r.kind == LinkKind::Local) continue;
      if (!skip.Empty() && skip.Matches(link.written, r.target)) continue;
      if (r.kind == LinkKind::Invalid) {
        v.kind = Kind::Done;
        v.code = SOCKET_ERROR_INVALID_NAME;
        continue;
      }
      v.kind = Kind::Remote;
      v.target = std::move(r.target);
      UrlParts parts = Split(v.target);
      if (!parts.ok) continue;
      // Not to be crawled: a target only, fetched with the pages when its host is theirs.
      auto target = [&] {
        if (!crawlOrigins.count(parts.origin)) return;
        v.kind = Kind::Slot;
        v.slot = static_cast<long>(TargetSlotFor(parts));
      };
      if (!InScope(parts)) {
        target();
        continue;
      }
      if (!options.ignoreRobots) {
        // An address within scope that robots.txt keeps the crawler from is
        // not requested at all, even beyond the limits.
        auto known = robots.find(parts.origin);
        if (known != robots.end() && known->second.ready &&
            !known->second.rules.Allowed(parts.path)) {
          v.kind = Kind::NotTested;
          continue;
        }
      }
      size_t hash = link.url.find('#');
      if (hash != std::string::npos) v.fragment = link.url.substr(hash + 1);
      long slot = SlotFor(parts, depth);  // may grow slots
      if (slot < 0) {
        target();
        continue;
      }
      v.kind = Kind::Slot;
      v.slot = slot;
    }
    Slot& s = slots[index];
    for (size_t i = 0; i < count; ++i) {
      if (verdicts[i].kind == Kind::NotTested) continue;
      s.states[i].tested = true;
      s.states[i].target = verdicts[i].target;
      ++s.tested;
      ++s.pending;
      ++found;
    }
    progressDirty = true;
    for (size_t i = 0; i < count; ++i) {
      Verdict& v = verdicts[i];
      switch (v.kind) {
        case Kind::NotTested:
          break;
        case Kind::Done:
          Judged(index, i, v.code, "");
          break;
        case Kind::Slot: {
          size_t target = static_cast<size_t>(v.slot);
          if (slots[target].known) {
            JudgeBySlot(index, i, target, v.fragment);
          } else {
            slots[target].waiters.push_back(Waiter{index, i, std::move(v.fragment)});
          }
          break;
        }
        case Kind::Remote:
          JudgeRemote(index, i, v.target);
          break;
      }
    }
  }

  // Expands what can be expanded (in slot order, so that the pages are found
  // in the same order whatever order the answers come in), lists the pages
  // that are ready, and ends the crawl when nothing is left.
  void Advance() {
    while (running && expandCursor < slots.size() &&
           (slots[expandCursor].fetched || !slots[expandCursor].crawl)) {
      if (slots[expandCursor].page) Expand(expandCursor);
      ++expandCursor;
    }
    while (running && listCursor < expandCursor) {
      Slot& s = slots[listCursor];
      if (!s.page) {
        // The start that is no page: its own verdict is its one row.
        if (listCursor == 0 && !s.excluded) {
          if (!s.known) break;
          ListStart(s);
        }
        ++listCursor;
        continue;
      }
      if (!s.logged) {
        s.logged = true;
        if (listCursor > 0) host.AppendLog("Testing: " + s.url);
      }
      if (s.pending > 0) break;
      ListPage(s);
      ++listCursor;
    }
    if (!running) return;
    if (listCursor == slots.size() && expandCursor == slots.size()) {
      Finish();
      return;
    }
    ShowProgress();
  }

  // One row; returns whether it counts as Not Verified (else as an error).
  bool AddRow(const std::string& url, unsigned code, const std::string& text,
              const std::string& page, int line, const std::string& finalUrl,
              const std::string& target) {
    RowDetails details;
    details.code = code;
    details.line = line;
    details.finalUrl = finalUrl;
    details.target = target;
    PutCheckRow(host, host.Rows().GetItemCount(), url, text, page, std::move(details));
    return CheckClassOf(code) == CheckClass::NotVerified;
  }

  void ListStart(Slot& s) {
    int errors = 0, unverified = 0;
    ++found;
    ++judged;
    if (CheckReported(host.FilterMask(), s.code))
      ++(AddRow(s.url, s.code, "", s.url, 0, s.finalUrl, s.url) ? unverified : errors);
    host.AppendLog(ResultsLine(s.url, 1, errors, unverified));
    ++listed;
  }

  void ListPage(Slot& s) {
    const std::string& mask = host.FilterMask();
    int errors = 0, unverified = 0;
    for (size_t i = 0; i < s.links.size(); ++i) {
      const LinkState& state = s.states[i];
      if (!state.tested || !CheckReported(mask, state.code)) continue;
      const PageLink& link = s.links[i];
      ++(AddRow(link.written, state.code, link.text, s.url, link.line, state.finalUrl, state.target)
             ? unverified
             : errors);
    }
    host.AppendLog(ResultsLine(s.url, s.tested, errors, unverified));
    ++listed;
    progressDirty = true;
    // Only the names stay, for later fragment checks.
    s.links = {};
    s.states = {};
    s.base = {};
  }

  void ShowProgress() {
    CProgressDlg* dlg = host.Progress();
    size_t pending = remote->Pending() + fetcher->Pending();
    if (pending != shownPending) {
      shownPending = pending;
      host.SetPaneText(2, pending == 0 ? std::string()
                                       : std::to_string(pending) + " remote checks waiting");
    }
    if (!dlg || !progressDirty || slots.empty()) return;
    progressDirty = false;
    size_t shown = std::min(listCursor, slots.size() - 1);
    dlg->m_strCurrentFile = slots[shown].url;
    dlg->m_strFileIndex = std::to_string(listed + 1);
    dlg->m_strFileTotal = std::to_string(crawlSlots);
    dlg->m_wndFileBar.SetRange(0, static_cast<int>(crawlSlots));
    dlg->m_wndFileBar.SetPos(listed);
    dlg->m_wndLinkBar.SetRange(0, static_cast<int>(std::max<int64_t>(found, 1)));
    dlg->m_wndLinkBar.SetPos(static_cast<int>(judged));
    dlg->m_strCurrentUrl = lastUrl;
    dlg->m_strAnchorText = lastText;
    dlg->m_strLinkIndex = std::to_string(judged);
    dlg->m_strLinkTotal = std::to_string(found);
    host.ProgressUpdate(*dlg);
  }

  void Cancel() {
    running = false;
    if (fetcher) fetcher->CancelAll();
    if (remote) remote->CancelAll();
  }

  void Finish() {
    Cancel();
    host.OnFullCheckEnded();
  }
};

CSiteCrawl::CSiteCrawl(IFullCheckHost& host, IEventLoop& loop, std::string startUrl,
                       CrawlOptions options, const HttpCheckOptions& http,
                       std::unique_ptr<IRemoteChecker> remote)
    : m_pImpl(std::make_unique<Impl>(host, loop)) {
  Impl& d = *m_pImpl;
  d.startText = std::move(startUrl);
  d.options = std::move(options);
  d.http = http;
  d.remote = std::move(remote);
}

CSiteCrawl::~CSiteCrawl() {
  m_pImpl->Cancel();
}

void CSiteCrawl::SetSkipList(CSkipList skip) {
  if (!m_pImpl->running) m_pImpl->skip = std::move(skip);
}

bool CSiteCrawl::Start() {
  Impl& d = *m_pImpl;
  if (d.running) return false;
  UrlParts start = Split(d.startText);
  if (!start.ok) {
    d.error = "\"" + d.startText + "\" is not an http or https address that can be crawled";
    return false;
  }
  if (!d.options.scope.empty()) {
    try {
      d.scope = std::regex(d.options.scope, std::regex::ECMAScript);
      d.hasScope = true;
    } catch (const std::regex_error&) {
      d.error = "the scope \"" + d.options.scope + "\" is not a valid regular expression";
      return false;
    }
  }
  d.scopePrefix = ScopePrefix(start);
  d.fetcher = std::make_unique<CPageFetcher>(d.loop, d.http, d.options.bodyLimit);
  d.running = true;
  d.host.AppendLog("Testing: " + start.url);
  d.host.SetPaneText(1, "Checking links");
  d.host.SetPaneText(2, "");
  // The start is crawled whatever the scope and the limits say.
  d.slots.emplace_back();
  d.slots.back().url = start.url;
  d.slots.back().logged = true;
  d.slotIndex.emplace(start.url, 0);
  d.crawlSlots = 1;
  d.crawlOrigins.insert(start.origin);
  d.StartSlot(0, start);
  return true;
}

const std::string& CSiteCrawl::Error() const {
  return m_pImpl->error;
}

void CSiteCrawl::Stop() {
  m_pImpl->Cancel();
}

bool CSiteCrawl::Running() const {
  return m_pImpl->running;
}

int64_t CSiteCrawl::LinksJudged() const {
  return m_pImpl->judged;
}

int64_t CSiteCrawl::LinksFound() const {
  return m_pImpl->found;
}

int CSiteCrawl::PagesListed() const {
  return m_pImpl->listed;
}

}  // namespace linkward
