// The results view's stored report filter and wait limit, and its commands
// after a test: Export and Repair.
#include <tuple>

#include "engine/ViewFixture.h"
#include "repair/RepairDlg.h"
#include "settings/ExportDlg.h"

using namespace linkward;

namespace {

using Texts = std::vector<std::string>;
const std::string kClosed = "http://127.0.0.1:1/", kRefused = "\tCan't Connect to Host\t";

class ViewCommandsTest : public ViewFixture {};

TEST_F(ViewCommandsTest, StoredMaskOfWrongLengthOrWaitLimitOutsideFiveToFiftyIsReplaced) {
  const std::string mask = DEFAULT_FILTER_MASK;
  // {key, stored, in force and stored afterwards}; any mask character but '0' reports.
  // clang-format off
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"Filter", std::string(20, '1'), mask}, {"Filter", std::string(22, '0'), mask},
      {"Filter", "", mask}, {"Filter", "0x1111111111111111110", "0x1111111111111111110"},
      {"Timeout", "0", "15"}, {"Timeout", "-5", "15"}, {"Timeout", "4", "15"},
      {"Timeout", "51", "15"}, {"Timeout", "3000000", "15"}, {"Timeout", "5", "5"},
      {"Timeout", "50", "50"}};
  // clang-format on
  for (const auto& [key, stored, expected] : cases) {
    SCOPED_TRACE(key + " " + stored);
    settings.SetString("Settings", key, stored);
    Restart();
    bool isMask = key == "Filter";
    EXPECT_EQ(isMask ? View().FilterMask() : std::to_string(View().WaitLimitSeconds()), expected);
    EXPECT_EQ(settings.GetString("Settings", key, ""), expected);
    EXPECT_EQ(Boxes(), isMask && stored != expected ? Texts{"Setting Filter Codes to Safe Default"}
                                                    : Texts{});
  }
}

// Export, then Repair of type 2 with its own export: each dialog offers the
// choices stored last, and replacing a file asks first. (A replace answered
// No and a failed write are run end to end by the terminal face's tests.)
TEST_F(ViewCommandsTest, ExportAndRepairKeepTheirChoicesAndTypeTwoListsEveryRowEvenWhenStopped) {
  const std::string a = Page("a.htm", Anchor(kClosed + "1", "One") + Anchor(kClosed + "2", "Two"));
  const std::string b = Page("b.htm", Anchor(kClosed + "3", "Three"));
  View().StartTest(a, {.allFiles = true});
  RunToEnd();
  std::string path = dir / "report.txt", shown;
  int format = 7;  // names no format: HTML, as every value but 0 always did
  frame.onExport = [&](CExportDlg& dlg) {
    shown = dlg.m_strExportPath + "|" + std::to_string(static_cast<int>(dlg.m_nExportFormat));
    dlg.m_strExportPath = path;
    dlg.m_nExportFormat = static_cast<ExportFormat>(format);
    return Answer::Ok;
  };
  View().OnExport();
  EXPECT_EQ(shown, "results.txt|0");
  EXPECT_EQ(ScratchDir::ReadFile(path).substr(0, 7), "<HTML>\n");

  settings.SetInt("Repair", "Type", 1);
  int dialogs = 0;
  frame.onRepair = [&](CRepairDlg& dlg) {
    EXPECT_EQ(dlg.m_nRepairType, RepairType::FileName);  // the stored type
    dlg.m_nRepairType = RepairType::RemoveLine;
    return ++dialogs == 1 ? Answer::Cancel : Answer::Ok;
  };
  View().OnRepair();  // Cancel: nothing stored or changed
  EXPECT_EQ(settings.GetInt("Repair", "Type", -1), 1);
  View().ReasonText(418);
  View().OnRepair();  // an unknown code asks first; No: not even the dialog
  EXPECT_EQ(dialogs, 1);
  const std::string unknown =
      "The testing found at least one URL\nwith an UNKNOWN ERROR!\n(See the window text.)\n\n"
      "Are you sure you want to repair now?";
  EXPECT_EQ(Boxes(), Texts{unknown});

  format = 0;
  int asked = 0;
  View().SetCancelCheck([&] { return ++asked == 2; });  // stop before the second file
  frame.answers = {Answer::Yes, Answer::Ok, Answer::Yes};
  View().OnRepair();
  EXPECT_EQ(settings.GetInt("Repair", "Type", -1), 2);
  EXPECT_EQ(ScratchDir::ReadFile(b), Anchor(kClosed + "3", "Three"));
  EXPECT_EQ(shown, path + "|7");
  EXPECT_EQ(ScratchDir::ReadFile(path), "FILE: " + a + "\n" + kClosed + "1" + kRefused + "One\n" +
                                            kClosed + "2" + kRefused + "Two\n\nFILE: " + b + "\n" +
                                            kClosed + "3" + kRefused + "Three\n");
  EXPECT_EQ(Boxes(),
            (Texts{unknown, unknown, "You chose to save the bad URLs\n\nClick OK to proceed",
                   path + "\nThis file already exists\n\nReplace existing file?"}));
}

}  // namespace
