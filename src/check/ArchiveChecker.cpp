#include "check/ArchiveChecker.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "check/CheckHistory.h"

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
  CURLM* multi = nullptr;
  std::vector<int> watched;
  std::deque<std::unique_ptr<Lookup>> queued;
  std::vector<std::unique_ptr<Lookup>> running;
  std::unordered_map<std::string, std::string> copies;
  uint64_t epoch = 0;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  Impl(IEventLoop& l, std::unique_ptr<IRemoteChecker> i, ArchiveOptions o, WarnFn w)
      : loop(l), inner(std::move(i)), options(std::move(o)), warn(std::move(w)) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
    if (options.caFile.empty()) {
      const char* env = std::getenv("SSL_CERT_FILE");
      if (env && *env) options.caFile = env;
    }
    multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &Impl::SocketCallback);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &Impl::TimerCallback);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
  }

  ~Impl() {
    *alive = false;
    DropAll();
    curl_multi_cleanup(multi);
    for (int fd : watched) loop.UnwatchSocket(fd);
    loop.KillTimer(kArchiveTimerId);
  }

  void DropAll() {
    ++epoch;
    for (auto& lookup : running) {
      curl_multi_remove_handle(multi, lookup->easy);
      curl_easy_cleanup(lookup->easy);
    }
    running.clear();
    queued.clear();
  }

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
    if (std::find(self->watched.begin(), self->watched.end(), fd) == self->watched.end())
      self->watched.push_back(fd);
    self->loop.WatchReadiness(fd, events, [self](int s, int event, int) {
      int mask = 0;
      if (event & SocketEvent::Readable) mask |= CURL_CSELECT_IN;
      if (event & SocketEvent::Writable) mask |= CURL_CSELECT_OUT;
      if (event & SocketEvent::Error) mask |= CURL_CSELECT_ERR;
      self->Drive(s, mask);
    });
    return 0;
  }

  static int TimerCallback(CURLM*, long ms, void* userp) {
    auto* self = static_cast<Impl*>(userp);
    if (ms < 0) {
      self->loop.KillTimer(kArchiveTimerId);
    } else {
      self->loop.SetTimer(kArchiveTimerId, int(std::min<long>(ms, 1 << 30)), [self](int id) {
        self->loop.KillTimer(id);
        self->Drive(CURL_SOCKET_TIMEOUT, 0);
      });
    }
    return 0;
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
      curl_multi_add_handle(multi, easy);
      running.push_back(std::move(lookup));
    }
  }

  void Drive(curl_socket_t fd, int mask) {
    std::shared_ptr<bool> living = alive;
    int still = 0;
    curl_multi_socket_action(multi, fd, mask, &still);
    std::vector<std::pair<Lookup*, CURLcode>> finished;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg != CURLMSG_DONE) continue;
      Lookup* lookup = nullptr;
      curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &lookup);
      finished.emplace_back(lookup, msg->data.result);
    }
    const uint64_t asked = epoch;
    for (auto& [lookup, result] : finished) {
      if (!*living || epoch != asked) return;
      Finished(lookup, result);
    }
    if (*living && epoch == asked) StartQueued();
  }

  void Finished(Lookup* raw, CURLcode result) {
    auto it = std::find_if(running.begin(), running.end(),
                           [raw](const auto& l) { return l.get() == raw; });
    if (it == running.end()) return;
    std::unique_ptr<Lookup> lookup = std::move(*it);
    running.erase(it);
    long status = 0;
    curl_easy_getinfo(lookup->easy, CURLINFO_RESPONSE_CODE, &status);
    curl_multi_remove_handle(multi, lookup->easy);
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
