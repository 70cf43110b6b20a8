// The rules of the Export and Select File(s) dialogs.
#include <gtest/gtest.h>

#include "settings/ExportDlg.h"
#include "settings/SelectFilesDlg.h"
#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

namespace {

TEST(ExportDlg, FormatButtonsSwapTheEndingCaseSensitively) {
  // Each format's path from results.txt, then the paths that stay as they are.
  const char* const kEndings[] = {"results.txt", "results.html", "results.json", "results.csv",
                                  "results.xml"};
  RecordingFrame frame;
  CExportDlg dlg(frame);
  for (int from = 0; from < 5; ++from) {
    for (int to = 0; to < 5; ++to) {
      dlg.m_strExportPath = std::string("/home/ada/") + kEndings[from];
      dlg.m_nExportFormat = to;
      dlg.OnFormatClicked();
      EXPECT_EQ(dlg.m_strExportPath, std::string("/home/ada/") + kEndings[to]) << from << to;
    }
  }
  for (const char* kept : {"report.txt.bak", "RESULTS.TXT", ".txt", ".json", "", "results"}) {
    for (int format : {0, 1, 4}) {
      dlg.m_strExportPath = kept;
      dlg.m_nExportFormat = format;
      dlg.OnFormatClicked();
      EXPECT_EQ(dlg.m_strExportPath, kept) << format;
    }
  }
}

TEST(ExportDlg, BrowseOffersTheFormatsExtensionAndFilter) {
  const std::tuple<int, const char*, const char*> cases[] = {
      {0, "txt", "Text Files (*.txt)|*.txt| All Files (*.*)|*.*||"},
      {1, "html", "HTML Files (*.html)|*.html| All Files (*.*)|*.*||"},
      {-1, "html", "HTML Files (*.html)|*.html| All Files (*.*)|*.*||"},
      {2, "json", "JSON Files (*.json)|*.json| All Files (*.*)|*.*||"},
      {3, "csv", "CSV Files (*.csv)|*.csv| All Files (*.*)|*.*||"},
      {4, "xml", "JUnit XML Files (*.xml)|*.xml| All Files (*.*)|*.*||"},
  };
  for (const auto& [format, ext, filter] : cases) {
    RecordingFrame frame;
    std::vector<std::string> offered;
    frame.onSaveFile = [&](const std::string& i, const std::string& e, const std::string& f,
                           std::string* chosen) {
      offered = {i, e, f};
      *chosen = "/home/ada/chosen.out";
      return true;
    };
    CExportDlg dlg(frame);
    dlg.m_strExportPath = "results.txt";
    dlg.m_nExportFormat = format;
    dlg.OnBrowse();
    EXPECT_EQ(offered, (std::vector<std::string>{"results.txt", ext, filter}));
    EXPECT_EQ(dlg.m_strExportPath, "/home/ada/chosen.out");
  }
}

TEST(ExportDlg, CancelledBrowseKeepsThePathAndLongPathsAreRefused) {
  RecordingFrame frame;
  CExportDlg dlg(frame);
  dlg.m_strExportPath = "results.txt";
  dlg.OnBrowse();
  EXPECT_EQ(dlg.m_strExportPath, "results.txt");
  dlg.m_strExportPath = std::string(200, 'x');
  EXPECT_TRUE(dlg.ValidateOnOK());
  dlg.m_strExportPath += 'x';
  EXPECT_FALSE(dlg.ValidateOnOK());
}

class SelectFilesDlgTest : public ::testing::Test {
 protected:
  ScratchDir m_dir;
  TempSettings m_temp{m_dir.Path()};
  CSettingsStore& m_settings = m_temp.Store();
  RecordingFrame m_frame;
  CSelectFilesDlg m_dlg{m_settings, m_frame};
};

TEST_F(SelectFilesDlgTest, SubDirectoriesCheckOtherFilesButNotTheOtherWayRound) {
  m_dlg.m_nRecurse = 1;
  m_dlg.OnRecurseClicked();
  EXPECT_EQ(m_dlg.m_nAllFiles, 1);
  m_dlg.m_nAllFiles = 0;
  m_dlg.OnAllFilesClicked();
  EXPECT_EQ(m_dlg.m_nRecurse * 10 + m_dlg.m_nAllFiles, 10);
  m_dlg.m_nRecurse = 0;
  m_dlg.m_nAllFiles = 1;
  m_dlg.OnRecurseClicked();
  EXPECT_EQ(m_dlg.m_nAllFiles, 1);
}

TEST_F(SelectFilesDlgTest, BrowseStartsInTheDirectoryOfTheLastFileTested) {
  EXPECT_EQ(m_dlg.BrowseInitialName(), "*.*");
  const std::pair<const char*, const char*> cases[] = {
      {"/web/index.htm", "/web/*.*"},
      {"/index.htm", "/*.*"},
      {"index.htm", "*.*"},
      {"", "*.*"},
  };
  for (const auto& [starter, initial] : cases) {
    ASSERT_TRUE(m_settings.SetString("FileSel", "Starter", starter));
    EXPECT_EQ(m_dlg.BrowseInitialName(), initial) << starter;
  }
}

TEST_F(SelectFilesDlgTest, BrowseTakesTheChosenFileAndKeepsTheOptions) {
  ASSERT_TRUE(m_settings.SetString("FileSel", "Starter", "/web/index.htm"));
  m_dlg.m_strPath = "/typed/by/hand.htm";
  m_dlg.m_nFilter = 1;
  std::string offered;
  bool choose = true;
  m_frame.onOpenFile = [&](const std::string& initial, std::string* chosen) {
    offered = initial;
    *chosen = choose ? "/web/other.htm" : "/ignored.htm";
    return choose;
  };
  m_dlg.OnBrowse();
  EXPECT_EQ(offered, "/web/*.*");  // the last file tested, not the typed path
  EXPECT_EQ(m_dlg.m_strPath, "/web/other.htm");
  EXPECT_EQ(m_dlg.m_nFilter, 1);
  choose = false;
  m_dlg.OnBrowse();
  EXPECT_EQ(m_dlg.m_strPath, "/web/other.htm");
  m_dlg.m_strPath = std::string(1000, 'a');  // OK refuses paths over 1000 characters
  EXPECT_TRUE(m_dlg.ValidateOnOK());
  m_dlg.m_strPath += 'a';
  EXPECT_FALSE(m_dlg.ValidateOnOK());
}

}  // namespace
