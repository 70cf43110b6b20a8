// CHttpChecker: judges http://, https:// and ftp:// links for the full check,
// many at a time, with libcurl's multi interface driven by the event loop
// port (socket watches and one timer; no thread per link).
//
// HEAD first, GET when HEAD is answered with an error status or fails;
// redirects followed (at most 10, to http, https and ftp only); certificates
// verified; the wait limit bounds each request; 429 and 503 with a
// Retry-After that fits in the wait limit are retried once. Each distinct URL
// is requested once for the checker's lifetime: a later Check of the same URL
// is answered from the first outcome.
//
// Each request is a HEAD, then a GET when the HEAD is answered with a status
// from 400 up or fails the way servers that mishandle HEAD fail (no answer,
// a broken one); a GET reads at most a few KB of the body. A HEAD that timed
// out, could not connect or failed its TLS handshake is not asked again.
// At most maxTransfers requests run at once and at most maxPerHost per
// "host:port" (a HEAD and its GET hold one slot; libcurl holds a redirect to a
// busy host); each host's URLs start in the order asked, the hosts taking turns.
//
// Threading: the loop's thread only. done callbacks run from the loop, never
// from within Check. The checker uses the loop's timer ids 200 (libcurl's
// timer), 201 (Retry-After waits) and 202 (answers already known), and
// readiness watches on libcurl's sockets.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventLoop.h"

namespace linkward {

// What a project file says about one host: extra request headers (sent to
// that host only, never after a redirect to another host) and its own limit
// on requests at once.
struct HostRule {
  std::string host;                  // lower case, without port
  std::vector<std::string> headers;  // "Name: value", values already expanded
  int maxPerHost = 0;                // 0: the checker's maxPerHost
};

struct HttpCheckOptions {
  int timeoutMs = 15000;  // bounds each request, redirects included
  int maxTransfers = 128;  // 1..256
  int maxPerHost = 2;      // 1..16
  std::string caFile;      // empty: $SSL_CERT_FILE, else the system store
  std::string userAgent;   // empty: the built-in browser-like one
  int maxWaitMs = 60000;   // the longest wait for a Retry-After or a backoff
  std::vector<unsigned> acceptCodes;  // statuses judged OK besides 2xx
  std::vector<HostRule> hostRules;
};

struct HttpOutcome {
  // The outcome to report: when a redirect chain ended in a success, the
  // status of the first redirect (301, 302, 303, 307, 308); otherwise the
  // final status or a failure code (see check/CheckOutcome.h). ftp success
  // gives CHECK_FOUND.
  unsigned code = 0;
  unsigned finalCode = 0;  // the status at the end of the chain (0 when none)
  std::string finalUrl;    // where the chain ended; empty without a redirect
};

// What the full check asks of whatever judges its remote links; tests put a
// scripted judge in its place.
class IRemoteChecker {
 public:
  using DoneFn = std::function<void(const HttpOutcome&)>;
  virtual ~IRemoteChecker() = default;
  // REQUIRES: url is absolute http, https or ftp, without a fragment.
  virtual void Check(const std::string& url, DoneFn done) = 0;
  // Drops every queued and running transfer; no done callback runs after.
  virtual void CancelAll() = 0;
  // Transfers queued or running (distinct URLs; one waiting out a
  // Retry-After counts).
  virtual size_t Pending() const = 0;
};

class CHttpChecker : public IRemoteChecker {
 public:
  CHttpChecker(IEventLoop& loop, HttpCheckOptions options);
  ~CHttpChecker() override;  // cancels everything; removes its watches and timers
  CHttpChecker(const CHttpChecker&) = delete;
  CHttpChecker& operator=(const CHttpChecker&) = delete;

  void Check(const std::string& url, DoneFn done) override;
  void CancelAll() override;
  size_t Pending() const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

}  // namespace linkward
