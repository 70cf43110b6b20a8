#include "check/PageFetcher.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "check/CurlMulti.h"

namespace linkward {

namespace {

constexpr int kCurlTimerId = 210;
constexpr int kPauseTimerId = 211;
// Tries of one address that a host may answer with 429 or 503 before the
// answer stands.
constexpr int kMaxTries = 4;
constexpr long kMaxRedirects = 20;

void InitCurlOnce() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

// "host:port" of url, lower case; "" when it cannot be parsed.
std::string HostKey(const std::string& url) {
  CURLU* h = curl_url();
  std::string key;
  char* host = nullptr;
  char* port = nullptr;
  if (h && curl_url_set(h, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(h, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      curl_url_get(h, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    key = std::string(host) + ":" + port;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  curl_free(host);
  curl_free(port);
  if (h) curl_url_cleanup(h);
  return key;
}

// The charset parameter of a Content-Type value ("text/html; charset=utf-8"
// gives "utf-8"), quotes removed; "" when it has none.
std::string CharsetOf(const std::string& type) {
  std::string lower = type;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (size_t semi = lower.find(';'); semi != std::string::npos; semi = lower.find(';', semi + 1)) {
    size_t name = lower.find_first_not_of(" \t", semi + 1);
    if (name == std::string::npos || lower.compare(name, 8, "charset=") != 0) continue;
    size_t begin = name + 8;
    if (begin < type.size() && type[begin] == '"') {
      size_t close = type.find('"', begin + 1);
      return type.substr(begin + 1, close == std::string::npos ? close : close - begin - 1);
    }
    size_t end = type.find_first_of("; \t", begin);
    return type.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  }
  return std::string();
}

}  // namespace

struct CPageFetcher::Impl {
  struct Host;
  struct Entry {
    std::string url;
    WantBodyFn wantBody;
    DoneFn done;
    Host* host = nullptr;
    CURL* easy = nullptr;
    Impl* self = nullptr;
    FetchResult result;
    bool decided = false;  // whether the body is wanted has been asked
    bool keep = false;
    size_t limit = 0;      // the most body bytes kept
    bool stopped = false;  // the transfer was ended on purpose (body not wanted, or full)
    int tries = 0;
    curl_slist* headers = nullptr;  // this hop's, when host rules add headers
    ~Entry() { curl_slist_free_all(headers); }
  };
  struct Host {
    int running = 0;
    int limit = 2;
    int64_t pausedUntil = 0;  // after a 429 or 503: no request before (loop time)
    std::deque<Entry*> waiting;
  };

  IEventLoop& loop;
  HttpCheckOptions options;
  size_t bodyLimit;
  std::unordered_map<std::string, Host> hosts;
  std::deque<Host*> turns;  // hosts with waiting entries, in turn order
  std::unordered_map<Entry*, std::unique_ptr<Entry>> entries;
  int running = 0;
  std::string userAgent;
  curl_slist* headers = nullptr;  // what a browser asks for
  // Some host rule adds headers: redirects are then followed hop by hop, so
  // that a host's headers go to that host only.
  bool ruleHeaders = false;

  Impl(IEventLoop& l, const HttpCheckOptions& o, size_t limit)
      : loop(l), options(o), bodyLimit(limit) {
    InitCurlOnce();
    options.maxTransfers = std::clamp(options.maxTransfers, 1, 256);
    options.maxPerHost = std::clamp(options.maxPerHost, 1, 16);
    options.timeoutMs = std::max(options.timeoutMs, 1);
    if (options.caFile.empty()) {
      const char* env = std::getenv("SSL_CERT_FILE");
      if (env && *env) options.caFile = env;
    }
    userAgent =
        options.userAgent.empty() ? std::string("Linkward/" LINKWARD_VERSION) : options.userAgent;
    headers = curl_slist_append(
        headers, "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    headers = curl_slist_append(headers, "Accept-Language: en;q=0.9,*;q=0.5");
    for (const HostRule& rule : options.hostRules) ruleHeaders |= !rule.headers.empty();
    curl_multi_setopt(curl.Handle(), CURLMOPT_MAX_TOTAL_CONNECTIONS, long(options.maxTransfers));
    curl_multi_setopt(curl.Handle(), CURLMOPT_MAX_HOST_CONNECTIONS, long(options.maxPerHost));
  }

  ~Impl() {
    DropAll();  // then curl, destroyed first, closes the cached connections
    curl_slist_free_all(headers);
  }

  static size_t HeaderCallback(char* data, size_t size, size_t count, void* userp) {
    auto* entry = static_cast<Entry*>(userp);
    const size_t n = size * count;
    if (entry->result.firstStatus == 0 && n > 12 && std::string_view(data, 5) == "HTTP/") {
      std::string_view line(data, n);
      size_t space = line.find(' ');
      if (space != std::string_view::npos) {
        entry->result.firstStatus =
            std::strtol(std::string(line.substr(space + 1, 3)).c_str(), nullptr, 10);
      }
    }
    return n;
  }

  static size_t BodyCallback(char* data, size_t size, size_t count, void* userp) {
    auto* entry = static_cast<Entry*>(userp);
    const size_t n = size * count;
    if (entry->self->ruleHeaders && entry->self->IsHop(entry->easy)) return n;  // a redirect's body
    if (!entry->decided) {
      entry->decided = true;
      char* type = nullptr;
      char* url = nullptr;
      curl_easy_getinfo(entry->easy, CURLINFO_CONTENT_TYPE, &type);
      curl_easy_getinfo(entry->easy, CURLINFO_EFFECTIVE_URL, &url);
      std::string kind = type ? type : "";
      entry->result.charset = CharsetOf(kind);
      kind = kind.substr(0, kind.find(';'));
      while (!kind.empty() && kind.back() == ' ') kind.pop_back();
      for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      entry->result.contentType = kind;
      entry->keep = entry->wantBody && entry->wantBody(kind, url ? url : "");
    }
    if (!entry->keep) {
      entry->stopped = true;
      return 0;
    }
    size_t room = std::min(n, entry->limit - std::min(entry->limit, entry->result.body.size()));
    entry->result.body.append(data, room);
    if (room < n) {
      entry->result.truncated = true;
      entry->stopped = true;
      return 0;
    }
    return n;
  }

  void Finished(Entry* entry, CURLcode code) {
    CURL* easy = entry->easy;
    FetchResult& r = entry->result;
    char* effective = nullptr;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &r.status);
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &r.redirects);
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    if (effective) r.effectiveUrl = effective;
    if (r.contentType.empty() && !entry->decided) {
      char* type = nullptr;
      curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type);
      std::string kind = type ? type : "";
      r.charset = CharsetOf(kind);
      kind = kind.substr(0, kind.find(';'));
      for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      r.contentType = kind;
    }
    r.answered =
        r.status > 0 && (code == CURLE_OK || (code == CURLE_WRITE_ERROR && entry->stopped));
    std::string next;
    if (ruleHeaders && code == CURLE_OK && IsHop(easy)) {
      char* location = nullptr;
      curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
      next = location;
    }
    curl_off_t retryAfter = -1;
    curl_easy_getinfo(easy, CURLINFO_RETRY_AFTER, &retryAfter);
    curl.Remove(easy);
    curl_easy_cleanup(easy);
    entry->easy = nullptr;
    --entry->host->running;
    --running;
    if (!next.empty() && r.redirects < kMaxRedirects) {
      // The next hop, with its own host's headers (the host's limits are the
      // first address's, as when libcurl follows).
      ++r.redirects;
      entry->url = next;
      r.contentType.clear();
      r.charset.clear();
      r.body.clear();
      r.truncated = false;
      entry->decided = entry->keep = entry->stopped = false;
      Start(entry);
      return;
    }
    if (r.answered && (r.status == 429 || r.status == 503) && ++entry->tries < kMaxTries) {
      // The host asks for less: one request at a time, after its Retry-After
      // or a backoff (1, 2, 4 s with jitter), when the wait fits in the limit.
      int64_t wait = retryAfter >= 0 ? int64_t(retryAfter) * 1000
                                     : (int64_t(1000) << (entry->tries - 1)) + std::rand() % 250;
      if (wait <= options.maxWaitMs) {
        Host& host = *entry->host;
        host.limit = 1;
        host.pausedUntil = std::max(host.pausedUntil, loop.NowMs() + wait);
        entry->result = FetchResult();
        entry->decided = entry->keep = entry->stopped = false;
        if (host.waiting.empty()) turns.push_back(&host);
        host.waiting.push_front(entry);
        return;
      }
    }
    std::unique_ptr<Entry> owned = std::move(entries[entry]);
    entries.erase(entry);
    if (owned->done) owned->done(std::move(owned->result));
  }

  // Whether easy's answer is a redirect this fetcher follows itself.
  static bool IsHop(CURL* easy) {
    long status = 0;
    char* location = nullptr;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
    return (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
           location && *location;
  }

  void Start(Entry* entry) {
    CURL* easy = curl_easy_init();
    entry->easy = easy;
    curl_easy_setopt(easy, CURLOPT_PRIVATE, entry);
    curl_easy_setopt(easy, CURLOPT_URL, entry->url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, ruleHeaders ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_slist_free_all(entry->headers);
    entry->headers = nullptr;
    if (ruleHeaders) {
      // The browser's headers and this host's own, for this hop only.
      for (curl_slist* h = headers; h; h = h->next)
        entry->headers = curl_slist_append(entry->headers, h->data);
      std::string key = HostKey(entry->url);
      std::string name = key.substr(0, key.rfind(':'));
      for (const HostRule& rule : options.hostRules) {
        if (rule.host != name) continue;
        for (const std::string& header : rule.headers)
          entry->headers = curl_slist_append(entry->headers, header.c_str());
      }
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, entry->headers ? entry->headers : headers);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(options.timeoutMs));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(options.timeoutMs));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, options.caFile.c_str());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, entry);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::BodyCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, entry);
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    ++entry->host->running;
    ++running;
    curl.Add(easy);
  }

  // Starts waiting entries while there is room, the hosts taking turns.
  void StartQueued() {
    size_t idle = 0;  // hosts passed over in a row because they are full
    const int64_t now = loop.NowMs();
    int64_t wake = 0;  // the end of the first pause that holds a host back
    while (running < options.maxTransfers && !turns.empty() && idle < turns.size()) {
      Host* host = turns.front();
      turns.pop_front();
      if (host->pausedUntil > now) {
        wake = wake == 0 ? host->pausedUntil : std::min(wake, host->pausedUntil);
      }
      if (host->running >= host->limit || host->pausedUntil > now) {
        turns.push_back(host);
        ++idle;
        continue;
      }
      idle = 0;
      Entry* entry = host->waiting.front();
      host->waiting.pop_front();
      if (!host->waiting.empty()) turns.push_back(host);
      Start(entry);
    }
    if (wake > 0) {
      loop.SetTimer(kPauseTimerId, int(std::max<int64_t>(wake - now, 1)), [this](int id) {
        loop.KillTimer(id);  // one shot
        StartQueued();
      });
    }
  }

  void DropAll() {
    curl.Interrupt();  // the round's other finished transfers are dropped
    for (auto& [raw, entry] : entries) {
      if (entry->easy) {
        curl.Remove(entry->easy);
        curl_easy_cleanup(entry->easy);
      }
    }
    entries.clear();
    hosts.clear();
    turns.clear();
    running = 0;
    loop.KillTimer(kPauseTimerId);
  }

  // libcurl's multi handle; the last member, so the first destroyed.
  CCurlMulti curl{
      loop, kCurlTimerId,
      [this](CURL*, void* data, CURLcode result) { Finished(static_cast<Entry*>(data), result); },
      [this] { StartQueued(); }};
};

CPageFetcher::CPageFetcher(IEventLoop& loop, const HttpCheckOptions& options, size_t bodyLimit)
    : m_pImpl(std::make_unique<Impl>(loop, options, bodyLimit)) {}

CPageFetcher::~CPageFetcher() = default;

void CPageFetcher::Fetch(const std::string& url, WantBodyFn wantBody, DoneFn done) {
  Impl& d = *m_pImpl;
  auto entry = std::make_unique<Impl::Entry>();
  entry->url = url;
  entry->self = m_pImpl.get();
  entry->limit = d.bodyLimit;
  entry->wantBody = std::move(wantBody);
  entry->done = std::move(done);
  std::string key = HostKey(url);
  auto [it, inserted] = d.hosts.try_emplace(key);
  Impl::Host& host = it->second;
  if (inserted) {
    host.limit = d.options.maxPerHost;
    std::string name = key.substr(0, key.rfind(':'));
    for (const HostRule& rule : d.options.hostRules) {
      if (rule.host == name && rule.maxPerHost > 0) host.limit = std::clamp(rule.maxPerHost, 1, 16);
    }
  }
  entry->host = &host;
  if (host.waiting.empty()) d.turns.push_back(&host);
  host.waiting.push_back(entry.get());
  d.entries.emplace(entry.get(), std::move(entry));
  d.StartQueued();
}

void CPageFetcher::CancelAll() {
  m_pImpl->DropAll();
}

size_t CPageFetcher::Pending() const {
  return m_pImpl->entries.size();
}

}  // namespace linkward
