#include "app/LinkwardApp.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// The INI file is imported on the first run only, even when there was none
// then. Both live in the program's own config directory.
TEST(LinkwardApp, OnlyTheFirstRunImportsTheIniFileAndAnUnusableStoreIsSilent) {
  for (bool iniAtFirst : {true, false}) {
    ScratchDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.Path().c_str());
    ASSERT_EQ(::mkdir((dir / "linkward").c_str(), 0700), 0);
    const std::string ini = dir / "linkward/Linkward.INI";
    if (iniAtFirst) ScratchDir::WriteBytes(ini, "[Screen]\nx=120\n[Settings]\nTimeout=30\n");
    {
      CLinkwardApp app;
      app.InitSettings();
      EXPECT_EQ(app.m_pSettings->GetInt("Settings", "Timeout", 15), iniAtFirst ? 30 : 15);
    }
    ScratchDir::WriteBytes(ini, "[Screen]\nx=999\ny=999\n[Settings]\nTimeout=50\n");
    CLinkwardApp app;
    app.InitSettings();
    EXPECT_EQ(app.m_pSettings->GetInt("Screen", "x", 0), iniAtFirst ? 120 : 0);
    EXPECT_EQ(app.m_pSettings->GetInt("Settings", "Timeout", 15), iniAtFirst ? 30 : 15);
  }
  // A store that cannot be made is silent: reads give their defaults, and the
  // INI file is not imported into nothing.
  ScratchDir dir;
  dir.WriteFile("blocked", "a file where the store's directory should be");
  dir.WriteFile("Linkward.INI", "[Screen]\nx=120\n");
  CLinkwardApp app(dir / "blocked/registry.db", dir.Path());
  app.InitSettings();
  EXPECT_EQ(app.m_pSettings->GetInt("Screen", "x", 0), 0);
  EXPECT_FALSE(app.m_pSettings->SetInt("Screen", "x", 5));
}

}  // namespace
