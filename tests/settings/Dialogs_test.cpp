// The rules of the Export and Select File(s) dialogs.
#include <gtest/gtest.h>

#include "settings/ExportDlg.h"
#include "settings/SelectFilesDlg.h"
#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

namespace {

TEST(ExportDlg, FormatButtonsSwapTheEndingCaseSensitively) {
  // clang-format off
  const std::tuple<const char*, int, const char*> cases[] = {
      {"results.txt", 1, "results.html"}, {"/home/ada/r.html", 0, "/home/ada/r.txt"},
      {"results.html", 1, "results.html"}, {"report.txt.bak", 1, "report.txt.bak"},
      {"RESULTS.TXT", 1, "RESULTS.TXT"}, {".txt", 1, ".txt"}, {"", 1, ""}};
  // clang-format on
  RecordingFrame frame;
  for (const auto& [path, format, expected] : cases) {
    CExportDlg dlg(frame);
    dlg.m_strExportPath = path;
    dlg.m_nExportFormat = format;
    dlg.OnFormatClicked();
    EXPECT_EQ(dlg.m_strExportPath, expected) << path << " format " << format;
  }
}

TEST(ExportDlg, BrowseOffersTheFormatsExtensionAndFilter) {
  const std::tuple<int, const char*, const char*> cases[] = {
      {0, "txt", "Text Files (*.txt)|*.txt| All Files (*.*)|*.*||"},
      {1, "html", "HTML Files (*.html)|*.html| All Files (*.*)|*.*||"},
      {-1, "html", "HTML Files (*.html)|*.html| All Files (*.*)|*.*||"},
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
