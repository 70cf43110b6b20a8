// CNameProbe: tells a name that does not exist from one whose lookup failed
// for a time. libcurl gives one error for both; the probe asks the system's
// resolver itself, on a thread of its own (one per name, once per run), and
// hands the answer to the loop's thread.
//
// Threading: Probe and the done callback run on the loop's thread. A probe
// still running when the object goes keeps only its own shared state alive
// and reports to no one. Uses the loop's timer id 205 when no thread can start.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventLoop.h"

namespace linkward {

enum class NameAnswer { Found, Missing, Temporary };

// Looks name up and says what the resolver answered; blocks. Replaceable for
// tests (a resolver that fails for a time cannot be had on demand).
using NameLookupFn = std::function<NameAnswer(const std::string& name)>;

// getaddrinfo: EAI_NONAME, EAI_NODATA and EAI_FAIL are Missing; EAI_AGAIN
// and every other failure Temporary.
NameAnswer SystemNameLookup(const std::string& name);

class CNameProbe {
 public:
  using DoneFn = std::function<void(const std::string& name, NameAnswer answer)>;
  // lookup: null for SystemNameLookup.
  CNameProbe(IEventLoop& loop, NameLookupFn lookup, DoneFn done);
  ~CNameProbe();  // removes its watch; running lookups report to no one
  CNameProbe(const CNameProbe&) = delete;
  CNameProbe& operator=(const CNameProbe&) = delete;

  // Starts looking name up; done follows from the loop. When no thread can
  // be started the answer is Temporary, still from the loop.
  void Probe(const std::string& name);

 private:
  struct Channel;
  void OnReadable();
  void Deliver(const std::vector<std::string>& names, NameAnswer answer);

  static constexpr int kFallbackTimerId = 205;

  IEventLoop& m_loop;
  NameLookupFn m_lookup;
  DoneFn m_done;
  std::shared_ptr<Channel> m_pChannel;
  bool m_bWatching = false;
  std::vector<std::string> m_unanswered;  // answered Temporary from the loop (no thread)
  std::shared_ptr<bool> m_pAlive = std::make_shared<bool>(true);
};

}  // namespace linkward
