// CFragmentReader: reads remote pages for the names their #fragments can point
// at, for the full check's remote fragment checks. A GET (redirects
// followed, up to 20, http and https only; certificates verified; the wait
// limit bounds each transfer) whose answer is read up to a size limit and
// parsed for its ids and a-names only when it is HTML; any other answer is
// dropped at its first byte. libcurl's multi interface driven by the event
// loop port, at most maxTransfers (and 16) at once and maxPerHost per host.
//
// Threading: the loop's thread only. done callbacks run from the loop, never
// from within Fetch. The reader uses the loop's timer ids 212 (libcurl's
// timer) and 213 (answers that need no transfer), and readiness watches on
// libcurl's sockets.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "check/HttpChecker.h"
#include "platform/EventLoop.h"

namespace linkward {

struct PageNames {
  bool read = false;               // a 2xx answer came (the body may be cut at the limit)
  bool html = false;               // its type is text/html or application/xhtml+xml (or not given)
  bool cut = false;                // the body went on past the limit: names are of its first part
  std::vector<std::string> names;  // sorted, as ParsedPage::names
};

class CFragmentReader {
 public:
  using DoneFn = std::function<void(const PageNames&)>;
  static constexpr size_t kDefaultLimit = 2 * 1024 * 1024;

  // Of options, the wait limit, the limits at once, the CA file, the
  // User-Agent and the host rules' headers apply (a read with headers
  // follows no redirect).
  CFragmentReader(IEventLoop& loop, const HttpCheckOptions& options,
                  size_t limitBytes = kDefaultLimit);
  ~CFragmentReader();  // cancels everything; removes its watches and timers
  CFragmentReader(const CFragmentReader&) = delete;
  CFragmentReader& operator=(const CFragmentReader&) = delete;

  // REQUIRES: url is an absolute http or https address without a fragment.
  void Fetch(const std::string& url, DoneFn done);
  // Drops every transfer; no done callback runs after.
  void CancelAll();
  size_t Pending() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

}  // namespace linkward
