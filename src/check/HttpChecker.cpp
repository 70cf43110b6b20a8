#include "check/HttpChecker.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "check/CheckOutcome.h"
#include "results/OutcomeTable.h"

namespace linkward {

namespace {

// The checker's timers; the view's own ids are far below.
constexpr int kCurlTimerId = 200;    // libcurl's one timer
constexpr int kRetryTimerId = 201;   // the earliest Retry-After wait
constexpr int kAnswerTimerId = 202;  // outcomes already known, answered from the loop

// How much of a GET body is read before the transfer is cut short.
constexpr size_t kBodyLimit = 4096;

constexpr const char* kUserAgent = "Linkward/" LINKWARD_VERSION;

// libcurl's process-wide setup, done once before the first handle.
void InitCurlOnce() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The failure code for a transfer that ended without an answer to report.
unsigned FailureCode(CURLcode result, bool redirected) {
  switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return SOCKET_ERROR_HOST_NOT_FOUND;
    case CURLE_COULDNT_CONNECT:
      return SOCKET_ERROR_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return SOCKET_ERROR_TIMEOUT;
    case CURLE_URL_MALFORMAT:
      return SOCKET_ERROR_INVALID_NAME;
    case CURLE_UNSUPPORTED_PROTOCOL:
      // The first address is always http, https or ftp: only a redirect can
      // lead elsewhere.
      return redirected ? CHECK_REDIRECT_REFUSED : SOCKET_ERROR_INVALID_NAME;
    case CURLE_TOO_MANY_REDIRECTS:
      return CHECK_TOO_MANY_REDIRECTS;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
      return CHECK_SECURE_CONNECTION_FAILED;
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
      return CHECK_REMOTE_FILE_NOT_FOUND;
    default:
      return SOCKET_ERROR_UNSPECIFIED;
  }
}

// Failures of a HEAD that a GET may not meet: servers that mishandle HEAD.
bool GetMayHelp(CURLcode result) {
  switch (result) {
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_BAD_CONTENT_ENCODING:
      return true;
    default:
      return false;
  }
}

}  // namespace

struct CHttpChecker::Impl {
  struct Entry;
  // One "host:port", the unit of the per-host limit.
  struct Host {
    int running = 0;             // requests holding one of its slots
    std::deque<Entry*> waiting;  // not started yet, oldest first
  };
  // One distinct URL: its transfer while it runs, its outcome once known.
  struct Entry {
    std::string url;  // as the caller gave it (the cache key)
    Host* host = nullptr;
    std::string curlUrl;  // as parsed and normalised for libcurl
    CURL* easy = nullptr;
    bool get = false;      // this request is the GET (HEAD comes first)
    bool retried = false;  // the one Retry-After retry has been spent
    bool done = false;
    long firstStatus = 0;  // the first status line of this request
    size_t bodyBytes = 0;
    bool bodyCut = false;  // the body was cut short on purpose
    HttpOutcome outcome;
    std::vector<DoneFn> waiters;
  };

  Impl(IEventLoop& loop, HttpCheckOptions options) : loop(loop), options(std::move(options)) {
    InitCurlOnce();
    this->options.maxTransfers = std::clamp(this->options.maxTransfers, 1, 256);
    this->options.maxPerHost = std::clamp(this->options.maxPerHost, 1, 16);
    this->options.timeoutMs = std::max(this->options.timeoutMs, 1);
    if (this->options.caFile.empty()) {
      const char* env = std::getenv("SSL_CERT_FILE");
      if (env && *env) this->options.caFile = env;
    }
    multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &Impl::SocketCallback);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &Impl::TimerCallback);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
    // A backstop under the checker's own queue: a redirect to another host
    // is held by libcurl until that host has a free connection.
    curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, long(this->options.maxTransfers));
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(this->options.maxPerHost));
  }

  ~Impl() {
    *alive = false;
    DropAll();
    curl_multi_cleanup(multi);  // closes the cached connections, removing their watches
    for (int fd : watched) loop.UnwatchSocket(fd);
    loop.KillTimer(kCurlTimerId);
  }

  // libcurl asks for a descriptor to be watched for what, or no longer.
  static int SocketCallback(CURL*, curl_socket_t fd, int what, void* userp, void*) {
    auto* self = static_cast<Impl*>(userp);
    if (what == CURL_POLL_REMOVE) {
      self->loop.UnwatchSocket(fd);
      self->watched.erase(std::remove(self->watched.begin(), self->watched.end(), fd),
                          self->watched.end());
      return 0;
    }
    int events = 0;
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= SocketEvent::Readable;
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= SocketEvent::Writable;
    if (std::find(self->watched.begin(), self->watched.end(), fd) == self->watched.end()) {
      self->watched.push_back(fd);
    }
    self->loop.WatchReadiness(fd, events, [self](int s, int event, int) {
      int mask = 0;
      if (event & SocketEvent::Readable) mask |= CURL_CSELECT_IN;
      if (event & SocketEvent::Writable) mask |= CURL_CSELECT_OUT;
      if (event & SocketEvent::Error) mask |= CURL_CSELECT_ERR;
      self->Drive(s, mask);
    });
    return 0;
  }

  // libcurl asks for its one timer to be set (ms >= 0) or stopped (-1).
  static int TimerCallback(CURLM*, long ms, void* userp) {
    auto* self = static_cast<Impl*>(userp);
    if (ms < 0) {
      self->loop.KillTimer(kCurlTimerId);
    } else {
      self->loop.SetTimer(kCurlTimerId, int(std::min<long>(ms, 1 << 30)), [self](int id) {
        self->loop.KillTimer(id);  // one shot
        self->Drive(CURL_SOCKET_TIMEOUT, 0);
      });
    }
    return 0;
  }

  static size_t HeaderCallback(char* data, size_t size, size_t count, void* userp) {
    auto* entry = static_cast<Entry*>(userp);
    const size_t n = size * count;
    // The first status line of the request: "HTTP/1.1 301 Moved".
    if (entry->firstStatus == 0 && n > 12 && std::string_view(data, 5) == "HTTP/") {
      std::string_view line(data, n);
      size_t space = line.find(' ');
      if (space != std::string_view::npos) {
        entry->firstStatus =
            std::strtol(std::string(line.substr(space + 1, 3)).c_str(), nullptr, 10);
      }
    }
    return n;
  }

  static size_t BodyCallback(char*, size_t size, size_t count, void* userp) {
    auto* entry = static_cast<Entry*>(userp);
    entry->bodyBytes += size * count;
    if (entry->bodyBytes > kBodyLimit) {
      entry->bodyCut = true;
      return 0;  // enough: the status is known, the rest is not needed
    }
    return size * count;
  }

  // Lets libcurl act on a descriptor or its timer, then takes in what finished.
  void Drive(curl_socket_t fd, int mask) {
    std::shared_ptr<bool> living = alive;
    int running = 0;
    curl_multi_socket_action(multi, fd, mask, &running);
    std::vector<std::pair<Entry*, CURLcode>> finished;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg != CURLMSG_DONE) continue;
      Entry* entry = nullptr;
      curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &entry);
      finished.emplace_back(entry, msg->data.result);
    }
    const uint64_t epoch = cancelEpoch;
    for (auto& [entry, result] : finished) {
      // A done callback may have cancelled everything or destroyed the checker.
      if (!*living || cancelEpoch != epoch) return;
      Finished(entry, result);
    }
    if (*living) StartQueued();
  }

  // One request of entry ended with result.
  void Finished(Entry* entry, CURLcode result) {
    CURL* easy = entry->easy;
    long status = 0;
    long redirects = 0;
    char* effective = nullptr;
    curl_off_t retryAfter = -1;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    curl_easy_getinfo(easy, CURLINFO_RETRY_AFTER, &retryAfter);
    curl_multi_remove_handle(multi, easy);

    const bool answered = result == CURLE_OK || (result == CURLE_WRITE_ERROR && entry->bodyCut);
    const bool ftp = entry->curlUrl.compare(0, 4, "ftp:") == 0;
    const bool redirected = redirects > 0 || IsRedirect(entry->firstStatus);

    // 429 and 503 with a wait that fits in the limit: wait, then one more try.
    if (answered && (status == 429 || status == 503) && !entry->retried && retryAfter >= 0 &&
        retryAfter * 1000 <= options.timeoutMs) {
      entry->retried = true;
      entry->get = true;
      ReleaseSlot(entry);
      retries.push_back({loop.NowMs() + int64_t(retryAfter) * 1000, entry});
      ArmRetryTimer();
      return;
    }
    // HEAD answered with an error, or failed the way servers that mishandle
    // HEAD fail: ask again with GET.
    if (!entry->get && !ftp && ((answered && status >= 400) || (!answered && GetMayHelp(result)))) {
      entry->get = true;
      Start(entry);
      return;
    }

    HttpOutcome outcome;
    if (answered) {
      const unsigned finalStatus = ftp ? CHECK_FOUND : unsigned(status);
      outcome.finalCode = ftp ? 0 : unsigned(status);
      const bool success = ftp || status < 400;
      outcome.code = (redirected && success && IsRedirect(entry->firstStatus))
                         ? unsigned(entry->firstStatus)
                         : finalStatus;
    } else {
      outcome.code = FailureCode(result, redirected);
      outcome.finalCode = unsigned(status);
    }
    if (redirected && effective) outcome.finalUrl = effective;
    ReleaseSlot(entry);
    Complete(entry, outcome);
  }

  void Complete(Entry* entry, const HttpOutcome& outcome) {
    if (entry->easy) {
      curl_easy_cleanup(entry->easy);
      entry->easy = nullptr;
    }
    entry->done = true;
    entry->outcome = outcome;
    --pending;
    std::vector<DoneFn> waiters;
    waiters.swap(entry->waiters);
    std::shared_ptr<bool> living = alive;
    const uint64_t epoch = cancelEpoch;
    for (DoneFn& fn : waiters) {
      if (!*living || cancelEpoch != epoch) return;
      if (fn) fn(outcome);
    }
  }

  // Sets up and adds the request (HEAD or GET) of entry to the multi handle.
  void Start(Entry* entry) {
    if (!entry->easy) {
      entry->easy = curl_easy_init();
      CURL* easy = entry->easy;
      curl_easy_setopt(easy, CURLOPT_PRIVATE, entry);
      curl_easy_setopt(easy, CURLOPT_URL, entry->curlUrl.c_str());
      curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
      curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
      curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
      curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
      curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(options.timeoutMs));
      curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(options.timeoutMs));
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
      if (!options.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, options.caFile.c_str());
      curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::HeaderCallback);
      curl_easy_setopt(easy, CURLOPT_HEADERDATA, entry);
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::BodyCallback);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, entry);
    }
    if (entry->get) {
      curl_easy_setopt(entry->easy, CURLOPT_NOBODY, 0L);
      curl_easy_setopt(entry->easy, CURLOPT_HTTPGET, 1L);
    } else {
      curl_easy_setopt(entry->easy, CURLOPT_NOBODY, 1L);
    }
    entry->firstStatus = 0;
    entry->bodyBytes = 0;
    entry->bodyCut = false;
    curl_multi_add_handle(multi, entry->easy);
  }

  // Queues entry on its host (in front: a retry goes first).
  void Enqueue(Entry* entry, bool front) {
    Host& host = *entry->host;
    if (front) {
      host.waiting.push_front(entry);
    } else {
      host.waiting.push_back(entry);
    }
    if (host.running < options.maxPerHost) ready.push_back(&host);
  }

  // Starts waiting URLs while the limits allow: hosts with a free slot take
  // turns, each host's URLs in the order asked.
  void StartQueued() {
    while (running < options.maxTransfers && !ready.empty()) {
      Host* host = ready.front();
      ready.pop_front();
      if (host->waiting.empty() || host->running >= options.maxPerHost) continue;
      Entry* entry = host->waiting.front();
      host->waiting.pop_front();
      ++host->running;
      ++running;
      if (!host->waiting.empty() && host->running < options.maxPerHost) ready.push_back(host);
      Start(entry);
    }
  }

  void ReleaseSlot(Entry* entry) {
    --running;
    Host* host = entry->host;
    --host->running;
    if (!host->waiting.empty()) ready.push_back(host);
  }

  void ArmRetryTimer() {
    if (retries.empty()) {
      loop.KillTimer(kRetryTimerId);
      return;
    }
    auto earliest =
        std::min_element(retries.begin(), retries.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    const int64_t wait = std::max<int64_t>(earliest->first - loop.NowMs(), 0);
    loop.SetTimer(kRetryTimerId, int(wait), [this](int id) {
      loop.KillTimer(id);
      const int64_t now = loop.NowMs();
      for (auto it = retries.begin(); it != retries.end();) {
        if (it->first <= now) {
          Enqueue(it->second, true);
          it = retries.erase(it);
        } else {
          ++it;
        }
      }
      ArmRetryTimer();
      StartQueued();
    });
  }

  // Known outcomes for Check calls, answered from the loop.
  void ArmAnswerTimer() {
    loop.SetTimer(kAnswerTimerId, 0, [this](int id) {
      loop.KillTimer(id);
      std::vector<std::pair<DoneFn, HttpOutcome>> batch;
      batch.swap(answers);
      std::shared_ptr<bool> living = alive;
      const uint64_t epoch = cancelEpoch;
      for (auto& [fn, outcome] : batch) {
        if (!*living || cancelEpoch != epoch) return;
        if (fn) fn(outcome);
      }
    });
  }

  void Check(const std::string& url, DoneFn done) {
    auto found = entries.find(url);
    if (found != entries.end()) {
      Entry& entry = *found->second;
      if (entry.done) {
        answers.emplace_back(std::move(done), entry.outcome);
        ArmAnswerTimer();
      } else {
        entry.waiters.push_back(std::move(done));
      }
      return;
    }
    auto owned = std::make_unique<Entry>();
    Entry* entry = owned.get();
    entry->url = url;
    entry->waiters.push_back(std::move(done));
    entries.emplace(url, std::move(owned));

    // Parse once: a malformed address is answered without a transfer.
    CURLU* parsed = curl_url();
    CURLUcode rc = curl_url_set(parsed, CURLUPART_URL, url.c_str(), CURLU_URLENCODE);
    char* host = nullptr;
    char* port = nullptr;
    char* normal = nullptr;
    if (rc == CURLUE_OK) rc = curl_url_get(parsed, CURLUPART_HOST, &host, 0);
    if (rc == CURLUE_OK) rc = curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT);
    if (rc == CURLUE_OK) rc = curl_url_get(parsed, CURLUPART_URL, &normal, 0);
    if (rc == CURLUE_OK) {
      entry->host = &hosts[std::string(host) + ":" + port];
      entry->curlUrl = normal;
    }
    curl_free(host);
    curl_free(port);
    curl_free(normal);
    curl_url_cleanup(parsed);
    if (rc != CURLUE_OK) {
      entry->done = true;
      entry->outcome.code = SOCKET_ERROR_INVALID_NAME;
      for (DoneFn& fn : entry->waiters) answers.emplace_back(std::move(fn), entry->outcome);
      entry->waiters.clear();
      ArmAnswerTimer();
      return;
    }
    ++pending;
    Enqueue(entry, false);
    StartQueued();
  }

  // Drops every queued, waiting and running request and their callbacks.
  void DropAll() {
    for (auto it = entries.begin(); it != entries.end();) {
      Entry& entry = *it->second;
      if (entry.done) {
        ++it;
        continue;
      }
      if (entry.easy) {
        curl_multi_remove_handle(multi, entry.easy);
        curl_easy_cleanup(entry.easy);
      }
      it = entries.erase(it);
    }
    hosts.clear();
    ready.clear();
    retries.clear();
    answers.clear();
    running = 0;
    pending = 0;
    ++cancelEpoch;
    loop.KillTimer(kRetryTimerId);
    loop.KillTimer(kAnswerTimerId);
  }

  IEventLoop& loop;
  HttpCheckOptions options;
  CURLM* multi = nullptr;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
  std::map<std::string, std::unique_ptr<Entry>> entries;
  // Pointers to the hosts stay valid as the table grows.
  std::unordered_map<std::string, Host> hosts;
  std::deque<Host*> ready;  // hosts with URLs waiting and (maybe) a free slot
  std::vector<std::pair<int64_t, Entry*>> retries;  // waiting out a Retry-After
  std::vector<std::pair<DoneFn, HttpOutcome>> answers;
  int running = 0;     // requests holding a slot
  size_t pending = 0;  // URLs queued, running or waiting to retry
  uint64_t cancelEpoch = 0;
  std::vector<int> watched;  // descriptors libcurl has asked to be watched
};

CHttpChecker::CHttpChecker(IEventLoop& loop, HttpCheckOptions options)
    : m_pImpl(std::make_unique<Impl>(loop, std::move(options))) {}

CHttpChecker::~CHttpChecker() = default;

void CHttpChecker::Check(const std::string& url, DoneFn done) {
  m_pImpl->Check(url, std::move(done));
}

void CHttpChecker::CancelAll() {
  m_pImpl->DropAll();
}

size_t CHttpChecker::Pending() const {
  return m_pImpl->pending;
}

}  // namespace linkward
