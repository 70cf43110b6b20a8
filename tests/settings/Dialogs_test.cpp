// The rules of the Export, Select File(s) and Preferences dialogs, and the
// full check's choices as the view stores and reads them. (The desktop
// dialogs' wiring to these rules is tests/gui/tst_dialogs.cpp.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/LinkwardView.h"
#include "platform/PollEventLoop.h"
#include "settings/ExportDlg.h"
#include "settings/PreferencesDlg.h"
#include "settings/SelectFilesDlg.h"
#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

using namespace linkward;

namespace {

TEST(ExportDlg, FormatButtonsSwapTheEndingCaseSensitivelyAndBrowseOffersTheFormatsFilter) {
  // Each format's path from results.txt, then the paths that stay as they are.
  const char* const kEndings[] = {"results.txt", "results.html", "results.json", "results.csv",
                                  "results.xml"};
  RecordingFrame frame;
  CExportDlg dlg(frame);
  for (int from = 0; from < 5; ++from)
    for (int to = 0; to < 5; ++to) {
      dlg.m_strExportPath = std::string("/home/ada/") + kEndings[from];
      dlg.m_nExportFormat = static_cast<ExportFormat>(to);
      dlg.OnFormatClicked();
      EXPECT_EQ(dlg.m_strExportPath, std::string("/home/ada/") + kEndings[to]) << from << to;
    }
  dlg.m_nExportFormat = ExportFormat::Html;
  for (const char* kept : {"report.txt.bak", "RESULTS.TXT", ".txt", ".json", "", "results"}) {
    dlg.m_strExportPath = kept;
    dlg.OnFormatClicked();
    EXPECT_EQ(dlg.m_strExportPath, kept);
  }

  // Browse: {format, extension, the filter's name}; a value that names no format is HTML.
  const std::tuple<int, std::string, std::string> cases[] = {
      {0, "txt", "Text"},  {1, "html", "HTML"}, {-1, "html", "HTML"},
      {2, "json", "JSON"}, {3, "csv", "CSV"},   {4, "xml", "JUnit XML"},
  };
  std::vector<std::string> offered;
  bool choose = true;
  frame.onSaveFile = [&](const std::string& i, const std::string& e, const std::string& f,
                         std::string* chosen) {
    offered = {i, e, f};
    *chosen = "/home/ada/chosen.out";
    return choose;
  };
  for (const auto& [format, ext, name] : cases) {
    dlg.m_strExportPath = "results.txt";
    dlg.m_nExportFormat = static_cast<ExportFormat>(format);
    dlg.OnBrowse();
    const std::string filter = name + " Files (*." + ext + ")|*." + ext + "| All Files (*.*)|*.*||";
    EXPECT_EQ(offered, (std::vector<std::string>{"results.txt", ext, filter}));
    EXPECT_EQ(dlg.m_strExportPath, "/home/ada/chosen.out");
  }
  choose = false;  // no file chosen
  dlg.m_strExportPath = "results.txt";
  dlg.OnBrowse();
  EXPECT_EQ(dlg.m_strExportPath, "results.txt");
}

class SelectFilesDlgTest : public ::testing::Test {
 protected:
  SelectFilesDlgTest() { ::mkdir((m_dir / "scratch").c_str(), 0700); }
  std::unique_ptr<CLinkwardView> NewView() {
    return std::make_unique<CLinkwardView>(m_settings, m_frame, m_loop, m_dir / "scratch");
  }
  // Transfers at once and per host, as 100 * transfers + per host.
  static int Numbers(const CLinkwardView& view) {
    return view.GetFullCheckOptions().maxTransfers * 100 + view.GetFullCheckOptions().maxPerHost;
  }
  ScratchDir m_dir;
  TempSettings m_temp{m_dir.Path()};
  CSettingsStore& m_settings = m_temp.Store();
  RecordingFrame m_frame;
  CPollEventLoop m_loop{true};
  CSelectFilesDlg m_dlg{m_settings, m_frame};
};
using FullCheckChoicesTest = SelectFilesDlgTest;

TEST_F(SelectFilesDlgTest, SubDirectoriesCheckOtherFilesButNotTheOtherWayRound) {
  // {recurse, all files, the box clicked, all files afterwards}; recurse never changes.
  for (auto [recurse, allFiles, recurseClicked, after] : {std::tuple{true, false, true, true},
                                                          {true, false, false, false},
                                                          {false, true, true, true}}) {
    m_dlg.m_choices.recurse = recurse;
    m_dlg.m_choices.allFiles = allFiles;
    recurseClicked ? m_dlg.OnRecurseClicked() : m_dlg.OnAllFilesClicked();
    EXPECT_EQ(m_dlg.m_choices.allFiles, after) << recurse << allFiles << recurseClicked;
    EXPECT_EQ(m_dlg.m_choices.recurse, recurse);
  }
}

TEST_F(SelectFilesDlgTest, BrowseStartsAtTheLastFileTestedAndTakesTheChosenFile) {
  std::string offered;
  bool choose = true;
  m_frame.onOpenFile = [&](const std::string& initial, std::string* chosen) {
    offered = initial;
    *chosen = choose ? "/web/other.htm" : "/ignored.htm";
    return choose;
  };
  m_dlg.m_strPath = "/typed/by/hand.htm";  // the last file tested counts, not the typed path
  for (const auto& [starter, initial] :
       {std::pair{"/web/index.htm", "/web/*.*"}, {"index.htm", "*.*"}, {"", "*.*"},
        {"HTTPS://example.org/site/", "*.*"}}) {
    ASSERT_TRUE(m_settings.SetString("FileSel", "Starter", starter));
    m_dlg.OnBrowse();
    EXPECT_EQ(offered, initial) << starter;
  }
  EXPECT_EQ(m_dlg.m_strPath, "/web/other.htm");
  choose = false;
  m_dlg.OnBrowse();
  EXPECT_EQ(m_dlg.m_strPath, "/web/other.htm");
  m_dlg.m_strPath = std::string(1000, 'a');  // OK refuses paths over 1000 characters
  EXPECT_TRUE(m_dlg.ValidateOnOK());
  m_dlg.m_strPath += 'a';
  EXPECT_FALSE(m_dlg.ValidateOnOK());
}

TEST(PreferencesDlg, BoxesAreTakenOrRefusedInTheirOrder) {
  std::string mask(21, '0');
  CPreferencesDlg::RowTexts texts;
  // The wait limit takes whole numbers only (its range is the view's test).
  for (const char* refused : {"", "7.5", "12x"})
    EXPECT_FALSE(CPreferencesDlg(mask, texts).OnOK(refused)) << refused;

  using Field = CPreferencesDlg::FullField;
  using Patterns = std::vector<std::string>;
  const std::string tooLong(CPreferencesDlg::MAX_SKIP_TEXT + 1, 'x');
  // {transfers, per host, skip list, refused box, message}
  const std::tuple<const char*, const char*, std::string, Field, std::string> cases[] = {
      {"1", "1", "", Field::None, ""},
      {" 256 ", "16", "a\r\n\r\nb", Field::None, ""},
      {"0", "0", "(", Field::Transfers, CPreferencesDlg::TRANSFERS_MESSAGE},
      {"257", "2", "", Field::Transfers, CPreferencesDlg::TRANSFERS_MESSAGE},
      {"", "2", "", Field::Transfers, CPreferencesDlg::TRANSFERS_MESSAGE},
      {"128", "0", "", Field::PerHost, CPreferencesDlg::PER_HOST_MESSAGE},
      {"128", "17", "", Field::PerHost, CPreferencesDlg::PER_HOST_MESSAGE},
      {"128", "2", "fine\n[z-a]", Field::SkipList,
       "Skip links matching: \"[z-a]\" is not a valid regular expression."},
      {"128", "2", tooLong, Field::SkipList,
       "The list of links to skip is too long: it may hold at most 65535 characters."},
  };
  for (const auto& [transfers, perHost, skip, field, expected] : cases) {
    CPreferencesDlg dlg(mask, texts);
    dlg.m_skipPatterns = {"old"};
    std::string message;
    EXPECT_EQ(dlg.ValidateFullCheck(transfers, perHost, skip, &message), field) << transfers;
    EXPECT_EQ(message, expected);
    // A refusal changes nothing.
    const bool taken = field == Field::None;
    EXPECT_EQ(dlg.m_nTransfers * 100 + dlg.m_nPerHost,
              taken ? std::stoi(transfers) * 100 + std::stoi(perHost) : 128 * 100 + 2);
    EXPECT_EQ(dlg.m_skipPatterns, (!taken         ? Patterns{"old"}
                                   : skip.empty() ? Patterns{}
                                                  : Patterns{"a", "b"}));
  }
}

TEST_F(FullCheckChoicesTest, PreferencesStoreThemAndTheNextStartReadsThemBack) {
  auto view = NewView();
  // A list longer than a short setting holds (40 x 20 characters).
  const std::vector<std::string> patterns(40, "^https?://host\\.test/");
  const std::string list = JoinPatternLines(patterns);
  m_frame.onPreferences = [&](CPreferencesDlg& dlg) {
    EXPECT_EQ(dlg.m_nTransfers * 100 + dlg.m_nPerHost, 128 * 100 + 2);
    std::string message;
    EXPECT_EQ(dlg.ValidateFullCheck("64", "4", list + "\n", &message),
              CPreferencesDlg::FullField::None);
    dlg.m_strUserAgent = "Probe/1.0";
    dlg.m_strSiteUrl = "https://example.com/docs/";
    dlg.m_bCheckFragments = true;
    return dlg.OnOK("15") ? Answer::Ok : Answer::Cancel;
  };
  view->OnPreferences();
  EXPECT_EQ(view->GetFullCheckOptions().skipPatterns, patterns);  // in force at once
  view = NewView();
  EXPECT_EQ(Numbers(*view), 64 * 100 + 4);
  EXPECT_EQ(view->GetFullCheckOptions().skipPatterns, patterns);
  EXPECT_EQ(view->GetFullCheckOptions().userAgent, "Probe/1.0");
  EXPECT_EQ(view->GetFullCheckOptions().siteUrl, "https://example.com/docs/");
  EXPECT_TRUE(view->GetFullCheckOptions().checkFragments);

  // Cancel stores nothing; stored numbers out of range read as the defaults.
  m_frame.onPreferences = [&](CPreferencesDlg& dlg) {
    std::string message;
    dlg.ValidateFullCheck("8", "1", "", &message);
    return Answer::Cancel;
  };
  view->OnPreferences();
  EXPECT_EQ(Numbers(*view), 64 * 100 + 4);
  EXPECT_EQ(Numbers(*NewView()), 64 * 100 + 4);
  m_settings.SetInt("Settings", "FullTransfers", 0);
  m_settings.SetInt("Settings", "FullPerHost", 17);
  m_settings.SetString("Settings", "UserAgent", "A\r\nX-Injected: 1");  // would add a header
  m_settings.SetString("Settings", "SiteUrl", "ftp://example.com/");  // no site to map
  EXPECT_EQ(Numbers(*NewView()), 128 * 100 + 2);
  EXPECT_EQ(NewView()->GetFullCheckOptions().userAgent, "");
  EXPECT_EQ(NewView()->GetFullCheckOptions().siteUrl, "");
}

}  // namespace
