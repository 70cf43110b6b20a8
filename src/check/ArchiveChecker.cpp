#include "check/ArchiveChecker.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "check/CheckHistory.h"
#include "check/CurlMulti.h"

namespace linkward {

namespace {

constexpr int kArchiveTimerId = 204;
constexpr int kLookupsAtOnce = 2;
constexpr size_t kAnswerLimit = 64 * 1024;

}  // namespace

std::string ArchivedCopyFromAnswer(const std::string& json) {
  const nlohmann::json answer = nlohmann::json::parse(json, nullptr, false);
  if (!answer.is_object()) return "";
  const auto snapshots = answer.find("archived_snapshots");
  if (snapshots == answer.end() || !snapshots->is_object()) return "";
  const auto closest = snapshots->find("closest");
  if (closest == snapshots->end() || !closest->is_object()) return "";
  const auto available = closest->find("available");
  const auto url = closest->find("url");
  if (available == closest->end() || *available != true || url == closest->end() ||
      !url->is_string())
    return "";
  std::string copy = url->get<std::string>();
  // Only a web address is offered as a link's new target.
  if (copy.rfind("http://", 0) != 0 && copy.rfind("https://", 0) != 0) return "";
  return copy;
}

struct CArchiveChecker::Impl {
  struct Lookup {
    std::string url;
    HttpOutcome outcome;
    DoneFn done;
    CURL* easy = nullptr;
    std::string body;
    bool tooLong = false;
  };

  IEventLoop& loop;
  std::unique_ptr<IRemoteChecker> inner;
  ArchiveOptions options;
  WarnFn warn;
  bool warned = false;
  std::deque<std::unique_ptr<Lookup>> queued;
  std::vector<std::unique_ptr<Lookup>> running;
  std::unordered_map<std::string, std::string> copies;
  // libcurl's multi handle; the last member, so the first destroyed.
  CCurlMulti curl{loop, kArchiveTimerId,
                  [this](CURL*, void* data, CURLcode result) {
                    Finished(static_cast<Lookup*>(data), result);
                  },
                  [this] { StartQueued(); }};

  Impl(IEventLoop& l, std::unique_ptr<IRemoteChecker> i, ArchiveOptions o, WarnFn w)
      : loop(l), inner(std::move(i)), options(std::move(o)), warn(std::move(w)) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
    if (options.caFile.empty()) {
      const char* env = std::getenv("SSL_CERT_FILE");
      if (env && *env) options.caFile = env;
    }
  }

  ~Impl() {
    DropAll();  // then curl, destroyed first, closes the cached connections
  }

  void DropAll() {
    for (auto& lookup : running) {
      curl.Remove(lookup->easy);
      curl_easy_cleanup(lookup->easy);
    }
    running.clear();
    queued.clear();
    curl.Interrupt();  // no lookup finished before this is taken in
  }

  static size_t BodyCallback(char* data, size_t size, size_t count, void* userp) {
    auto* lookup = static_cast<Lookup*>(userp);
    const size_t n = size * count;
    if (lookup->body.size() + n > kAnswerLimit) {
      lookup->tooLong = true;
      return 0;
    }
    lookup->body.append(data, n);
    return n;
  }

  void Warn(const std::string& why) {
    if (warned || !warn) return;
    warned = true;
    warn("The archive lookup at " + options.endpoint + " failed (" + why +
         "); broken links may lack an archived copy.");
  }

  void StartQueued() {
    while (running.size() < size_t(kLookupsAtOnce) && !queued.empty()) {
      std::unique_ptr<Lookup> lookup = std::move(queued.front());
      queued.pop_front();
      CURL* easy = curl_easy_init();
      lookup->easy = easy;
      char* escaped = curl_easy_escape(easy, lookup->url.c_str(), int(lookup->url.size()));
      const std::string request = options.endpoint +
                                  (options.endpoint.find('?') == std::string::npos ? "?" : "&") +
                                  "url=" + (escaped ? escaped : "");
      curl_free(escaped);
      curl_easy_setopt(easy, CURLOPT_URL, request.c_str());
      curl_easy_setopt(easy, CURLOPT_PRIVATE, lookup.get());
      curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(easy, CURLOPT_USERAGENT, "Linkward/" LINKWARD_VERSION);
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
      curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
      curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
      curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
      curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(std::max(options.timeoutMs, 1)));
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
      curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
      if (!options.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, options.caFile.c_str());
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::BodyCallback);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, lookup.get());
      curl.Add(easy);
      running.push_back(std::move(lookup));
    }
  }

  void Finished(Lookup* raw, CURLcode result) {
    auto it = std::find_if(running.begin(), running.end(),
                           [raw](const auto& l) { return l.get() == raw; });
    if (it == running.end()) return;
    std::unique_ptr<Lookup> lookup = std::move(*it);
    running.erase(it);
    long status = 0;
    curl_easy_getinfo(lookup->easy, CURLINFO_RESPONSE_CODE, &status);
    curl.Remove(lookup->easy);
    curl_easy_cleanup(lookup->easy);
    lookup->easy = nullptr;
    if (result != CURLE_OK && !lookup->tooLong) {
      Warn(curl_easy_strerror(result));
    } else if (status != 200) {
      Warn("HTTP " + std::to_string(status));
    } else {
      std::string copy = ArchivedCopyFromAnswer(lookup->body);
      if (!copy.empty()) copies[lookup->url] = std::move(copy);
    }
    if (lookup->done) lookup->done(lookup->outcome);
  }
};

CArchiveChecker::CArchiveChecker(IEventLoop& loop, std::unique_ptr<IRemoteChecker> inner,
                                 ArchiveOptions options, WarnFn warn)
    : m_pImpl(std::make_unique<Impl>(loop, std::move(inner), std::move(options), std::move(warn))) {
}

CArchiveChecker::~CArchiveChecker() {
  m_pImpl->inner.reset();  // no outcome arrives after this
}

void CArchiveChecker::Check(const std::string& url, DoneFn done) {
  Impl& d = *m_pImpl;
  d.inner->Check(url, [&d, url, done = std::move(done)](const HttpOutcome& outcome) {
    if (ClassifyRemote(outcome, d.options.acceptCodes) != CheckClass::Broken) {
      if (done) done(outcome);
      return;
    }
    auto lookup = std::make_unique<Impl::Lookup>();
    lookup->url = url;
    lookup->outcome = outcome;
    lookup->done = done;
    d.queued.push_back(std::move(lookup));
    d.StartQueued();
  });
}

void CArchiveChecker::CancelAll() {
  m_pImpl->inner->CancelAll();
  m_pImpl->DropAll();
}

size_t CArchiveChecker::Pending() const {
  return m_pImpl->inner->Pending() + m_pImpl->queued.size() + m_pImpl->running.size();
}

std::string CArchiveChecker::ArchiveUrl(const std::string& url) const {
  auto it = m_pImpl->copies.find(url);
  return it == m_pImpl->copies.end() ? std::string() : it->second;
}

}  // namespace linkward
