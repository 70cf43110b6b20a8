// The results view's commands after a test: Preferences, Export and Repair.
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ViewFixture.h"
#include "platform/FileSystem.h"
#include "repair/RepairDlg.h"
#include "settings/ExportDlg.h"
#include "settings/PreferencesDlg.h"

namespace {

using Texts = std::vector<std::string>;
const std::string kDefaultMask = "011111111111111111111";

class ViewCommandsTest : public ViewFixture {
 protected:
  // Answers the export dialog with *path and format.
  void ExportTo(const std::string* path, int format) {
    frame.onExport = [path, format](CExportDlg& dlg) {
      dlg.m_strExportPath = *path;
      dlg.m_nExportFormat = format;
      return IDOK;
    };
  }
};

TEST_F(ViewCommandsTest, StoredMaskOfWrongLengthIsReplacedBySafeDefault) {
  for (std::string stored : {std::string(20, '1'), std::string(22, '0'), std::string()}) {
    settings.SetString("Settings", "Filter", stored);
    Restart();
    EXPECT_EQ(View().FilterMask(), kDefaultMask);
    EXPECT_EQ(Boxes(), Texts{"Setting Filter Codes to Safe Default"});
    EXPECT_EQ(settings.GetString("Settings", "Filter", ""), kDefaultMask);
  }
  settings.SetString("Settings", "Filter", "0x1111111111111111110");
  Restart();
  EXPECT_EQ(View().FilterMask(), "0x1111111111111111110");
  EXPECT_TRUE(frame.boxes.empty());
  EXPECT_TRUE(View().IsReported(201));  // any character but '0' reports
  EXPECT_FALSE(View().IsReported(10005));
}

TEST_F(ViewCommandsTest, StoredWaitLimitOutsideFiveToFiftyIsReplacedByFifteen) {
  // {stored, in force and stored afterwards}
  const std::pair<std::string, int> cases[] = {{"0", 15},       {"-5", 15}, {"4", 15}, {"51", 15},
                                               {"3000000", 15}, {"5", 5},   {"50", 50}};
  for (const auto& [stored, expected] : cases) {
    SCOPED_TRACE(stored);
    settings.SetString("Settings", "Timeout", stored);
    Restart();
    EXPECT_EQ(View().WaitLimitSeconds(), expected);
    EXPECT_EQ(settings.GetString("Settings", "Timeout", ""), std::to_string(expected));
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
    EXPECT_TRUE(dlg.OnOK("5") && dlg.OnOK(" 50 "));
    return IDOK;
  };
  View().OnPreferences();
  EXPECT_EQ(settings.GetString("Settings", "Filter", ""), watched);
  EXPECT_EQ(settings.GetInt("Settings", "Timeout", 0), 50);
  EXPECT_EQ(View().WaitLimitSeconds(), 50);

  // A fixed mask then Cancel: the mask stays in force, nothing is stored.
  frame.onPreferences = [&](CPreferencesDlg& dlg) {
    dlg.OnWatchLikeHawk();
    return IDCANCEL;
  };
  View().OnPreferences();
  EXPECT_EQ(View().FilterMask(), kDefaultMask);
  EXPECT_EQ(settings.GetString("Settings", "Filter", ""), watched);
  EXPECT_EQ(View().WaitLimitSeconds(), 50);
}

TEST_F(ViewCommandsTest, PreferencesChangedDuringATestApplyToTheNextLinks) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  View().StartTest(Page("p.htm", Anchor(Local(server), "first") + Anchor(Local(server), "second")),
                   0, 0, 0);
  loop.RunUntil([&] { return View().Rows().GetItemCount() == 1; });
  frame.onPreferences = [&](CPreferencesDlg& dlg) {
    dlg.OnInitDialog();
    dlg.m_nChecks[10] = 0;  // 404 no longer reported
    return dlg.OnOK("7") ? IDOK : IDCANCEL;
  };
  View().OnPreferences();
  EXPECT_EQ(View().WaitLimitSeconds(), 7);
  RunToEnd();
  EXPECT_EQ(Rows(), Texts{Local(server) + "|HTTP Code 404 Not Found|first"});
}

TEST_F(ViewCommandsTest, ExportWritesTheChosenFormatAndRemembersIt) {
  AddRow(View(), "http://host/a&b", "HTTP Code 404 Not Found", "A <b>", "/web/index.htm");
  std::string report = dir / "out.html";
  frame.onExport = [&](CExportDlg& dlg) {
    EXPECT_EQ(dlg.m_strExportPath + "|" + std::to_string(dlg.m_nExportFormat), "results.txt|0");
    dlg.m_strExportPath = report;
    dlg.m_nExportFormat = 1;
    return IDOK;
  };
  View().OnExport();
  EXPECT_TRUE(frame.boxes.empty());
  EXPECT_NE(ScratchDir::ReadFile(report).find(
                "<li><a href=\"http://host/a&amp;b\">A &lt;b&gt;</a> HTTP Code 404 Not Found"),
            std::string::npos);
  EXPECT_EQ(settings.GetString("XportSel", "Starter", ""), report);
  EXPECT_EQ(settings.GetInt("XportSel", "Text", 0), 1);
}

TEST_F(ViewCommandsTest, ExportAsksBeforeReplacingAndReportsAFailedWrite) {
  AddRow(View(), "http://host/", "HTTP Code 404 Not Found", "x", "/web/index.htm");
  std::string path = dir.WriteFile("old.txt", "keep me");
  ExportTo(&path, 0);
  frame.answers = {IDNO};
  View().OnExport();
  EXPECT_EQ(Boxes(), Texts{path + "\nThis file already exists\n\nReplace existing file?"});
  EXPECT_EQ(frame.boxes[0].style & MB_YESNO, MB_YESNO);
  EXPECT_EQ(ScratchDir::ReadFile(path), "keep me");
  EXPECT_EQ(settings.GetString("XportSel", "Starter", "none"), "none");
  frame.answers = {IDYES};
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
    AddRows(View());
  }
  void AddRows(CLinkwardView& v) {
    AddRow(v, "http://h/1", "HTTP Code 404 Not Found", "One", fileA);
    AddRow(v, "http://h/2", "HTTP Code 404 Not Found", "Two", fileA);
    AddRow(v, "http://h/3", "HTTP Code 404 Not Found", "Three", fileB);
  }
  // Answers the repair dialog with type; the failure dialog is recorded and,
  // when ignore is set, told to ignore the URL.
  void Script(RecordingFrame& f, int type, bool ignore) {
    f.onRepair = [type](CRepairDlg& dlg) {
      dlg.m_nRepairType = type;
      return IDOK;
    };
    f.onRepairFail = [this, ignore](CRepairFailDlg& dlg) {
      failed = dlg;
      dlg.m_bIgnore = ignore;
      return IDOK;
    };
  }
  static Marks MarksOf(const CLinkwardView& v) {
    Marks marks;
    for (int i = 0; i < v.Rows().GetItemCount(); ++i) marks.push_back(v.Rows().GetItemData(i));
    return marks;
  }
  std::string Failed() const { return failed.m_strFailFile + "|" + failed.m_strFailUrl; }
  std::string fileA, fileB;
  CRepairFailDlg failed;
};

TEST_F(RepairPassTest, CancelChangesNothingAndACompletedPassMarksRowsAndFiles) {
  settings.SetInt("Repair", "Type", 1);
  frame.onRepair = [](CRepairDlg& dlg) {
    EXPECT_EQ(dlg.m_nRepairType, 1);
    dlg.m_nRepairType = 2;
    return IDCANCEL;
  };
  View().OnRepair();
  EXPECT_EQ(settings.GetInt("Repair", "Type", -1), 1);
  EXPECT_TRUE(frame.boxes.empty());
  EXPECT_FALSE(fsys::FileExists(dir / "site/a.rep"));

  Script(frame, 0, false);
  View().OnRepair();
  EXPECT_EQ(settings.GetInt("Repair", "Type", -1), 0);
  EXPECT_EQ(Boxes(), Texts{kDone});
  EXPECT_EQ(ScratchDir::ReadFile(fileA),
            "<p>\n<!--<a href=\"http://h/1\">One</a>-->\n<!--<a href=\"http://h/2\">Two</a>-->\n");
  EXPECT_EQ(ScratchDir::ReadFile(dir / "site/a.rep"),
            "<p>\n<a href=\"http://h/1\">One</a>\n<a href=\"http://h/2\">Two</a>\n");
  EXPECT_EQ(MarksOf(View()), (Marks{0x10001, 1, 0x10001}));
  EXPECT_FALSE(fsys::FileExists(dir / "site/a.t~p"));
}

TEST_F(RepairPassTest, UnknownCodeAsksFirstAndAnEmptyListStillCompletes) {
  View().ReasonText(418);
  Script(frame, 0, false);
  frame.answers = {IDNO, IDYES};
  View().OnRepair();
  EXPECT_EQ(Boxes(), Texts{"The testing found at least one URL\nwith an UNKNOWN ERROR!\n(See the "
                           "window text.)\n\nAre you sure you want to repair now?"});
  EXPECT_FALSE(fsys::FileExists(dir / "site/a.rep"));
  View().OnRepair();
  EXPECT_EQ(Boxes().back(), kDone);

  View().Rows().DeleteAllItems();
  frame.boxes.clear();
  frame.answers = {IDYES};
  View().OnRepair();
  EXPECT_EQ(Boxes().back(), kDone);
}

TEST_F(RepairPassTest, UrlNotFoundStopsThenResumes) {
  dir.WriteFile("site/a.htm", "<a href=\"http://h/1\">One</a>\n<p>the second link is gone</p>\n");
  Script(frame, 1, false);
  View().OnRepair();
  EXPECT_EQ(Boxes(),
            Texts{"We looked in file\n" + fileA + "\nbut could not file the URL\nhttp://h/2"});
  EXPECT_EQ(Failed(), fileA + "|http://h/2");
  // The file keeps the rewrite made before the stop; the next file is untouched.
  const std::string kept =
      "<a href=\"a.htm\">One</a><!--http://h/1-->\n<p>the second link is gone</p>\n";
  EXPECT_EQ(ScratchDir::ReadFile(fileA), kept);
  EXPECT_EQ(MarksOf(View()), (Marks{1, 0, 0}));
  EXPECT_EQ(ScratchDir::ReadFile(fileB), "<a href=\"http://h/3\">Three</a>\n");

  // The user puts the link back and runs the pass again: only what is left is done.
  dir.WriteFile("site/a.htm", kept + "<a href=\"http://h/2\">Two</a>\n");
  View().OnRepair();
  EXPECT_EQ(Boxes().back(), kDone);
  EXPECT_EQ(ScratchDir::ReadFile(fileA), kept + "<a href=\"a.htm\">Two</a><!--http://h/2-->\n");
  // The backup still holds the file as it was before the first repair.
  EXPECT_EQ(ScratchDir::ReadFile(dir / "site/a.rep"),
            "<a href=\"http://h/1\">One</a>\n<p>the second link is gone</p>\n");
  EXPECT_EQ(MarksOf(View()), (Marks{0x10001, 1, 0x10001}));
}

TEST_F(RepairPassTest, IgnoringTheUrlDeletesItsRow) {
  dir.WriteFile("site/a.htm", "<a href=\"http://h/1\">One</a>\n");
  Script(frame, 0, true);
  View().OnRepair();
  ASSERT_EQ(View().Rows().GetItemCount(), 2);
  EXPECT_EQ(View().Rows().GetItemText(1, COL_URL), "http://h/3");
  View().OnRepair();
  EXPECT_EQ(Boxes().back(), kDone);
  EXPECT_EQ(ScratchDir::ReadFile(fileB), "<!--<a href=\"http://h/3\">Three</a>-->\n");
}

TEST_F(RepairPassTest, MissingSourceFileStopsWithTheLastUrl) {
  ::unlink(fileB.c_str());
  Script(frame, 0, true);
  View().OnRepair();
  EXPECT_EQ(Failed(), fileB + "|http://h/2");       // the URL last handled
  EXPECT_TRUE(frame.boxes.empty());                 // no message of its own
  EXPECT_EQ(MarksOf(View()), (Marks{0x10001, 1}));  // b's first row was deleted
}

TEST_F(RepairPassTest, FileThatCannotBeReplacedStopsBetweenFiles) {
  // Once a's last row is marked, a's path becomes a directory, so the
  // rewritten copy cannot take its place.
  struct SwapOnMark : RecordingFrame {
    std::string path;
    CResultRows* rows = nullptr;
    void RowChanged(int row) override {
      if (row == 1 && rows && RepairedMark(rows->GetItemData(1)) && !path.empty()) {
        ::unlink(path.c_str());
        ::mkdir(path.c_str(), 0700);
        ScratchDir::WriteBytes(path + "/keep", "");
        path.clear();
      }
    }
  } swapper;
  CLinkwardView other(settings, swapper, loop, dir / "scratch");
  AddRows(other);
  swapper.path = fileA;
  swapper.rows = &other.Rows();
  Script(swapper, 0, true);
  other.OnRepair();
  EXPECT_EQ(Failed(), fileA + "|http://h/2");
  EXPECT_TRUE(fsys::FileExists(dir / "site/a.t~p"));  // the rewritten copy stays beside it
  ASSERT_EQ(other.Rows().GetItemCount(), 2);          // the first row of b was ignored
  EXPECT_EQ(FileDoneMark(other.Rows().GetItemData(0)), 0u);
}

TEST_F(RepairPassTest, TypeTwoRemovesLinesThenExportsTheList) {
  Script(frame, 2, false);
  std::string report = dir / "bad.txt";
  ExportTo(&report, 0);
  View().OnRepair();
  EXPECT_EQ(Boxes(), (Texts{kDone, "You chose to save the bad URLs\n\nClick OK to proceed"}));
  EXPECT_EQ(ScratchDir::ReadFile(fileA), "<p>\n");
  EXPECT_EQ(ScratchDir::ReadFile(fileB), "");
  EXPECT_EQ(ScratchDir::ReadFile(report),
            "FILE: " + fileA + "\nhttp://h/1\tHTTP Code 404 Not Found\tOne\n" +
                "http://h/2\tHTTP Code 404 Not Found\tTwo\n\nFILE: " + fileB +
                "\nhttp://h/3\tHTTP Code 404 Not Found\tThree\n");
}

}  // namespace
