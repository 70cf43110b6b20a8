#include "settings/ExportDlg.h"

#include <gtest/gtest.h>

#include "support/RecordingFrame.h"

namespace {

TEST(ExportDlg, FormatButtonsSwapTheEnding) {
  struct Case {
    const char* path;
    int format;
    const char* expected;
  };
  const Case cases[] = {
      {"results.txt", 1, "results.html"},
      {"results.html", 0, "results.txt"},
      {"/home/ada/r.txt", 1, "/home/ada/r.html"},
      {"results.txt", 0, "results.txt"},
      {"results.html", 1, "results.html"},
      {"report.txt.bak", 1, "report.txt.bak"},
      {"report.txt.bak", 0, "report.txt.bak"},
      {"RESULTS.TXT", 1, "RESULTS.TXT"},  // the ending is compared case-sensitively
      {"results.HTML", 0, "results.HTML"},
      {".txt", 1, ".txt"},  // no name before the ending
      {".html", 0, ".html"},
      {"a.txt", 1, "a.html"},
      {"", 1, ""},
  };
  RecordingFrame frame;
  for (const Case& c : cases) {
    CExportDlg dlg(frame);
    dlg.m_strExportPath = c.path;
    dlg.m_nExportFormat = c.format;
    dlg.OnFormatClicked();
    EXPECT_EQ(dlg.m_strExportPath, c.expected) << c.path << " format " << c.format;
  }
}

TEST(ExportDlg, SwitchingBackAndForthRestoresThePath) {
  RecordingFrame frame;
  CExportDlg dlg(frame);
  dlg.m_strExportPath = "results.txt";
  dlg.m_nExportFormat = 1;
  dlg.OnFormatClicked();
  dlg.m_nExportFormat = 0;
  dlg.OnFormatClicked();
  EXPECT_EQ(dlg.m_strExportPath, "results.txt");
}

TEST(ExportDlg, BrowseOffersTheFormatsExtensionAndFilter) {
  struct Case {
    int format;
    const char* ext;
    const char* filter;
  };
  const Case cases[] = {
      {0, "txt", "Text Files (*.txt)|*.txt| All Files (*.*)|*.*||"},
      {1, "html", "HTML Files (*.html)|*.html| All Files (*.*)|*.*||"},
      {-1, "html", "HTML Files (*.html)|*.html| All Files (*.*)|*.*||"},
  };
  for (const Case& c : cases) {
    RecordingFrame frame;
    std::string initial, ext, filter;
    frame.onSaveFile = [&](const std::string& i, const std::string& e, const std::string& f,
                           std::string* chosen) {
      initial = i, ext = e, filter = f;
      *chosen = "/home/ada/chosen.out";
      return true;
    };
    CExportDlg dlg(frame);
    dlg.m_strExportPath = "results.txt";
    dlg.m_nExportFormat = c.format;
    dlg.OnBrowse();
    EXPECT_EQ(initial, "results.txt");
    EXPECT_EQ(ext, c.ext);
    EXPECT_EQ(filter, c.filter);
    EXPECT_EQ(dlg.m_strExportPath, "/home/ada/chosen.out");
  }
}

TEST(ExportDlg, CancelledBrowseKeepsThePath) {
  RecordingFrame frame;
  CExportDlg dlg(frame);
  dlg.m_strExportPath = "results.txt";
  dlg.m_nExportFormat = 0;
  dlg.OnBrowse();
  EXPECT_EQ(dlg.m_strExportPath, "results.txt");
  dlg.m_strExportPath = std::string(201, 'x');
  EXPECT_FALSE(dlg.ValidateOnOK());
}

}  // namespace
