#include "platform/AppDirs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// An absolute XDG_CONFIG_HOME is followed (the application's test); without
// one the store lives under HOME.
TEST(AppDirs, ConfigDirIsUnderHomeWithoutAnAbsoluteXdgConfigHome) {
  ScopedEnv home("HOME", "/home/someone");
  for (const char* xdg : {static_cast<const char*>(nullptr), "relative/path"}) {
    ScopedEnv env("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(appdirs::KeyStorePath(), "/home/someone/.config/linkward/registry.db");
  }
}

bool IsPrivateDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0700;
}

// The runtime directory is made once per process (a forked child makes its
// own), so each case runs in a child, which exits with the failed step or 0.
TEST(AppDirs, RuntimeDirIsPrivatePerProcessRemovedOnlyWhenEmptyAndFallsBack) {
  ScratchDir base;
  base.WriteFile("file", "x");
  const struct {
    std::string runtime, cache, home;  // "": unset (home: left as it is)
    std::string prefix;                // "": no directory can be made
  } cases[] = {{base.Path(), "", "", base / "linkward-"},
               {"", base / "cache", "", base / "cache/linkward-"},
               {"", "", base.Path(), base / ".cache/linkward-"},
               {"", "", base / "file", ""}};
  for (const auto& c : cases) {
    ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime.empty() ? nullptr : c.runtime.c_str());
    ScopedEnv cache("XDG_CACHE_HOME", c.cache.empty() ? nullptr : c.cache.c_str());
    ScopedEnv home("HOME", c.home.empty() ? getenv("HOME") : c.home.c_str());
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const std::string dir = appdirs::RuntimeDir(), scratch = dir + "/urltmp~";
      if (c.prefix.empty()) _exit(dir.empty() ? 0 : 1);
      if (dir.rfind(c.prefix + std::to_string(getpid()) + "-", 0) != 0) _exit(2);
      if (!IsPrivateDir(dir) || appdirs::RuntimeDir() != dir) _exit(3);
      if (!ScratchDir::WriteBytes(scratch, "x")) _exit(4);
      appdirs::RemoveRuntimeDirIfEmpty();  // in use: kept
      if (!IsPrivateDir(dir)) _exit(5);
      unlink(scratch.c_str());
      appdirs::RemoveRuntimeDirIfEmpty();
      _exit(IsPrivateDir(dir) ? 6 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0) << c.prefix << ": step " << WEXITSTATUS(status) << " failed";
  }
}

}  // namespace
