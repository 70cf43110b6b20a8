#include "app/LinkwardApp.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// The INI file is imported on the first run only, even when there was none then.
TEST(LinkwardApp, OnlyTheFirstRunImportsTheIniFile) {
  for (bool iniAtFirst : {true, false}) {
    ScratchDir dir;
    if (iniAtFirst) dir.WriteFile("Linkward.INI", "[Screen]\nx=120\n[Settings]\nTimeout=30\n");
    {
      CLinkwardApp app(dir / "registry.db", dir.Path());
      app.InitSettings();
      ASSERT_NE(app.m_pSettings, nullptr);
      EXPECT_EQ(app.m_pSettings->GetInt("Settings", "Timeout", 15), iniAtFirst ? 30 : 15);
      EXPECT_TRUE(app.m_pSettings->SetInt("Screen", "y", 44));
      EXPECT_EQ(app.ExitInstance(), 0);
      EXPECT_EQ(app.m_pSettings, nullptr);
    }
    dir.WriteFile("Linkward.INI", "[Screen]\nx=999\ny=999\n[Settings]\nTimeout=50\n");
    CLinkwardApp app(dir / "registry.db", dir.Path());
    app.InitSettings();
    EXPECT_EQ(app.m_pSettings->GetInt("Screen", "x", 0), iniAtFirst ? 120 : 0);
    EXPECT_EQ(app.m_pSettings->GetInt("Screen", "y", 0), 44);
    EXPECT_EQ(app.m_pSettings->GetInt("Settings", "Timeout", 15), iniAtFirst ? 30 : 15);
  }
}

TEST(LinkwardApp, UnusableKeyStoreIsSilentAndGivesDefaults) {
  ScratchDir dir;
  dir.WriteFile("blocked", "a file where the store's directory should be");
  dir.WriteFile("Linkward.INI", "[Screen]\nx=120\n");
  CLinkwardApp app(dir / "blocked/registry.db", dir.Path());
  app.InitSettings();
  ASSERT_NE(app.m_pSettings, nullptr);
  EXPECT_EQ(app.m_pSettings->GetInt("Screen", "x", 0), 0);
  EXPECT_FALSE(app.m_pSettings->SetInt("Screen", "x", 5));
  EXPECT_EQ(app.ExitInstance(), 0);
  EXPECT_EQ(app.ExitInstance(), 0);  // a second exit finds nothing to delete
}

TEST(LinkwardApp, DefaultConstructorUsesTheConfigDirectory) {
  ScratchDir dir;
  ScopedEnv xdg("XDG_CONFIG_HOME", dir.Path().c_str());
  ASSERT_EQ(mkdir((dir / "linkward").c_str(), 0700), 0);
  dir.WriteFile("linkward/Linkward.INI", "[Grid]\ncol0=77\n");
  CLinkwardApp app;
  app.InitSettings();
  EXPECT_EQ(access((dir / "linkward/registry.db").c_str(), F_OK), 0);
  EXPECT_EQ(app.m_pSettings->GetInt("Grid", "col0", 0), 77);
}

}  // namespace
