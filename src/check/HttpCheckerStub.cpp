// TEMPORARY stand-in for the HTTP checker so that everything links while the
// real one is built elsewhere: every address is answered, from the loop, with
// "Unspecified Socket Error". It is deleted when the real checker arrives.
#include <deque>
#include <utility>

#include "check/HttpChecker.h"
#include "engine/OutcomeTable.h"

namespace {
constexpr int kStubTimerId = 0x4C57;
}

struct CHttpChecker::Impl {
  IEventLoop& loop;
  std::deque<std::pair<std::string, DoneFn>> queue;
  explicit Impl(IEventLoop& l) : loop(l) {}
};

CHttpChecker::CHttpChecker(IEventLoop& loop, HttpCheckOptions options)
    : m_pImpl(std::make_unique<Impl>(loop)) {
  (void)options;
}

CHttpChecker::~CHttpChecker() {
  CancelAll();
}

void CHttpChecker::Check(const std::string& url, DoneFn done) {
  m_pImpl->queue.emplace_back(url, std::move(done));
  m_pImpl->loop.SetTimer(kStubTimerId, 1, [this](int) {
    m_pImpl->loop.KillTimer(kStubTimerId);
    auto queue = std::move(m_pImpl->queue);
    m_pImpl->queue.clear();
    HttpOutcome outcome;
    outcome.code = SOCKET_ERROR_UNSPECIFIED;
    for (auto& [url, done] : queue) done(outcome);
  });
}

void CHttpChecker::CancelAll() {
  m_pImpl->queue.clear();
  m_pImpl->loop.KillTimer(kStubTimerId);
}

size_t CHttpChecker::Pending() const {
  return m_pImpl->queue.size();
}
