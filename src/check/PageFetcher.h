// CPageFetcher: reads whole answers (GET, body capped) for the site crawl,
// many at a time, with libcurl's multi interface driven by the event loop
// port, as the remote checker is: socket watches and one timer, no thread
// per request.
//
// Requests carry the headers a browser sends (User-Agent naming Linkward,
// Accept, Accept-Language, Accept-Encoding, decoded by libcurl) and a host
// rule's headers, to that host only. Redirects are followed (at most 20, to
// http and https only; hop by hop when host rules add headers, so that no
// header follows a redirect to another host); certificates are
// verified; the wait limit bounds each request. At most maxTransfers
// requests run at once and at most maxPerHost per "host:port" (a host rule's
// own limit where one is set), each host's requests in the order asked, the
// hosts taking turns. A host that answers 429 or 503 is asked one request
// at a time from then on, after its Retry-After (or a backoff of 1, 2, 4 s)
// when that fits in the longest wait; an address is asked at most 4 times.
// A body is read only when the caller wants it for the
// answer's content type (else the transfer ends once the headers are in),
// and at most bodyLimit bytes of it.
//
// Threading: the loop's thread only. done callbacks run from the loop, never
// from within Fetch. The fetcher uses the loop's timer ids 210 (libcurl's)
// and 211 (pauses), and readiness watches on libcurl's sockets.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "check/HttpChecker.h"
#include "platform/EventLoop.h"

namespace linkward {

struct FetchResult {
  bool answered = false;  // a status came (the body may have been cut)
  long status = 0;        // the status at the end of the chain
  long firstStatus = 0;   // the first status of the chain (a redirect's own)
  long redirects = 0;
  std::string effectiveUrl;  // where the chain ended
  std::string contentType;   // lower case, without parameters ("text/html")
  std::string charset;       // its charset parameter as written, "" when none
  std::string body;          // when wanted; at most the body limit
  bool truncated = false;    // the body went past the limit
};

class CPageFetcher {
 public:
  using DoneFn = std::function<void(FetchResult)>;
  // wantBody: asked once the headers are in, with the content type ("" when
  // none) and the address the chain ended at.
  using WantBodyFn = std::function<bool(const std::string& contentType, const std::string& url)>;

  CPageFetcher(IEventLoop& loop, const HttpCheckOptions& options, size_t bodyLimit);
  ~CPageFetcher();  // cancels everything; removes its watches and its timer
  CPageFetcher(const CPageFetcher&) = delete;
  CPageFetcher& operator=(const CPageFetcher&) = delete;

  // REQUIRES: url is absolute http or https, without a fragment.
  void Fetch(const std::string& url, WantBodyFn wantBody, DoneFn done);
  // Drops every queued and running request; no done callback runs after.
  void CancelAll();
  size_t Pending() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

}  // namespace linkward
