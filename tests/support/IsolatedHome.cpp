#include "support/IsolatedHome.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

IsolatedHome::IsolatedHome() {
  for (auto [variable, name] : {std::pair{"XDG_CONFIG_HOME", "config"},
                                {"XDG_CACHE_HOME", "cache"},
                                {"XDG_RUNTIME_DIR", "runtime"}}) {
    const std::string dir = m_dir / name;
    if (::mkdir(dir.c_str(), 0700) != 0 || ::setenv(variable, dir.c_str(), 1) != 0) {
      std::perror("linkward tests: cannot set up a home of their own");
      std::abort();
    }
  }
}
