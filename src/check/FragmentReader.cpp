#include "check/FragmentReader.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <deque>

#include "check/CurlMulti.h"
#include "check/PageParser.h"

namespace linkward {

namespace {

constexpr int kCurlTimerId = 212;
constexpr int kAnswerTimerId = 213;
constexpr int kMaxAtOnce = 16;

bool IsHtmlType(const char* type) {
  if (!type) return true;  // not told: read it as a browser would, as a page
  std::string t(type);
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t.compare(0, 9, "text/html") == 0 || t.compare(0, 21, "application/xhtml+xml") == 0;
}

// The lower-case host of url; empty when it has none.
std::string HostOf(const std::string& url) {
  CURLU* h = curl_url();
  char* host = nullptr;
  std::string out;
  if (h && curl_url_set(h, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(h, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
    out = host;
    curl_free(host);
  }
  curl_url_cleanup(h);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

struct CFragmentReader::Impl {
  struct Transfer {
    Impl* owner = nullptr;
    CURL* easy = nullptr;
    std::string body;
    bool checked = false;  // the status and type were looked at
    PageNames page;
    DoneFn done;
    curl_slist* headers = nullptr;  // the host rule's
    ~Transfer() { curl_slist_free_all(headers); }
  };

  IEventLoop& loop;
  HttpCheckOptions options;
  size_t limit;
  std::vector<std::unique_ptr<Transfer>> running;
  std::deque<std::unique_ptr<Transfer>> failed;  // answered from timer 211
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
  // libcurl's multi handle; the last member, so the first destroyed.
  CCurlMulti curl{loop, kCurlTimerId,
                  [this](CURL* easy, void*, CURLcode result) { Finished(easy, result); }};

  Impl(IEventLoop& l, const HttpCheckOptions& o, size_t bytes) : loop(l), options(o), limit(bytes) {
    static const bool init = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)init;
    if (options.caFile.empty()) {
      const char* env = std::getenv("SSL_CERT_FILE");
      if (env && *env) options.caFile = env;
    }
    // Each read holds up to the limit in memory: a few at once are enough.
    curl_multi_setopt(curl.Handle(), CURLMOPT_MAX_TOTAL_CONNECTIONS,
                      long(std::clamp(options.maxTransfers, 1, kMaxAtOnce)));
    curl_multi_setopt(curl.Handle(), CURLMOPT_MAX_HOST_CONNECTIONS,
                      long(std::clamp(options.maxPerHost, 1, 16)));
  }

  ~Impl() {
    *alive = false;
    DropAll();  // then curl, destroyed first, closes the cached connections
  }

  void DropAll() {
    for (auto& t : running) {
      curl.Remove(t->easy);
      curl_easy_cleanup(t->easy);
    }
    running.clear();
    failed.clear();
    loop.KillTimer(kAnswerTimerId);
  }

  // The answer's status and type decide at its first byte whether it is read.
  static size_t BodyCallback(char* data, size_t size, size_t count, void* userp) {
    auto* t = static_cast<Transfer*>(userp);
    const size_t n = size * count;
    if (!t->checked) {
      t->checked = true;
      long status = 0;
      char* type = nullptr;
      curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
      curl_easy_getinfo(t->easy, CURLINFO_CONTENT_TYPE, &type);
      t->page.read = status >= 200 && status < 300;
      t->page.html = t->page.read && IsHtmlType(type);
      if (!t->page.html) return 0;
    }
    const size_t room = t->owner->limit - t->body.size();
    if (n > room) {
      t->body.append(data, room);
      t->page.cut = true;
      return 0;  // enough: the first part is what is read
    }
    t->body.append(data, n);
    return n;
  }

  // One transfer ended with result (a done callback may destroy the reader).
  void Finished(CURL* easy, CURLcode result) {
    auto it = std::find_if(running.begin(), running.end(),
                           [easy](const auto& t) { return t->easy == easy; });
    if (it == running.end()) return;  // dropped by a done callback
    std::unique_ptr<Transfer> t = std::move(*it);
    running.erase(it);
    long status = 0;
    if (!t->checked && result == CURLE_OK) {
      // An answer without a body.
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
      t->page.read = status >= 200 && status < 300;
      t->page.html = false;
    } else if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && t->checked)) {
      t->page = PageNames{};  // no answer that tells
    }
    if (t->page.html) {
      t->page.names = ParsePage(t->body.data(), t->body.size(), true).names;
    }
    curl.Remove(t->easy);
    curl_easy_cleanup(t->easy);
    std::string().swap(t->body);
    t->done(t->page);
  }

  void Fail(DoneFn done) {
    auto t = std::make_unique<Transfer>();
    t->done = std::move(done);
    failed.push_back(std::move(t));
    loop.SetTimer(kAnswerTimerId, 0, [this](int id) {
      loop.KillTimer(id);
      std::shared_ptr<bool> living = alive;
      while (*living && !failed.empty()) {
        std::unique_ptr<Transfer> t = std::move(failed.front());
        failed.pop_front();
        t->done(t->page);
      }
    });
  }

  void Fetch(const std::string& url, DoneFn done) {
    auto t = std::make_unique<Transfer>();
    t->owner = this;
    t->done = std::move(done);
    t->easy = curl_easy_init();
    if (!t->easy) return Fail(std::move(t->done));
    CURL* easy = t->easy;
    const long wait = std::max(options.timeoutMs, 1);
    const std::string agent =
        options.userAgent.empty() ? std::string("Linkward/" LINKWARD_VERSION) : options.userAgent;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());  // libcurl keeps a copy
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // A host rule's headers go to that host only: its answer is taken as it
    // comes, without following a redirect elsewhere (the address read is
    // already where the link's chain ended).
    const std::string host = HostOf(url);
    for (const HostRule& rule : options.hostRules) {
      if (rule.host != host) continue;
      for (const std::string& header : rule.headers)
        t->headers = curl_slist_append(t->headers, header.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t->headers);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, t->headers ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, wait);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, wait);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, options.caFile.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::BodyCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, t.get());
    if (curl.Add(easy) != CURLM_OK) {
      curl_easy_cleanup(easy);
      return Fail(std::move(t->done));
    }
    running.push_back(std::move(t));
  }
};

CFragmentReader::CFragmentReader(IEventLoop& loop, const HttpCheckOptions& options,
                                 size_t limitBytes)
    : m_pImpl(std::make_unique<Impl>(loop, options, limitBytes)) {}

CFragmentReader::~CFragmentReader() = default;

void CFragmentReader::Fetch(const std::string& url, DoneFn done) {
  m_pImpl->Fetch(url, std::move(done));
}

void CFragmentReader::CancelAll() {
  m_pImpl->DropAll();
}

size_t CFragmentReader::Pending() const {
  return m_pImpl->running.size() + m_pImpl->failed.size();
}

}  // namespace linkward
