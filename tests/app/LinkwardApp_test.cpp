#include "app/LinkwardApp.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/ScratchDir.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

TEST(LinkwardApp, FirstRunImportsTheIniFileAndLaterRunsNever) {
  ScratchDir dir;
  dir.WriteFile("Linkward.INI", "[Screen]\nx=120\n[Settings]\nTimeout=30\n");
  {
    CLinkwardApp app(dir / "registry.db", dir.Path());
    app.InitSettings();
    ASSERT_NE(app.m_pSettings, nullptr);
    EXPECT_EQ(app.m_pSettings->GetInt("Screen", "x", 0), 120);
    EXPECT_EQ(app.m_pSettings->GetInt("Settings", "Timeout", 15), 30);
    EXPECT_EQ(app.m_pSettings->KeyPath(), "Software\\Quillfen Software\\Linkward");
    EXPECT_TRUE(app.m_pSettings->SetInt("Screen", "y", 44));
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(app.m_pSettings, nullptr);
  }
  // The INI file changes, but the key exists now: nothing is imported again.
  dir.WriteFile("Linkward.INI", "[Screen]\nx=999\ny=999\n[Repair]\nType=2\n");
  CLinkwardApp app(dir / "registry.db", dir.Path());
  app.InitSettings();
  ASSERT_NE(app.m_pSettings, nullptr);
  EXPECT_EQ(app.m_pSettings->GetInt("Screen", "x", 0), 120);
  EXPECT_EQ(app.m_pSettings->GetInt("Screen", "y", 0), 44);
  EXPECT_EQ(app.m_pSettings->GetInt("Repair", "Type", 0), 0);
  EXPECT_EQ(app.ExitInstance(), 0);
}

TEST(LinkwardApp, FirstRunWithoutIniFileGivesDefaultsAndNoImportLater) {
  ScratchDir dir;
  {
    CLinkwardApp app(dir / "registry.db", dir.Path());
    app.InitSettings();
    EXPECT_EQ(app.m_pSettings->GetString("Settings", "Filter", "011111111111111111111"),
              "011111111111111111111");
    app.ExitInstance();
  }
  EXPECT_TRUE(Exists(dir / "registry.db"));  // the application key was created
  dir.WriteFile("Linkward.INI", "[Settings]\nTimeout=30\n");
  CLinkwardApp app(dir / "registry.db", dir.Path());
  app.InitSettings();
  EXPECT_EQ(app.m_pSettings->GetInt("Settings", "Timeout", 15), 15);
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
  EXPECT_TRUE(Exists(dir / "linkward/registry.db"));
  EXPECT_EQ(app.m_pSettings->GetInt("Grid", "col0", 0), 77);
  EXPECT_EQ(app.m_bAboutLink1Visited, 0);
  EXPECT_EQ(app.m_bAboutLink2Visited, 0);
}

}  // namespace
