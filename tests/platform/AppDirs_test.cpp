#include "platform/AppDirs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/ScratchDir.h"

namespace {

bool IsPrivateDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0700;
}

TEST(AppDirs, ConfigDirFollowsXdgConfigHomeElseHome) {
  ScopedEnv home("HOME", "/home/someone");
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/cfg");
    EXPECT_EQ(appdirs::ConfigDir(), "/tmp/cfg/linkward");
    EXPECT_EQ(appdirs::KeyStorePath(), "/tmp/cfg/linkward/registry.db");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(appdirs::ConfigDir(), "/home/someone/.config/linkward");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/path");  // not absolute: ignored
    EXPECT_EQ(appdirs::ConfigDir(), "/home/someone/.config/linkward");
  }
}

// The runtime directory is made once per process, so every check that needs
// a fresh one runs in a child process of its own.
template <typename Fn>
void InChild(Fn fn) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(fn() ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(AppDirs, RuntimeDirIsPrivateBelowXdgRuntimeDirAndStaysTheSame) {
  ScratchDir base;
  ScopedEnv rt("XDG_RUNTIME_DIR", base.Path().c_str());
  InChild([&] {
    std::string dir = appdirs::RuntimeDir();
    std::string prefix = base.Path() + "/linkward-" + std::to_string(getpid()) + "-";
    return dir.rfind(prefix, 0) == 0 && IsPrivateDir(dir) && appdirs::RuntimeDir() == dir;
  });
}

TEST(AppDirs, RuntimeDirFallsBackToCacheHomeThenHomeCache) {
  ScratchDir base;
  ScopedEnv rt("XDG_RUNTIME_DIR", nullptr);
  {
    ScopedEnv cache("XDG_CACHE_HOME", (base / "cache").c_str());
    InChild([&] { return appdirs::RuntimeDir().rfind(base / "cache/linkward-", 0) == 0; });
  }
  ScopedEnv cache("XDG_CACHE_HOME", nullptr);
  ScopedEnv home("HOME", base.Path().c_str());
  InChild([&] {
    std::string dir = appdirs::RuntimeDir();
    return dir.rfind(base / ".cache/linkward-", 0) == 0 && IsPrivateDir(dir);
  });
}

TEST(AppDirs, TwoProcessesGetTwoDirectories) {
  ScratchDir base;
  ScopedEnv rt("XDG_RUNTIME_DIR", base.Path().c_str());
  InChild([&] {
    std::string mine = appdirs::RuntimeDir();
    pid_t pid = fork();
    if (pid == 0) {
      std::string childs = appdirs::RuntimeDir();
      _exit(!childs.empty() && childs != mine && IsPrivateDir(childs) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return !mine.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  });
}

TEST(AppDirs, RemoveRuntimeDirIfEmptyKeepsADirectoryInUse) {
  ScratchDir base;
  ScopedEnv rt("XDG_RUNTIME_DIR", base.Path().c_str());
  InChild([&] {
    std::string dir = appdirs::RuntimeDir();
    std::string scratch = dir + "/urltmp~";
    FILE* f = fopen(scratch.c_str(), "w");
    if (f == nullptr) return false;
    fclose(f);
    appdirs::RemoveRuntimeDirIfEmpty();
    if (!IsPrivateDir(dir)) return false;
    unlink(scratch.c_str());
    appdirs::RemoveRuntimeDirIfEmpty();
    struct stat st;
    return stat(dir.c_str(), &st) != 0;
  });
}

TEST(AppDirs, RuntimeDirIsEmptyWhenNoBaseCanBeMade) {
  ScratchDir base;
  base.WriteFile("file", "x");
  ScopedEnv rt("XDG_RUNTIME_DIR", (base / "file/sub").c_str());
  ScopedEnv cache("XDG_CACHE_HOME", (base / "file/sub").c_str());
  ScopedEnv home("HOME", (base / "file").c_str());
  InChild([&] { return appdirs::RuntimeDir().empty(); });
}

}  // namespace
