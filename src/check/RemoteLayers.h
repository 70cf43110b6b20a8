// The layers the full check's choices put around its remote judge: the check
// history (check/CheckHistory.h), then the archived-copy lookups
// (check/ArchiveChecker.h).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "check/FullCheck.h"

namespace linkward {

// Wraps remote in the layers full asks for (none: remote as it is). warn
// receives what a layer has to tell the user (a history that cannot be used,
// a failed lookup); waitMs bounds each lookup. Sets *notes to what the rows
// of an address are told, or to an empty function when no layer is added.
std::unique_ptr<IRemoteChecker> AddRemoteLayers(
    IEventLoop& loop, std::unique_ptr<IRemoteChecker> remote, const FullCheckOptions& full,
    int waitMs, const std::function<void(const std::string&)>& warn,
    std::function<RemoteNotes(const std::string&)>* notes);

}  // namespace linkward
