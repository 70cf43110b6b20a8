// CHttpChecker: judges http://, https:// and ftp:// links for the full check,
// many at a time, with libcurl's multi interface driven by the event loop
// port (socket watches and one timer; no thread per link).
//
// It asks like a browser: HEAD first, with a third of the wait limit; GET
// (with the whole wait limit) when HEAD is answered with anything but 2xx or
// 3xx, fails the way servers that mishandle HEAD fail, or does not answer in
// time. A host that answered HEAD with 405 or 501, or let it hang, gets GET
// for the rest of the run. Requests carry a browser's headers (User-Agent,
// Accept, Accept-Language, Accept-Encoding; bodies decoded by libcurl) and
// the headers of the host's rule. Redirects are followed by the checker
// itself, at most 20, to http and https only ("Redirect Refused" for any
// other scheme); each hop is a request to its own host, with that host's
// headers and limits only. A GET reads at most 16 KB of the body.
//
// Verdicts (see check/CheckOutcome.h): bot protection (999; 403, 429 or 503
// with a challenge header or page), login required (401, 407), rate limited
// (429, or 503 with Retry-After, once the retries are spent or the wait asked
// for is longer than maxWaitMs), no answer (a wait limit run out after its
// retry) and a temporary lookup failure are Not Verified; acceptCodes
// statuses are OK; certificate failures name their cause.
//
// Politeness: 429 and 503 make the host go one request at a time; 429 (and
// 503 with Retry-After) wait the Retry-After (seconds or HTTP date) or 1, 2,
// 4 retryPauseMs with jitter, the whole host paused meanwhile: at most 3
// retries, never more than 4 requests for one address. 5xx, a reset
// connection and a timeout get one retry after retryPauseMs.
//
// Dead hosts cost one lookup: a name libcurl cannot resolve is looked up once
// more by a CNameProbe; a missing name, and a host:port that refuses
// connections, give every later address there its verdict at once. A name
// that failed for a time gets one retry per address, then Not Verified.
//
// Each distinct URL is judged once for the checker's lifetime: a later Check
// of the same URL is answered from the first outcome. At most maxTransfers
// requests run at once and at most maxPerHost (or the host rule's limit) per
// "host:port"; each host's URLs start in the order asked, the hosts taking
// turns.
//
// Threading: the loop's thread only. done callbacks run from the loop (timer
// 202), never from within Check. The checker uses the loop's timer ids 200
// (libcurl's timer), 201 (retry waits), 202 (answers) and 205 (see
// CNameProbe), and readiness watches on libcurl's sockets.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "check/NameProbe.h"
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
  int timeoutMs = 15000;  // the wait limit: bounds each request (a HEAD gets a third of it)
  int maxTransfers = 128;  // 1..256
  int maxPerHost = 2;      // 1..16
  std::string caFile;      // empty: $SSL_CERT_FILE, else the system store
  std::string userAgent;   // empty: the built-in browser-like one
  int maxWaitMs = 60000;   // the longest wait for a Retry-After or a backoff
  std::vector<unsigned> acceptCodes;  // statuses judged OK besides 2xx
  std::vector<HostRule> hostRules;
  int retryPauseMs = 1000;  // the pause before a one-off retry, and the first backoff step
};

struct HttpOutcome {
  // The outcome to report: when a redirect chain ended in a success, the
  // status of the first redirect (301, 302, 303, 307, 308); otherwise the
  // final status or a failure code (see check/CheckOutcome.h). ftp success
  // gives CHECK_FOUND.
  unsigned code = 0;  // its class: CheckClassOf(code)
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
  // lookup: how a name libcurl could not resolve is looked up again (null:
  // the system's resolver).
  CHttpChecker(IEventLoop& loop, HttpCheckOptions options, NameLookupFn lookup = nullptr);
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
