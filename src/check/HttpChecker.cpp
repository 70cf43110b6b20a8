#include "check/HttpChecker.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "check/CheckOutcome.h"
#include "check/CurlMulti.h"
#include "results/OutcomeTable.h"

namespace linkward {

namespace {

// The checker's timers; the view's own ids are far below.
constexpr int kCurlTimerId = 200;    // libcurl's one timer
constexpr int kRetryTimerId = 201;   // the earliest retry wait
constexpr int kAnswerTimerId = 202;  // outcomes known, answered from the loop

// How much of a GET body is read (a challenge page shows itself early).
constexpr size_t kBodyLimit = 16384;
constexpr int kMaxRedirects = 20;
constexpr int kMaxRequests = 4;  // for one address of a chain
constexpr int kMaxWaits = 3;     // Retry-After or backoff waits for one address

constexpr const char* kUserAgent = "Mozilla/5.0 (compatible; Linkward/" LINKWARD_VERSION ")";
constexpr const char* kBrowserHeaders[] = {
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8",
    "Accept-Language: en-US,en;q=0.5",
};

// What challenge pages of the common bot protections hold near their top.
constexpr std::string_view kChallengeMarks[] = {
    "challenge-platform", "cf-chl-", "cf_chl_", "<title>Just a moment...</title>",
    "_Incapsula_Resource", "captcha-delivery.com", "/_sec/cp_challenge", "px-captcha",
};

// OpenSSL's verify results that name a cause.
constexpr long kVerifyOk = 0;
constexpr long kVerifyCertificateExpired = 10;  // X509_V_ERR_CERT_HAS_EXPIRED
constexpr long kVerifyHostnameMismatch = 62;    // X509_V_ERR_HOSTNAME_MISMATCH

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

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// An address taken apart by libcurl's URL parser; false when it is not one.
struct Address {
  std::string normal, scheme, host, port;
};
bool ParseAddress(const std::string& url, Address* out) {
  CURLU* parsed = curl_url();
  CURLUcode rc = curl_url_set(parsed, CURLUPART_URL, url.c_str(), CURLU_URLENCODE);
  char* parts[4] = {};
  const CURLUPart which[4] = {CURLUPART_URL, CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT};
  for (int i = 0; i < 4 && rc == CURLUE_OK; ++i)
    rc = curl_url_get(parsed, which[i], &parts[i], i == 3 ? CURLU_DEFAULT_PORT : 0);
  if (rc == CURLUE_OK) *out = {parts[0], Lower(parts[1]), Lower(parts[2]), parts[3]};
  for (char* part : parts) curl_free(part);
  curl_url_cleanup(parsed);
  return rc == CURLUE_OK;
}

// The failure code for a transfer that ended without an answer to report.
unsigned FailureCode(CURLcode result) {
  switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return SOCKET_ERROR_HOST_NOT_FOUND;
    case CURLE_COULDNT_CONNECT:
      return SOCKET_ERROR_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return SOCKET_ERROR_TIMEOUT;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return SOCKET_ERROR_INVALID_NAME;
    case CURLE_SSL_CONNECT_ERROR:
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

// A certificate libcurl refused: why, as far as the verify result and the
// error text tell.
unsigned CertificateCode(long verify, const char* error) {
  // libcurl checks the name itself once OpenSSL accepted the chain, and says so.
  const std::string text = Lower(error);
  if (verify == kVerifyHostnameMismatch || text.find("subject name") != std::string::npos ||
      text.find("does not match") != std::string::npos)
    return CHECK_CERTIFICATE_NAME_MISMATCH;
  if (verify == kVerifyCertificateExpired) return CHECK_CERTIFICATE_EXPIRED;
  if (verify != kVerifyOk) return CHECK_CERTIFICATE_NOT_TRUSTED;
  return CHECK_SECURE_CONNECTION_FAILED;
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

// A connection the server reset or closed without an answer: worth one retry.
bool IsReset(CURLcode result) {
  return result == CURLE_GOT_NOTHING || result == CURLE_RECV_ERROR || result == CURLE_SEND_ERROR;
}

}  // namespace

struct CHttpChecker::Impl {
  struct Entry;
  // One "host:port", the unit of the per-host limit and of the memory of
  // refused connections and HEAD-hostile servers.
  struct Host {
    std::string name;            // lower case
    const HostRule* rule = nullptr;
    int limit = 1;               // requests at once; 1 once it asked to slow down
    int running = 0;             // requests holding one of its slots
    std::deque<Entry*> waiting;  // not started yet, oldest first (retries in front)
    int64_t pausedUntil = 0;     // no request starts before (a Retry-After or backoff)
    bool headHostile = false;    // HEAD answered 405 or 501, or hung: GET only
    bool refused = false;        // refused a connection: every later address there too
  };
  // What is known of a host name for the run.
  enum class NameState : uint8_t {
    Unknown,  // resolves, or not tried yet
    Probing,  // libcurl could not resolve it; the probe is asking
    Missing,  // does not exist
    ForNow,   // failed for a time: each address gets one retry
    Failed,   // failed for a time, and again on a retry
  };
  struct Name {
    NameState state = NameState::Unknown;
    std::vector<Entry*> parked;  // waiting for the probe's answer
  };
  // One distinct URL: its requests while it is judged, its outcome once known.
  struct Entry {
    std::string url;  // as the caller gave it (the cache key)
    Host* host = nullptr;
    std::string hopUrl;  // the address asked now (after hops redirects), normalised
    bool ftp = false;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::unique_ptr<char[]> error;  // libcurl's error text, while a request runs
    bool get = false;       // this request is a GET (HEAD comes first)
    int hops = 0;           // redirects followed
    long firstRedirect = 0;  // the status of the first redirect
    int requests = 0;       // requests for hopUrl so far
    int waits = 0;          // Retry-After or backoff waits for hopUrl
    bool retried = false;   // the one retry of a 5xx, reset or timeout is spent
    bool lookupRetried = false;
    bool done = false;
    long status = 0;        // the last status line of this request
    bool challenge = false;  // a bot protection's challenge header
    std::string body;        // the first kBodyLimit bytes
    bool bodyCut = false;    // the body was cut short on purpose
    HttpOutcome outcome;
    std::vector<DoneFn> waiters;
  };

  Impl(IEventLoop& loop, HttpCheckOptions options, NameLookupFn lookup)
      : loop(loop),
        options(std::move(options)),
        probe(loop, std::move(lookup),
              [this](const std::string& name, NameAnswer answer) { OnProbed(name, answer); }),
        random(std::random_device{}()) {
    InitCurlOnce();
    HttpCheckOptions& o = this->options;
    o.maxTransfers = std::clamp(o.maxTransfers, 1, 256);
    o.maxPerHost = std::clamp(o.maxPerHost, 1, 16);
    o.timeoutMs = std::max(o.timeoutMs, 1);
    o.maxWaitMs = std::max(o.maxWaitMs, 0);
    o.retryPauseMs = std::max(o.retryPauseMs, 0);
    if (o.caFile.empty()) {
      const char* env = std::getenv("SSL_CERT_FILE");
      if (env && *env) o.caFile = env;
    }
    if (o.userAgent.empty()) o.userAgent = kUserAgent;
    long perHost = o.maxPerHost;
    for (HostRule& rule : o.hostRules) {
      rule.host = Lower(rule.host);
      if (rule.maxPerHost > 0) rule.maxPerHost = std::clamp(rule.maxPerHost, 1, 16);
      perHost = std::max<long>(perHost, rule.maxPerHost);
    }
    // A backstop under the checker's own limits.
    curl_multi_setopt(curl.Handle(), CURLMOPT_MAX_TOTAL_CONNECTIONS, long(o.maxTransfers));
    curl_multi_setopt(curl.Handle(), CURLMOPT_MAX_HOST_CONNECTIONS, perHost);
  }

  ~Impl() {
    *alive = false;
    DropAll();  // then curl, destroyed first, closes the cached connections
  }

  static size_t HeaderCallback(char* data, size_t size, size_t count, void* userp) {
    auto* entry = static_cast<Entry*>(userp);
    const size_t n = size * count;
    std::string_view line(data, n);
    if (line.substr(0, 5) == "HTTP/") {
      // A status line ("HTTP/1.1 403 Forbidden"); a 1xx one is followed by another.
      size_t space = line.find(' ');
      if (space != std::string_view::npos) {
        entry->status = std::strtol(std::string(line.substr(space + 1, 3)).c_str(), nullptr, 10);
        entry->challenge = false;
      }
    } else if (n > 13 && Lower(line.substr(0, 13)) == "cf-mitigated:") {
      entry->challenge = Lower(line.substr(13)).find("challenge") != std::string::npos;
    }
    return n;
  }

  static size_t BodyCallback(char* data, size_t size, size_t count, void* userp) {
    auto* entry = static_cast<Entry*>(userp);
    const size_t n = size * count;
    if (entry->body.size() + n > kBodyLimit) {
      entry->body.append(data, kBodyLimit - entry->body.size());
      entry->bodyCut = true;
      return 0;  // enough: the status is known, the rest is not needed
    }
    entry->body.append(data, n);
    return n;
  }

  // One request of entry ended with result.
  void Finished(Entry* entry, CURLcode result) {
    CURL* easy = entry->easy;
    curl_off_t retryAfter = -1;
    char* location = nullptr;
    long verify = kVerifyOk;
    curl_easy_getinfo(easy, CURLINFO_RETRY_AFTER, &retryAfter);
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
    curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
    const std::string redirect = location ? location : "";
    curl.Remove(easy);
    ReleaseSlot(entry);

    // libcurl refuses a header line over 100 KB, which browsers take: the
    // status line before it is the answer.
    const bool answered = result == CURLE_OK || (result == CURLE_WRITE_ERROR && entry->bodyCut) ||
                          (result == CURLE_OUT_OF_MEMORY && entry->status > 0);
    if (result == CURLE_COULDNT_RESOLVE_HOST) {
      LookupFailed(entry);
      return;
    }
    Name& name = names[entry->host->name];
    if (name.state == NameState::ForNow) name.state = NameState::Unknown;  // resolves again
    if (entry->ftp) {
      // One request, no retry: a file there, or not.
      if (result == CURLE_COULDNT_CONNECT) entry->host->refused = true;
      Fail(entry, answered                             ? CHECK_FOUND
                  : result == CURLE_OPERATION_TIMEDOUT ? NoAnswer()
                                                       : FailureCode(result));
      return;
    }
    if (answered) {
      Answered(entry, entry->status, retryAfter, redirect);
    } else {
      Failed(entry, result, verify);
    }
  }

  void Answered(Entry* entry, long status, curl_off_t retryAfter, const std::string& redirect) {
    Host& host = *entry->host;
    if (std::find(options.acceptCodes.begin(), options.acceptCodes.end(), unsigned(status)) !=
        options.acceptCodes.end()) {
      Succeed(entry, CHECK_FOUND);
      return;
    }
    if (IsRedirect(status) && !redirect.empty()) {
      Redirect(entry, status, redirect);
      return;
    }
    if (status < 400) {
      Succeed(entry, unsigned(status));
      return;
    }
    if (status == 999 || ((status == 403 || status == 429 || status == 503) && Challenged(*entry))) {
      Fail(entry, CHECK_BOT_PROTECTION + unsigned(status));
      return;
    }
    const int64_t now = loop.NowMs();
    if (status == 429 || (status == 503 && retryAfter >= 0)) {
      host.limit = 1;
      const int64_t wait = retryAfter >= 0 ? int64_t(retryAfter) * 1000 : Backoff(entry->waits);
      if (entry->waits >= kMaxWaits || entry->requests >= kMaxRequests ||
          wait > options.maxWaitMs) {
        Fail(entry, CHECK_RATE_LIMITED + unsigned(status));
        return;
      }
      ++entry->waits;
      entry->get = true;
      host.pausedUntil = std::max(host.pausedUntil, now + wait);
      RetryAt(entry, now + wait);
      return;
    }
    if (status == 503) host.limit = 1;
    if (!entry->get) {
      if (status == 405 || status == 501) host.headHostile = true;
      entry->get = true;
      Enqueue(entry, true);
      return;
    }
    if (status >= 500 && !entry->retried && entry->requests < kMaxRequests) {
      entry->retried = true;
      RetryAt(entry, now + options.retryPauseMs);
      return;
    }
    if (status == 401 || status == 407) {
      Fail(entry, CHECK_LOGIN_REQUIRED + unsigned(status));
      return;
    }
    Fail(entry, unsigned(status));
  }

  void Failed(Entry* entry, CURLcode result, long verify) {
    Host& host = *entry->host;
    const bool again = !entry->retried && entry->requests < kMaxRequests;
    switch (result) {
      case CURLE_COULDNT_CONNECT:
        host.refused = true;
        break;
      case CURLE_OPERATION_TIMEDOUT:
        if (!entry->get) {
          host.headHostile = true;
          entry->get = true;
          Enqueue(entry, true);
          return;
        }
        if (again) {
          entry->retried = true;
          RetryAt(entry, loop.NowMs() + options.retryPauseMs);
          return;
        }
        Fail(entry, NoAnswer());
        return;
      case CURLE_PEER_FAILED_VERIFICATION:
        Fail(entry, CertificateCode(verify, entry->error.get()));
        return;
      default:
        if (GetMayHelp(result) && !entry->get) {
          entry->get = true;
          Enqueue(entry, true);
          return;
        }
        if (IsReset(result) && again) {
          entry->retried = true;
          RetryAt(entry, loop.NowMs() + options.retryPauseMs);
          return;
        }
        break;
    }
    Fail(entry, FailureCode(result));
  }

  // "No Answer in N s", N the wait limit.
  unsigned NoAnswer() const {
    return CHECK_NO_ANSWER + unsigned(std::min((options.timeoutMs + 999) / 1000, 999));
  }

  // Whether an answer is a bot protection's challenge: its header, or its page.
  static bool Challenged(const Entry& entry) {
    if (entry.challenge) return true;
    for (std::string_view mark : kChallengeMarks) {
      if (entry.body.find(mark) != std::string::npos) return true;
    }
    return false;
  }

  // The wait before retry number waits + 1 without a Retry-After: 1, 2, 4
  // pauses, each up to a quarter longer at random.
  int64_t Backoff(int waits) {
    const int64_t base = int64_t(options.retryPauseMs) << std::min(waits, 10);
    return base + std::uniform_int_distribution<int64_t>(0, base / 4)(random);
  }

  void Redirect(Entry* entry, long status, const std::string& to) {
    if (entry->hops == 0) entry->firstRedirect = status;
    if (entry->hops >= kMaxRedirects) {
      Fail(entry, CHECK_TOO_MANY_REDIRECTS);
      return;
    }
    Address next;
    if (!ParseAddress(to, &next) || (next.scheme != "http" && next.scheme != "https")) {
      Fail(entry, CHECK_REDIRECT_REFUSED);
      return;
    }
    ++entry->hops;
    entry->hopUrl = next.normal;
    entry->host = &HostFor(next.host, next.port);
    entry->requests = 0;
    entry->waits = 0;
    entry->retried = false;
    entry->lookupRetried = false;
    Enqueue(entry, true);
  }

  // libcurl could not resolve the name of entry's host.
  void LookupFailed(Entry* entry) {
    const std::string& hostName = entry->host->name;
    Name& name = names[hostName];
    switch (name.state) {
      case NameState::Unknown:
        name.state = NameState::Probing;
        name.parked.push_back(entry);
        probe.Probe(hostName);
        return;
      case NameState::Probing:
        name.parked.push_back(entry);
        return;
      case NameState::Missing:
        Fail(entry, SOCKET_ERROR_HOST_NOT_FOUND);
        return;
      case NameState::ForNow:
        if (!entry->lookupRetried) {
          entry->lookupRetried = true;
          RetryAt(entry, loop.NowMs() + options.retryPauseMs);
          return;
        }
        name.state = NameState::Failed;
        Fail(entry, CHECK_LOOKUP_FAILED_FOR_NOW);
        return;
      case NameState::Failed:
        Fail(entry, CHECK_LOOKUP_FAILED_FOR_NOW);
        return;
    }
  }

  // The probe's answer for a name libcurl could not resolve.
  void OnProbed(const std::string& hostName, NameAnswer answer) {
    Name& name = names[hostName];
    std::vector<Entry*> parked;
    parked.swap(name.parked);
    name.state = answer == NameAnswer::Missing ? NameState::Missing : NameState::ForNow;
    for (Entry* entry : parked) {
      if (answer == NameAnswer::Missing) {
        Fail(entry, SOCKET_ERROR_HOST_NOT_FOUND);
      } else {
        entry->lookupRetried = true;
        RetryAt(entry, loop.NowMs() + options.retryPauseMs);
      }
    }
    StartQueued();
  }

  // The verdict for an address that need not be asked, or 0.
  unsigned KnownVerdict(const Host& host) const {
    if (host.refused) return SOCKET_ERROR_CONNECT;
    auto name = names.find(host.name);
    if (name == names.end()) return 0;
    if (name->second.state == NameState::Missing) return SOCKET_ERROR_HOST_NOT_FOUND;
    if (name->second.state == NameState::Failed) return CHECK_LOOKUP_FAILED_FOR_NOW;
    return 0;
  }

  void Succeed(Entry* entry, unsigned code) {
    Finish(entry, entry->hops > 0 && IsRedirect(entry->firstRedirect)
                      ? unsigned(entry->firstRedirect)
                      : code);
  }
  void Fail(Entry* entry, unsigned code) { Finish(entry, code); }

  // entry's outcome is known: its waiters are answered from the loop.
  void Finish(Entry* entry, unsigned code) {
    entry->outcome.code = code;
    entry->outcome.finalCode = entry->ftp ? 0 : unsigned(entry->status);
    if (entry->hops > 0) entry->outcome.finalUrl = entry->hopUrl;
    if (entry->easy) {
      curl_easy_cleanup(entry->easy);
      entry->easy = nullptr;
    }
    curl_slist_free_all(entry->headers);
    entry->headers = nullptr;
    entry->error.reset();
    std::string().swap(entry->body);  // only the outcome stays for the run
    entry->done = true;
    --pending;
    for (DoneFn& fn : entry->waiters) answers.emplace_back(std::move(fn), entry->outcome);
    entry->waiters.clear();
    ArmAnswerTimer();
  }

  // Sets up and adds the next request (HEAD or GET) of entry to the multi handle.
  void Start(Entry* entry) {
    if (!entry->easy) {
      entry->easy = curl_easy_init();
      CURL* easy = entry->easy;
      curl_easy_setopt(easy, CURLOPT_PRIVATE, entry);
      curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(easy, CURLOPT_USERAGENT, options.userAgent.c_str());
      curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
      curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);  // followed here, hop by hop
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
      if (!options.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, options.caFile.c_str());
      entry->error = std::make_unique<char[]>(CURL_ERROR_SIZE);
      curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, entry->error.get());
      curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::HeaderCallback);
      curl_easy_setopt(easy, CURLOPT_HEADERDATA, entry);
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::BodyCallback);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, entry);
    }
    CURL* easy = entry->easy;
    curl_easy_setopt(easy, CURLOPT_URL, entry->hopUrl.c_str());
    // The browser's headers, and the host's own: a new list for each hop.
    curl_slist_free_all(entry->headers);
    entry->headers = nullptr;
    if (!entry->ftp) {
      for (const char* header : kBrowserHeaders)
        entry->headers = curl_slist_append(entry->headers, header);
      if (const HostRule* rule = entry->host->rule) {
        for (const std::string& header : rule->headers)
          entry->headers = curl_slist_append(entry->headers, header.c_str());
      }
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, entry->headers);
    if (entry->host->headHostile) entry->get = true;
    const bool head = !entry->get && !entry->ftp;
    const long limit = head ? std::max(options.timeoutMs / 3, 1) : options.timeoutMs;
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, limit);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, limit);
    if (entry->get) {
      curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
      curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
      curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    }
    entry->status = 0;
    entry->challenge = false;
    entry->body.clear();
    entry->bodyCut = false;
    entry->error[0] = '\0';
    ++entry->requests;
    curl.Add(easy);
  }

  Host& HostFor(const std::string& name, const std::string& port) {
    auto [it, made] = hosts.try_emplace(name + ":" + port);
    Host& host = it->second;
    if (made) {
      host.name = name;
      host.limit = options.maxPerHost;
      for (const HostRule& rule : options.hostRules) {
        if (rule.host != name) continue;
        host.rule = &rule;
        if (rule.maxPerHost > 0) host.limit = rule.maxPerHost;
        break;
      }
    }
    return host;
  }

  // Queues entry on its host (in front: a retry or a redirect goes first).
  void Enqueue(Entry* entry, bool front) {
    Host& host = *entry->host;
    if (front) {
      host.waiting.push_front(entry);
    } else {
      host.waiting.push_back(entry);
    }
    if (host.running < host.limit) ready.push_back(&host);
  }

  // Starts waiting URLs while the limits allow: hosts with a free slot take
  // turns, each host's URLs in the order asked. An address whose host is
  // known to be dead gets that verdict without a request.
  void StartQueued() {
    const int64_t now = loop.NowMs();
    while (running < options.maxTransfers && !ready.empty()) {
      Host* host = ready.front();
      ready.pop_front();
      if (host->waiting.empty() || host->running >= host->limit) continue;
      if (host->pausedUntil > now) continue;  // the retry that waits brings it back
      Entry* entry = host->waiting.front();
      host->waiting.pop_front();
      const unsigned known = KnownVerdict(*host);
      auto name = names.find(host->name);
      if (known != 0) {
        Fail(entry, known);
      } else if (name != names.end() && name->second.state == NameState::Probing) {
        name->second.parked.push_back(entry);
      } else {
        ++host->running;
        ++running;
        Start(entry);
      }
      if (!host->waiting.empty() && host->running < host->limit) ready.push_back(host);
    }
  }

  void ReleaseSlot(Entry* entry) {
    --running;
    Host* host = entry->host;
    --host->running;
    if (!host->waiting.empty()) ready.push_back(host);
  }

  void RetryAt(Entry* entry, int64_t when) {
    retries.push_back({when, entry});
    ArmRetryTimer();
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
    loop.SetTimer(kRetryTimerId, int(std::min<int64_t>(wait, 1 << 30)), [this](int id) {
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

  // Known outcomes, answered from the loop.
  void ArmAnswerTimer() {
    loop.SetTimer(kAnswerTimerId, 0, [this](int id) {
      loop.KillTimer(id);
      std::vector<std::pair<DoneFn, HttpOutcome>> batch;
      batch.swap(answers);
      std::shared_ptr<bool> living = alive;
      const uint64_t epoch = cancelEpoch;
      for (auto& [fn, outcome] : batch) {
        // A done callback may have cancelled everything or destroyed the checker.
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
    ++pending;
    // Parse once: a malformed address is answered without a request.
    Address address;
    if (!ParseAddress(url, &address)) {
      Fail(entry, SOCKET_ERROR_INVALID_NAME);
      return;
    }
    entry->hopUrl = address.normal;
    entry->ftp = address.scheme == "ftp";
    entry->host = &HostFor(address.host, address.port);
    Enqueue(entry, false);
    StartQueued();
  }

  // Drops every queued, waiting and running request and their callbacks.
  // What is known of hosts and names stays.
  void DropAll() {
    for (auto it = entries.begin(); it != entries.end();) {
      Entry& entry = *it->second;
      if (entry.done) {
        ++it;
        continue;
      }
      if (entry.easy) {
        curl.Remove(entry.easy);
        curl_easy_cleanup(entry.easy);
      }
      curl_slist_free_all(entry.headers);
      it = entries.erase(it);
    }
    for (auto& [key, host] : hosts) {
      host.running = 0;
      host.waiting.clear();
    }
    for (auto& [key, name] : names) name.parked.clear();
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
  CNameProbe probe;
  std::minstd_rand random;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
  std::map<std::string, std::unique_ptr<Entry>> entries;
  // Pointers to the hosts stay valid as the tables grow.
  std::unordered_map<std::string, Host> hosts;
  std::unordered_map<std::string, Name> names;
  std::deque<Host*> ready;  // hosts with URLs waiting and (maybe) a free slot
  std::vector<std::pair<int64_t, Entry*>> retries;  // waiting to be asked again
  std::vector<std::pair<DoneFn, HttpOutcome>> answers;
  int running = 0;     // requests holding a slot
  size_t pending = 0;  // URLs not judged yet
  uint64_t cancelEpoch = 0;
  // libcurl's multi handle; the last member, so the first destroyed.
  CCurlMulti curl{loop, kCurlTimerId,
                  [this](CURL*, void* data, CURLcode result) {
                    // No caller's code runs from here (outcomes are answered from a timer).
                    Finished(static_cast<Entry*>(data), result);
                  },
                  [this] { StartQueued(); }};
};

CHttpChecker::CHttpChecker(IEventLoop& loop, HttpCheckOptions options, NameLookupFn lookup)
    : m_pImpl(std::make_unique<Impl>(loop, std::move(options), std::move(lookup))) {}

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
