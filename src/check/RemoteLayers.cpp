#include "check/RemoteLayers.h"

#include "check/ArchiveChecker.h"
#include "check/CheckHistory.h"

namespace linkward {

std::unique_ptr<IRemoteChecker> AddRemoteLayers(
    IEventLoop& loop, std::unique_ptr<IRemoteChecker> remote, const FullCheckOptions& full,
    int waitMs, const std::function<void(const std::string&)>& warn,
    std::function<RemoteNotes(const std::string&)>* notes) {
  CHistoryChecker* history = nullptr;
  if (full.useHistory) {
    HistoryOptions kept{full.historyPath, full.maxAgeSeconds, full.readHistory, full.acceptCodes};
    auto layer = std::make_unique<CHistoryChecker>(loop, std::move(remote), std::move(kept), warn);
    history = layer.get();
    remote = std::move(layer);
  }
  CArchiveChecker* archive = nullptr;
  if (full.suggestArchive) {
    ArchiveOptions asked{
        full.archiveEndpoint.empty() ? DEFAULT_ARCHIVE_ENDPOINT : full.archiveEndpoint, waitMs,
        full.caFile, full.acceptCodes};
    auto layer = std::make_unique<CArchiveChecker>(loop, std::move(remote), std::move(asked), warn);
    archive = layer.get();
    remote = std::move(layer);
  }
  *notes = nullptr;
  if (history || archive) {
    *notes = [history, archive](const std::string& url) {
      return RemoteNotes{history ? history->Note(url) : std::string(),
                         archive ? archive->ArchiveUrl(url) : std::string()};
    };
  }
  return remote;
}

}  // namespace linkward
