// CArchiveChecker: a remote judge that, for each address its inner judge
// finds broken, asks a web archive's availability service (the Wayback
// Machine's by default) for the closest archived copy before the outcome is
// given on. Opt-in: it sends the broken addresses to a third party.
//
// The service is asked GET ENDPOINT?url=ADDRESS and answers JSON such as
//   {"archived_snapshots": {"closest": {"available": true, "url": "...", ...}}}
// At most two lookups run at once. A lookup that fails (no answer, an error
// status, a body that is not such JSON) leaves the address without a copy;
// the first failure is told through warn, once.
//
// Threading: the loop's thread only. The checker uses the loop's timer id 204
// (libcurl's timer) and readiness watches on libcurl's sockets.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "check/HttpChecker.h"

namespace linkward {

constexpr const char* DEFAULT_ARCHIVE_ENDPOINT = "https://archive.org/wayback/available";

struct ArchiveOptions {
  std::string endpoint = DEFAULT_ARCHIVE_ENDPOINT;
  int timeoutMs = 15000;
  std::string caFile;                 // empty: $SSL_CERT_FILE, else the system store
  std::vector<unsigned> acceptCodes;  // statuses judged OK besides 2xx
};

// The archived copy an availability answer names, or "" when it names none.
std::string ArchivedCopyFromAnswer(const std::string& json);

class CArchiveChecker : public IRemoteChecker {
 public:
  using WarnFn = std::function<void(const std::string& text)>;
  CArchiveChecker(IEventLoop& loop, std::unique_ptr<IRemoteChecker> inner, ArchiveOptions options,
                  WarnFn warn);
  ~CArchiveChecker() override;  // drops the lookups; removes its watches and timer
  CArchiveChecker(const CArchiveChecker&) = delete;
  CArchiveChecker& operator=(const CArchiveChecker&) = delete;

  void Check(const std::string& url, DoneFn done) override;
  void CancelAll() override;
  size_t Pending() const override;

  // The archived copy found for url once its outcome was given; "" when none.
  std::string ArchiveUrl(const std::string& url) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

}  // namespace linkward
