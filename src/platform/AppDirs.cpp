#include "platform/AppDirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/FileSystem.h"

namespace linkward::appdirs {
namespace {

std::mutex g_runtimeMutex;
std::string g_runtimeDir;  // "" until created
pid_t g_runtimeOwner = 0;  // the process that created g_runtimeDir

// An XDG variable counts only when it holds an absolute path.
std::string XdgDir(const char* var) {
  const char* v = std::getenv(var);
  if (v != nullptr && v[0] == '/') return v;
  return "";
}

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  struct passwd* pw = getpwuid(getuid());
  if (pw != nullptr && pw->pw_dir != nullptr && pw->pw_dir[0] == '/') return pw->pw_dir;
  return "";
}

}  // namespace

std::string ConfigDir() {
  std::string base = XdgDir("XDG_CONFIG_HOME");
  if (base.empty()) {
    std::string home = HomeDir();
    base = (home.empty() ? std::string("/tmp") : home) + "/.config";
  }
  return base + "/linkward";
}

std::string KeyStorePath() {
  return ConfigDir() + "/registry.db";
}

std::string CacheDir() {
  std::string base = XdgDir("XDG_CACHE_HOME");
  if (base.empty()) {
    std::string home = HomeDir();
    base = (home.empty() ? std::string("/tmp") : home) + "/.cache";
  }
  return base + "/linkward";
}

std::string RuntimeDir() {
  std::lock_guard<std::mutex> lock(g_runtimeMutex);
  // A child made by fork gets a directory of its own.
  if (!g_runtimeDir.empty() && g_runtimeOwner == getpid()) return g_runtimeDir;
  g_runtimeDir.clear();

  std::vector<std::string> bases;
  if (std::string d = XdgDir("XDG_RUNTIME_DIR"); !d.empty()) bases.push_back(d);
  if (std::string d = XdgDir("XDG_CACHE_HOME"); !d.empty()) bases.push_back(d);
  if (std::string home = HomeDir(); !home.empty()) bases.push_back(home + "/.cache");

  for (const std::string& base : bases) {
    if (!fsys::MakeDirectories(base)) continue;
    std::string templ = base + "/linkward-" + std::to_string(getpid()) + "-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) continue;  // mkdtemp makes it mode 0700
    g_runtimeDir = buf.data();
    g_runtimeOwner = getpid();
    return g_runtimeDir;
  }
  return "";
}

void RemoveRuntimeDirIfEmpty() {
  std::lock_guard<std::mutex> lock(g_runtimeMutex);
  if (g_runtimeDir.empty() || g_runtimeOwner != getpid()) return;
  if (rmdir(g_runtimeDir.c_str()) == 0 || errno == ENOENT) g_runtimeDir.clear();
}

}  // namespace linkward::appdirs
