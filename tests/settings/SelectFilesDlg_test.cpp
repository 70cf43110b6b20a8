#include "settings/SelectFilesDlg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "platform/KeyStore.h"
#include "settings/SettingsStore.h"
#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

namespace {

class SelectFilesDlgTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dlg = std::make_unique<CSelectFilesDlg>(*m_settings, m_frame); }

  ScratchDir m_dir;
  TempSettings m_temp{m_dir.Path()};
  CSettingsStore* m_settings = &m_temp.Store();
  RecordingFrame m_frame;
  std::unique_ptr<CSelectFilesDlg> m_dlg;
};

TEST_F(SelectFilesDlgTest, SubDirectoriesCheckOtherFilesButNotTheOtherWayRound) {
  m_dlg->m_nRecurse = 1;
  m_dlg->OnRecurseClicked();
  EXPECT_EQ(m_dlg->m_nAllFiles, 1);
  m_dlg->m_nRecurse = 0;
  m_dlg->OnRecurseClicked();
  EXPECT_EQ(m_dlg->m_nAllFiles, 1);
  m_dlg->m_nRecurse = 1;
  m_dlg->m_nAllFiles = 0;
  m_dlg->OnAllFilesClicked();
  EXPECT_EQ(m_dlg->m_nRecurse, 1);
  EXPECT_EQ(m_dlg->m_nAllFiles, 0);
}

TEST_F(SelectFilesDlgTest, BrowseStartsInTheDirectoryOfTheLastFileTested) {
  EXPECT_EQ(m_dlg->BrowseInitialName(), "*.*");
  const std::pair<const char*, const char*> cases[] = {
      {"/web/index.htm", "/web/*.*"},
      {"/home/ada/site/a.html", "/home/ada/site/*.*"},
      {"/web/", "/web/*.*"},
      {"/index.htm", "/*.*"},  // a file in the root directory
      {"index.htm", "*.*"},    // no directory at all
      {"", "*.*"},
  };
  for (const auto& [starter, initial] : cases) {
    ASSERT_TRUE(m_settings->SetString("FileSel", "Starter", starter));
    EXPECT_EQ(m_dlg->BrowseInitialName(), initial) << starter;
  }
}

TEST_F(SelectFilesDlgTest, BrowseTakesTheChosenFileAndKeepsTheOptions) {
  ASSERT_TRUE(m_settings->SetString("FileSel", "Starter", "/web/index.htm"));
  m_dlg->m_strPath = "/typed/by/hand.htm";
  m_dlg->m_nFilter = 1;
  std::string offered;
  m_frame.onOpenFile = [&](const std::string& initial, std::string* chosen) {
    offered = initial;
    *chosen = "/web/other.htm";
    return true;
  };
  m_dlg->OnBrowse();
  EXPECT_EQ(offered, "/web/*.*");  // the last file tested, not the typed path
  EXPECT_EQ(m_dlg->m_strPath, "/web/other.htm");
  EXPECT_EQ(m_dlg->m_nFilter, 1);

  m_frame.onOpenFile = [](const std::string&, std::string* chosen) {
    *chosen = "/ignored.htm";
    return false;
  };
  m_dlg->OnBrowse();
  EXPECT_EQ(m_dlg->m_strPath, "/web/other.htm");
}

TEST_F(SelectFilesDlgTest, PathsLongerThanAThousandCharactersAreRefused) {
  m_dlg->m_strPath = std::string(1000, 'a');
  EXPECT_TRUE(m_dlg->ValidateOnOK());
  m_dlg->m_strPath += 'a';
  EXPECT_FALSE(m_dlg->ValidateOnOK());
}

}  // namespace
