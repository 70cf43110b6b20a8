#include "platform/AppDirs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

bool IsPrivateDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0700;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

TEST(AppDirs, ConfigDirFollowsAnAbsoluteXdgConfigHomeElseHome) {
  ScopedEnv home("HOME", "/home/someone");
  const struct {
    const char* xdg;
    const char* dir;
  } cases[] = {{"/tmp/cfg", "/tmp/cfg/linkward"},
               {nullptr, "/home/someone/.config/linkward"},
               {"relative/path", "/home/someone/.config/linkward"}};
  for (const auto& c : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    EXPECT_EQ(appdirs::ConfigDir(), c.dir);
    EXPECT_EQ(appdirs::KeyStorePath(), std::string(c.dir) + "/registry.db");
  }
}

// The runtime directory is made once per process, so each check runs in a
// child process of its own; fn returns the number of the step that failed, or 0.
template <typename Fn>
void InChild(Fn fn) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(fn());
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(status, 0) << "step " << WEXITSTATUS(status) << " failed";
}

TEST(AppDirs, RuntimeDirIsPrivatePerProcessAndRemovedOnlyWhenEmpty) {
  ScratchDir base;
  ScopedEnv rt("XDG_RUNTIME_DIR", base.Path().c_str());
  InChild([&] {
    std::string dir = appdirs::RuntimeDir();
    std::string scratch = dir + "/urltmp~";
    if (!StartsWith(dir, base.Path() + "/linkward-" + std::to_string(getpid()) + "-")) return 1;
    if (!IsPrivateDir(dir)) return 2;
    if (appdirs::RuntimeDir() != dir) return 3;
    if (!ScratchDir::WriteBytes(scratch, "x")) return 4;
    appdirs::RemoveRuntimeDirIfEmpty();  // in use: kept
    if (!IsPrivateDir(dir)) return 5;
    unlink(scratch.c_str());
    appdirs::RemoveRuntimeDirIfEmpty();
    return IsPrivateDir(dir) ? 6 : 0;
  });
}

TEST(AppDirs, RuntimeDirFallsBackToCacheHomeThenHomeCacheThenNothing) {
  ScratchDir base;
  base.WriteFile("file", "x");
  ScopedEnv rt("XDG_RUNTIME_DIR", nullptr);
  {
    ScopedEnv cache("XDG_CACHE_HOME", (base / "cache").c_str());
    InChild([&] { return StartsWith(appdirs::RuntimeDir(), base / "cache/linkward-") ? 0 : 1; });
  }
  ScopedEnv cache("XDG_CACHE_HOME", nullptr);
  {
    ScopedEnv home("HOME", base.Path().c_str());
    InChild([&] {
      std::string dir = appdirs::RuntimeDir();
      return StartsWith(dir, base / ".cache/linkward-") ? IsPrivateDir(dir) ? 0 : 2 : 1;
    });
  }
  ScopedEnv home("HOME", (base / "file").c_str());  // a file: no directory can be made
  InChild([&] { return appdirs::RuntimeDir().empty() ? 0 : 1; });
}

}  // namespace
