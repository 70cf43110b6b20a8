// The program's own directories.
//
// Config directory: $XDG_CONFIG_HOME/linkward, else ~/.config/linkward. It
// holds the key store (registry.db), Linkward.INI for the one-time import and
// the desktop program's profile.
// Runtime directory: a private directory of this running program, mode 0700,
// under $XDG_RUNTIME_DIR, else $XDG_CACHE_HOME, else ~/.cache; created on first
// use, so two running copies never share scratch files.
#pragma once

#include <string>

namespace linkward::appdirs {

std::string ConfigDir();
std::string KeyStorePath();  // ConfigDir() + "/registry.db"
// Cache directory: $XDG_CACHE_HOME/linkward, else ~/.cache/linkward (not made here).
std::string CacheDir();
// Creates the directory on first use. Returns "" when none can be created.
std::string RuntimeDir();
// Removes the runtime directory of this process if it is empty (called at exit).
void RemoveRuntimeDirIfEmpty();

}  // namespace linkward::appdirs
