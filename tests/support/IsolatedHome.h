// Every test program runs in a home of its own: XDG_CONFIG_HOME,
// XDG_CACHE_HOME and XDG_RUNTIME_DIR point into a fresh scratch directory for
// the program's whole run, so no test reads or writes the settings, cache or
// runtime files of the person running it, under ctest or by hand.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "support/ScratchDir.h"

class IsolatedHome {
 public:
  // Aborts the program when the variables cannot be set (running on the real
  // home is never an option).
  IsolatedHome() {
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
      const std::string dir = m_dir / name;
      if (::mkdir(dir.c_str(), 0700) != 0 || ::setenv(name, dir.c_str(), 1) != 0) {
        std::perror("linkward tests: cannot set up a home of their own");
        std::abort();
      }
    }
  }

 private:
  ScratchDir m_dir;  // removed with everything in it at the end
};
