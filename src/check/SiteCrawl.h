// CSiteCrawl: the full check of a live site from its address. Pages within
// scope are fetched (GET, body capped) and parsed with the page parser,
// breadth first from the start address, to a depth and a number of pages;
// robots.txt is honoured unless told otherwise. The pages are fetched at
// most the per-host limit at a time, and a host answering 429 or 503 is
// waited for (see CPageFetcher). Each link of a crawled page
// is judged as the full check judges it: an address within scope by the
// page fetch itself (its fragment looked up among the fetched page's ids and
// a-names), any other address on a host pages come from by a fetch of its
// own that ends with the headers (so that the host sees the per-host limit
// for all of them), every other address once by the remote checker. A
// fetch that is not answered with a success is judged by the remote checker
// too, so that its verdict is the remote check's. The rows, log lines ("Testing:",
// "Results for ..."), panes and progress window are the full check's, the
// page's address standing where a file's path stands; pages are listed in
// the order they were found.
//
// Scope: by default the start's origin and paths at or below the start's
// directory ("http://h/docs/a.html" crawls "http://h/docs/..."); with a
// scope pattern, every http(s) address in which the ECMAScript regular
// expression is found. An address found beyond the depth or the page limit,
// or answered with anything but an html page (text/html,
// application/xhtml+xml), is a link target only. An address robots.txt keeps
// the crawler from is not requested and its links are not tested; when that
// is the start, the log says so.
//
// Threading: the loop's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "check/FullCheckHost.h"
#include "check/HttpChecker.h"
#include "check/SkipList.h"
#include "platform/EventLoop.h"

namespace linkward {

struct CrawlOptions {
  std::string scope;           // empty: the start's origin and directory
  int maxDepth = -1;           // links followed from the start; -1: no limit
  int maxPages = 10000;        // addresses within scope fetched, at most
  bool ignoreRobots = false;
  size_t bodyLimit = 10u << 20;  // bytes of a page read
};

// Whether text is an http:// or https:// address (the scheme in any case).
bool IsCrawlAddress(const std::string& text);

class CSiteCrawl {
 public:
  // http: the fetches' wait limit, limits, certificates and User-Agent.
  CSiteCrawl(IFullCheckHost& host, IEventLoop& loop, std::string startUrl, CrawlOptions options,
             const HttpCheckOptions& http, std::unique_ptr<IRemoteChecker> remote);
  ~CSiteCrawl();
  CSiteCrawl(const CSiteCrawl&) = delete;
  CSiteCrawl& operator=(const CSiteCrawl&) = delete;

  // The links not to test; set before Start.
  void SetSkipList(CSkipList skip);
  // Logs the start and starts fetching; false when the start address or the
  // scope pattern cannot be used (nothing started then; see Error). When
  // the last page is listed, the host's OnFullCheckEnded runs (from the loop).
  bool Start();
  const std::string& Error() const;
  // Cancels every request; rows already listed stay. No host call follows.
  void Stop();
  bool Running() const;

  int64_t LinksJudged() const;
  int64_t LinksFound() const;
  int PagesListed() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

}  // namespace linkward
