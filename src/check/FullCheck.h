// CFullCheck: the full check of a file list. Pages are read and parsed on
// worker threads (page order, a bounded distance ahead of the listing) and
// their local links resolved and looked up there; the loop's thread judges
// fragments, hands remote links to an IRemoteChecker (each distinct address
// once), and lists each file's rows once all its links and all earlier files
// are judged, through its host: the same rows, log lines, summaries, panes
// and progress window as the standard test.
//
// Threading: every member is called on the loop's thread; workers share only
// the job and result queues and wake the loop through a socket pair.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "check/FragmentReader.h"
#include "check/FullCheckHost.h"
#include "check/HttpChecker.h"
#include "check/SkipList.h"
#include "platform/StringList.h"

namespace linkward {

// The full check's choices.
struct FullCheckOptions {
  bool enabled = false;
  std::string root;  // root-relative links start here; empty: the chosen file's directory
  int maxTransfers = 128;
  int maxPerHost = 2;
  std::string caFile;
  std::vector<std::string> skipPatterns;  // "Skip links matching": see CSkipList
  std::string userAgent;                  // see HttpCheckOptions
  int maxWaitMs = 60000;
  std::vector<unsigned> acceptCodes;
  std::vector<HostRule> hostRules;
  // A site checked before it is published (see CSiteMap, CFragmentReader):
  std::string siteUrl;     // links into it are judged as the files under root; empty: none
  bool cleanUrls = false;  // a missing "/about" is found as "about.html"
  std::vector<std::string> indexNames{"index.html", "index.htm"};  // a directory's page
  bool checkFragments = false;  // #fragments of remote pages are looked for in them
  // The check history (see check/CheckHistory.h): kept when useHistory;
  // readHistory false (--no-cache) reuses and reads nothing but still records.
  bool useHistory = false;
  bool readHistory = true;
  std::string historyPath;  // empty: the default place
  int64_t maxAgeSeconds = 86400;
  // Archived copies of broken remote links (see check/ArchiveChecker.h).
  bool suggestArchive = false;
  std::string archiveEndpoint;  // empty: the Wayback Machine's
};

// What the rows of a remote address are told besides its outcome.
struct RemoteNotes {
  std::string history;     // what the check history says
  std::string archiveUrl;  // an archived copy of a broken address
};

using RemoteCheckerFactory =
    std::function<std::unique_ptr<IRemoteChecker>(IEventLoop&, const HttpCheckOptions&)>;

class CFullCheck {
 public:
  // root: an existing directory. parseThreads: 0 for one per processor.
  CFullCheck(IFullCheckHost& host, IEventLoop& loop, StringList files, const std::string& root,
             std::unique_ptr<IRemoteChecker> remote, int parseThreads = 0);
  ~CFullCheck();  // stops and waits for the workers
  CFullCheck(const CFullCheck&) = delete;
  CFullCheck& operator=(const CFullCheck&) = delete;

  // The links not to test; set before Start.
  void SetSkipList(CSkipList skip);
  // The site choices of options (site URL, clean URLs, index names), and what
  // reads remote pages for their fragments (null: remote fragments are not
  // looked for); set before Start. False when the site URL is not an http or
  // https address (nothing is set then).
  bool SetSite(const FullCheckOptions& options, std::unique_ptr<CFragmentReader> fetcher);
  // What is known of a remote address once it is judged, beyond its outcome
  // (see CHistoryChecker::Note, CArchiveChecker::ArchiveUrl), for the rows;
  // set before Start.
  void SetRemoteNotes(std::function<RemoteNotes(const std::string& url)> notes);
  // Logs the first file and starts the workers; false when no file is
  // given or the workers cannot be woken (nothing started then). When the
  // last file is listed, the host's OnFullCheckEnded runs (from the loop).
  bool Start();
  // Cancels the remote checks and stops the workers without waiting; rows
  // already listed stay. No host call follows.
  void Stop();
  bool Running() const;

  // Links judged and links found so far (links that are not tested excluded).
  int64_t LinksJudged() const;
  int64_t LinksFound() const;
  // Links a skip pattern took out, in the pages read so far.
  int64_t LinksSkipped() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

}  // namespace linkward
