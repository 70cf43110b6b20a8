// The results view's commands after a test: Preferences, Export and Repair.
#include "engine/ViewFixture.h"
#include "platform/FileSystem.h"
#include "repair/RepairDlg.h"
#include "settings/ExportDlg.h"
#include "settings/PreferencesDlg.h"

using namespace linkward;

namespace {

using Texts = std::vector<std::string>;
const std::string kDefaultMask = "011111111111111111111";

class ViewCommandsTest : public ViewFixture {
 protected:
  // Answers the export dialog with *path and format.
  void ExportTo(const std::string* path, int format) {
    frame.onExport = [path, format](CExportDlg& dlg) {
      dlg.m_strExportPath = *path;
      dlg.m_nExportFormat = static_cast<ExportFormat>(format);
      return Answer::Ok;
    };
  }
};

TEST_F(ViewCommandsTest, StoredMaskOfWrongLengthOrWaitLimitOutsideFiveToFiftyIsReplaced) {
  // {key, stored, in force and stored afterwards}; any mask character but '0' reports.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"Filter", std::string(20, '1'), kDefaultMask},
      {"Filter", std::string(22, '0'), kDefaultMask},
      {"Filter", "", kDefaultMask},
      {"Filter", "0x1111111111111111110", "0x1111111111111111110"},
      {"Timeout", "0", "15"},
      {"Timeout", "-5", "15"},
      {"Timeout", "4", "15"},
      {"Timeout", "51", "15"},
      {"Timeout", "3000000", "15"},
      {"Timeout", "5", "5"},
      {"Timeout", "50", "50"}};
  for (const auto& [key, stored, expected] : cases) {
    SCOPED_TRACE(key + " " + stored);
    settings.SetString("Settings", key, stored);
    Restart();
    bool mask = key == "Filter";
    EXPECT_EQ(mask ? View().FilterMask() : std::to_string(View().WaitLimitSeconds()), expected);
    EXPECT_EQ(settings.GetString("Settings", key, ""), expected);
    EXPECT_EQ(Boxes(),
              mask && stored != expected ? Texts{"Setting Filter Codes to Safe Default"} : Texts{});
  }
}

TEST_F(ViewCommandsTest, PreferencesOkStoresMaskAndWaitLimit) {
  const std::string watched = "000000011110000001000";
  frame.onPreferences = [&](CPreferencesDlg& dlg) {
    EXPECT_EQ(dlg.m_nTimeout, 15);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.m_nChecks[0] * 10 + dlg.m_nChecks[1], 1);
    EXPECT_EQ(dlg.RowText(20), "Host Took Too Long to Respond");
    dlg.OnWatchOneEyeShut();
    EXPECT_EQ(View().FilterMask(), watched);  // at once, before OK
    for (const char* bad : {"4", "51", "ten"}) EXPECT_FALSE(dlg.OnOK(bad)) << bad;
    EXPECT_TRUE(dlg.OnOK("5"));
    EXPECT_TRUE(dlg.OnOK(" 50 "));
    return Answer::Ok;
  };
  View().OnPreferences();
  EXPECT_EQ(settings.GetString("Settings", "Filter", ""), watched);
  EXPECT_EQ(settings.GetInt("Settings", "Timeout", 0), 50);
  EXPECT_EQ(View().WaitLimitSeconds(), 50);

  // A fixed mask then Cancel: the mask stays in force, nothing is stored.
  frame.onPreferences = [&](CPreferencesDlg& dlg) {
    dlg.OnWatchLikeHawk();
    return Answer::Cancel;
  };
  View().OnPreferences();
  EXPECT_EQ(View().FilterMask(), kDefaultMask);
  EXPECT_EQ(settings.GetString("Settings", "Filter", ""), watched);
  EXPECT_EQ(View().WaitLimitSeconds(), 50);
}

TEST_F(ViewCommandsTest, PreferencesChangedDuringATestApplyToTheNextLinks) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  View().StartTest(Page("p.htm", Anchor(Local(server), "first") + Anchor(Local(server), "second")),
                   {});
  loop.RunUntil([&] { return View().Rows().GetItemCount() == 1; });
  frame.onPreferences = [&](CPreferencesDlg& dlg) {
    dlg.OnInitDialog();
    dlg.m_nChecks[10] = 0;  // 404 no longer reported
    return dlg.OnOK("7") ? Answer::Ok : Answer::Cancel;
  };
  View().OnPreferences();
  EXPECT_EQ(View().WaitLimitSeconds(), 7);
  RunToEnd();
  EXPECT_EQ(Rows(), Texts{Local(server) + "|HTTP Code 404 Not Found|first"});
}

TEST_F(ViewCommandsTest, ExportWritesTheChosenFormatAndRemembersIt) {
  AddRow(View(), "http://host/a", "HTTP Code 404 Not Found", "A", "/web/index.htm");
  // The stored format value and how its report begins; a value that names no
  // format gives HTML, as every value but 0 always did.
  const std::pair<int, std::string> formats[] = {{1, "<HTML>\n"},
                                                 {0, "FILE: /web/index.htm\n"},
                                                 {2, "{\"rows\": [\n  {\"url\""},
                                                 {3, "URL,Reason,Site Name,File Name\r\n"},
                                                 {4, "<?xml "},
                                                 {7, "<HTML>\n"}};
  std::string shown = "results.txt|0";
  for (const auto& [format, start] : formats) {
    const std::string report = dir / ("out" + std::to_string(format));
    frame.onExport = [&](CExportDlg& dlg) {
      EXPECT_EQ(dlg.m_strExportPath + "|" + std::to_string(static_cast<int>(dlg.m_nExportFormat)),
                shown);
      dlg.m_strExportPath = report;
      dlg.m_nExportFormat = static_cast<ExportFormat>(format);
      return Answer::Ok;
    };
    View().OnExport();
    EXPECT_TRUE(frame.boxes.empty());
    EXPECT_EQ(ScratchDir::ReadFile(report).substr(0, start.size()), start) << format;
    EXPECT_EQ(settings.GetString("XportSel", "Starter", ""), report);
    EXPECT_EQ(settings.GetInt("XportSel", "Text", -1), format);
    shown = report + "|" + std::to_string(format);
  }
}

TEST_F(ViewCommandsTest, ExportAsksBeforeReplacingAndReportsAFailedWrite) {
  AddRow(View(), "http://host/", "HTTP Code 404 Not Found", "x", "/web/index.htm");
  std::string path = dir.WriteFile("old.txt", "keep me");
  ExportTo(&path, 0);
  frame.answers = {Answer::No};
  View().OnExport();
  EXPECT_EQ(Boxes(), Texts{path + "\nThis file already exists\n\nReplace existing file?"});
  EXPECT_EQ(frame.boxes[0].style & BoxStyle::YesNo, BoxStyle::YesNo);
  EXPECT_EQ(ScratchDir::ReadFile(path), "keep me");
  EXPECT_EQ(settings.GetString("XportSel", "Starter", "none"), "none");
  frame.answers = {Answer::Yes};
  View().OnExport();
  EXPECT_EQ(ScratchDir::ReadFile(path),
            "FILE: /web/index.htm\nhttp://host/\tHTTP Code 404 Not Found\tx\n");

  for (std::string unwritable : {std::string(), dir / "no/such/dir/r.txt"}) {
    path = unwritable;
    frame.boxes.clear();
    View().OnExport();
    EXPECT_EQ(Boxes(), Texts{"file write error"});
    EXPECT_EQ(settings.GetString("XportSel", "Starter", "none"), path);
  }
}

// ---------------------------------------------------------------------------
// Repair

using Marks = std::vector<uint32_t>;
const std::string kDone = "All URL repairs completed";

class RepairPassTest : public ViewCommandsTest {
 protected:
  void SetUp() override {
    fileA = Page("a.htm", "<p>\n<a href=\"http://h/1\">One</a>\n<a href=\"http://h/2\">Two</a>\n");
    fileB = Page("b.htm", "<a href=\"http://h/3\">Three</a>\n");
    AddRow(View(), "http://h/1", "HTTP Code 404 Not Found", "One", fileA);
    AddRow(View(), "http://h/2", "HTTP Code 404 Not Found", "Two", fileA);
    AddRow(View(), "http://h/3", "HTTP Code 404 Not Found", "Three", fileB);
  }
  // Answers the repair dialog with type.
  void Script(int type) {
    frame.onRepair = [type](CRepairDlg& dlg) {
      dlg.m_nRepairType = static_cast<RepairType>(type);
      return Answer::Ok;
    };
  }
  static Marks MarksOf(const CLinkwardView& v) {
    Marks marks;
    for (int i = 0; i < v.Rows().GetItemCount(); ++i) marks.push_back(v.Rows().GetItemData(i));
    return marks;
  }
  std::string fileA, fileB;
};

TEST_F(RepairPassTest, CancelChangesNothingAndACompletedPassMarksRowsAndFiles) {
  settings.SetInt("Repair", "Type", 1);
  frame.onRepair = [](CRepairDlg& dlg) {
    EXPECT_EQ(dlg.m_nRepairType, RepairType::FileName);
    dlg.m_nRepairType = RepairType::RemoveLine;
    return Answer::Cancel;
  };
  View().OnRepair();
  EXPECT_EQ(settings.GetInt("Repair", "Type", -1), 1);
  EXPECT_TRUE(frame.boxes.empty());
  EXPECT_FALSE(fsys::FileExists(dir / "site/a.rep"));

  Script(0);
  View().OnRepair();
  EXPECT_EQ(settings.GetInt("Repair", "Type", -1), 0);
  EXPECT_EQ(Boxes(), Texts{kDone});
  EXPECT_EQ(MarksOf(View()), (Marks{0x10001, 1, 0x10001}));  // the new text: the pass's own tests
}

TEST_F(RepairPassTest, UnknownCodeAsksFirstAndAnEmptyListStillCompletes) {
  View().ReasonText(418);
  Script(0);
  frame.answers = {Answer::No, Answer::Yes};
  View().OnRepair();
  EXPECT_EQ(Boxes(), Texts{"The testing found at least one URL\nwith an UNKNOWN ERROR!\n(See the "
                           "window text.)\n\nAre you sure you want to repair now?"});
  EXPECT_FALSE(fsys::FileExists(dir / "site/a.rep"));
  View().OnRepair();
  EXPECT_EQ(Boxes().back(), kDone);

  View().Rows().DeleteAllItems();
  frame.boxes.clear();
  frame.answers = {Answer::Yes};
  View().OnRepair();
  EXPECT_EQ(Boxes().back(), kDone);
}

TEST_F(RepairPassTest, TypeTwoExportsTheListEvenAfterACancel) {
  Script(2);
  std::string report = dir / "bad.txt";
  ExportTo(&report, 0);
  int asked = 0;
  View().SetCancelCheck([&] { return ++asked == 2; });  // before the second file
  View().OnRepair();
  EXPECT_EQ(Boxes(), Texts{"You chose to save the bad URLs\n\nClick OK to proceed"});
  EXPECT_EQ(MarksOf(View()), (Marks{0x10001, 1, 0}));
  EXPECT_EQ(ScratchDir::ReadFile(report),
            "FILE: " + fileA + "\nhttp://h/1\tHTTP Code 404 Not Found\tOne\n" +
                "http://h/2\tHTTP Code 404 Not Found\tTwo\n\nFILE: " + fileB +
                "\nhttp://h/3\tHTTP Code 404 Not Found\tThree\n");
}

}  // namespace
