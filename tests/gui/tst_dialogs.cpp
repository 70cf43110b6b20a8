// The Preferences, export and repair dialogs: what they show of their models
// and what they hand back.
#include <QtTest>
#include <QtWidgets>
#include <memory>

#include "GuiTest.h"
#include "engine/LinkwardView.h"
#include "results/OutcomeTable.h"
#include "gui/ExportDialog.h"
#include "gui/FileDialogs.h"
#include "gui/Help.h"
#include "gui/PreferencesDialog.h"
#include "gui/RepairDialog.h"
#include "gui/RepairFailDialog.h"
#include "platform/PollEventLoop.h"
#include "repair/RepairDlg.h"
#include "settings/ExportDlg.h"
#include "settings/PreferencesDlg.h"
#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

using namespace linkward;

namespace {

struct Fixture {
  ScratchDir dir;
  TempSettings settings{dir.Path()};
  RecordingFrame frame;
  CPollEventLoop loop{true};
  CLinkwardView view{settings.Store(), frame, loop, dir / "scratch"};
};

template <class Dialog>
bool Show(Dialog& dialog) {
  dialog.show();
  return QTest::qWaitForWindowExposed(&dialog);
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<Fixture> f;
  QStringList m_messages;

 private slots:
  void init() {
    f = std::make_unique<Fixture>();
    m_messages.clear();
    auto record = [this](QWidget*, const QString& text) { m_messages << text; };
    PreferencesDialog::s_showRangeMessage = record;
    ExportDialog::s_showLengthMessage = record;
  }
  void cleanup() { f.reset(); }

  void texts() {
    CPreferencesDlg preferences(f->view.FilterMask(), f->view.OutcomeTexts());
    CExportDlg exportModel(f->frame);
    CRepairDlg repair;
    CRepairFailDlg fail;
    PreferencesDialog preferencesDialog(preferences);
    ExportDialog exportDialog(exportModel);
    RepairDialog repairDialog(repair);
    RepairFailDialog failDialog(fail);
    const std::pair<QDialog*, QStringList> table[] = {
        {&preferencesDialog,
         {"Preferences", "How Long to Wait for Slow Hosts? (seconds)",
          "Report Results for Checked Items - or use the Defaults",
          "Report every defect to me (code 200 is not a defect)",
          "Report only the very worst offenders to me", "Defaults for Type A Users",
          "Defaults for Type B Users", "OK", "Cancel", "Help", "Watch Like a Hawk",
          "Watch With One Eye Shut", "Full Check", "Transfers at once (1 to 256)",
          "Transfers per host (1 to 16)",
          "Skip links matching (one regular expression per line):"}},
        {&exportDialog,
         {"Export Bad URLs", "Export as Text file", "Export as HTML file", "Export as JSON file",
          "Export as CSV file", "Export as JUnit XML file", "Browse..."}},
        {&repairDialog,
         {"URL Link Disable and File Repair",
          "When Linkward finds the offending URL in the file do the following:",
          "Disable the entire line of text containing the URL.",
          "Replace the URL text with the name of the file it is in.",
          "Remove the entire line of text containing the URL.",
          "No text is deleted. The bad URL is preserved as an HTML comment.",
          "Save the bad URLs in a separate file.",
          "Update links that moved permanently to their new address.",
          "For any option, your original files are backed-up with the extension .REP", "Help"}},
        {&failDialog,
         {"Repair Failure", "The URL Repair failed in file:", "Possibly near URL:",
          "Please examine/correct the file and try to re-run the Repair.\n(Your original file was "
          "saved with extension .REP)",
          "Please ignore this instance of this URL \nfor the remainder of this session."}}};
    for (const auto& [dialog, expected] : table)
      QCOMPARE(MissingTexts(dialog, expected), QStringList());
    // Each Help button opens the help window at its dialog's section.
    for (auto [dialog, section] :
         {std::pair<QDialog*, const char*>{&preferencesDialog, "preferences"},
          {&repairDialog, "repair"}}) {
      for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == "Help") button->click();
      QVERIFY(HelpWindow::Instance());
      QCOMPARE(HelpWindow::Instance()->source().fragment(), QString(section));
    }
    delete HelpWindow::Instance();
  }

  void preferencesShowsRowsAndChecksAndOkBuildsTheMask() {
    f->view.FilterMask() = "100000000000000000001";
    CPreferencesDlg model(f->view.FilterMask(), f->view.OutcomeTexts());
    model.m_nTimeout = 15;
    PreferencesDialog dialog(model);
    COutcomeCheckListBox* list = dialog.CheckList();
    QCOMPARE(list->count(), OUTCOME_KINDS);
    for (int i = 0; i < OUTCOME_KINDS; ++i) {
      QCOMPARE(list->item(i)->text(), QString::fromStdString(f->view.OutcomeText(i)));
      QCOMPARE(list->GetCheck(i), (i == 0 || i == 20) ? 1 : 0);
    }
    QCOMPARE(dialog.TimeoutEdit()->text(), QString("15"));
    list->SetCheck(1, 1);
    list->SetCheck(20, 0);
    dialog.accept();
    QCOMPARE(f->view.FilterMask(), std::string("110000000000000000000"));
  }

  void fixedMaskButtonsSetTheViewAtOnce() {
    for (auto [button, mask] : {std::pair{"Watch Like a Hawk", CPreferencesDlg::HAWK_MASK},
                                {"Watch With One Eye Shut", CPreferencesDlg::ONE_EYE_MASK}}) {
      f->view.FilterMask() = "000000000000000000000";
      CPreferencesDlg model(f->view.FilterMask(), f->view.OutcomeTexts());
      PreferencesDialog dialog(model);
      Click(&dialog, button);
      QCOMPARE(f->view.FilterMask(), std::string(mask));
      for (int i = 0; i < OUTCOME_KINDS; ++i)
        QCOMPARE(dialog.CheckList()->GetCheck(i), mask[i] == '1' ? 1 : 0);
    }
  }

  void boxesAreRangeCheckedAndPatternsCompiled() {
    // Each box with its text; the others keep their valid values.
    using Box = QWidget* (*)(PreferencesDialog&);
    const Box timeout = [](PreferencesDialog& d) -> QWidget* { return d.TimeoutEdit(); };
    const Box transfers = [](PreferencesDialog& d) -> QWidget* { return d.TransfersEdit(); };
    const Box perHost = [](PreferencesDialog& d) -> QWidget* { return d.PerHostEdit(); };
    const Box skip = [](PreferencesDialog& d) -> QWidget* { return d.SkipEdit(); };
    const QString skipMessage = "Skip links matching: \"a(\" is not a valid regular expression.";
    const std::tuple<Box, const char*, QString> cases[] = {
        {timeout, "4", CPreferencesDlg::RANGE_MESSAGE},
        {timeout, "5", ""},
        {timeout, "50", ""},
        {timeout, "51", CPreferencesDlg::RANGE_MESSAGE},
        {timeout, "", CPreferencesDlg::RANGE_MESSAGE},
        {timeout, "ten", CPreferencesDlg::RANGE_MESSAGE},
        {timeout, "7.5", CPreferencesDlg::RANGE_MESSAGE},
        {transfers, "257", CPreferencesDlg::TRANSFERS_MESSAGE},
        {perHost, "17", CPreferencesDlg::PER_HOST_MESSAGE},
        {skip, "ok\n\na(", skipMessage},
        {skip, "^https?://intranet/\n\\.pdf$", ""},
    };
    for (const auto& [box, text, message] : cases) {
      m_messages.clear();
      CPreferencesDlg model(f->view.FilterMask(), f->view.OutcomeTexts());
      model.m_nTimeout = 15;
      PreferencesDialog dialog(model);
      QVERIFY(Show(dialog));
      QCOMPARE(dialog.TransfersEdit()->text(), QString("128"));
      QCOMPARE(dialog.PerHostEdit()->text(), QString("2"));
      QWidget* edit = box(dialog);
      if (auto* line = qobject_cast<QLineEdit*>(edit)) line->setText(text);
      if (auto* plain = qobject_cast<QPlainTextEdit*>(edit)) plain->setPlainText(text);
      Click(&dialog, "OK");
      const bool accepted = message.isEmpty();
      QVERIFY2(dialog.isVisible() != accepted, text);
      QCOMPARE(m_messages, accepted ? QStringList() : QStringList{message});
      if (accepted) {
        QCOMPARE(model.m_nTimeout, box == timeout ? QString(text).toInt() : 15);
        QCOMPARE(model.m_nTransfers * 100 + model.m_nPerHost, 128 * 100 + 2);
        QCOMPARE(model.m_skipPatterns.size(), box == skip ? 2u : 0u);
        continue;
      }
      // The refused box is ready for a new entry.
      QCOMPARE(QApplication::focusWidget(), edit);
      if (auto* line = qobject_cast<QLineEdit*>(edit))
        QCOMPARE(line->selectedText(), QString(text));
    }
  }

  void preferencesThroughTheViewOkOrCancel() {
    for (bool ok : {true, false}) {
      init();
      f->frame.onPreferences = [ok](CPreferencesDlg& model) {
        PreferencesDialog dialog(model);
        QTimer::singleShot(0, &dialog, [&] {
          QCOMPARE(dialog.TimeoutEdit()->text(), QString("15"));
          QCOMPARE(dialog.SkipEdit()->toPlainText(), QString());
          QTest::mouseClick(dialog.OneEyeButton(), Qt::LeftButton);
          dialog.TimeoutEdit()->setText("30");
          dialog.TransfersEdit()->setText("64");
          dialog.PerHostEdit()->setText("3");
          dialog.SkipEdit()->setPlainText("^https://intranet/\r\n\nlinkedin\\.com\n");
          Click(&dialog, ok ? "OK" : "Cancel");
        });
        return dialog.exec() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
      };
      f->view.OnPreferences();
      // Either way the view keeps the mask of the button for the rest of the run.
      CSettingsStore& settings = f->settings.Store();
      QCOMPARE(f->view.FilterMask(), std::string(CPreferencesDlg::ONE_EYE_MASK));
      QCOMPARE(settings.GetString("Settings", "Filter", "none"),
               std::string(ok ? CPreferencesDlg::ONE_EYE_MASK : "none"));
      QCOMPARE(settings.GetInt("Settings", "Timeout", 0), ok ? 30 : 0);
      QCOMPARE(f->view.WaitLimitSeconds(), ok ? 30 : 15);
      QCOMPARE(settings.GetInt("Settings", "FullTransfers", 0), ok ? 64 : 0);
      QCOMPARE(settings.GetInt("Settings", "FullPerHost", 0), ok ? 3 : 0);
      QCOMPARE(settings.GetString("Settings", "SkipLinks", "none"),
               std::string(ok ? "^https://intranet/\nlinkedin\\.com" : "none"));
      QCOMPARE(f->view.GetFullCheckOptions().maxTransfers, ok ? 64 : 128);
    }
  }

  void exportSwapsEndings() {
    // Clicking the five format buttons in turn, and back to text.
    const char* const endings[] = {"txt", "html", "json", "csv", "xml"};
    CExportDlg model(f->frame);
    model.m_strExportPath = "/tmp/a.b/out.txt";
    model.m_nExportFormat = ExportFormat::Text;
    ExportDialog dialog(model);
    QVERIFY(Show(dialog));
    QCOMPARE(dialog.PathEdit()->text(), QString("/tmp/a.b/out.txt"));
    QCOMPARE(dialog.FormatGroup()->checkedId(), 0);
    for (int format : {1, 2, 3, 4, 0}) {
      ClickIndicator(dialog.FormatGroup()->button(format));
      QCOMPARE(dialog.PathEdit()->text(), QString("/tmp/a.b/out.%1").arg(endings[format]));
      QCOMPARE(static_cast<int>(model.m_nExportFormat), format);
    }
  }

  void exportRefusesLongPathsAndBrowsesFromTheTypedOne() {
    for (int length : {200, 201}) {
      m_messages.clear();
      CExportDlg model(f->frame);
      model.m_nExportFormat =
          static_cast<ExportFormat>(length == 200 ? -1 : 7);  // no button checked for either
      ExportDialog dialog(model);
      QVERIFY(Show(dialog));
      QCOMPARE(dialog.FormatGroup()->checkedId(), -1);
      dialog.PathEdit()->setText(QString(length, 'a'));
      Click(&dialog, "OK");
      QCOMPARE(dialog.isVisible(), length > 200);
      QCOMPARE(m_messages.size(), length > 200 ? 1 : 0);
      if (length == 200) QCOMPARE(model.m_strExportPath, std::string(200, 'a'));
    }
    // Browse starts from what is typed and shows what was chosen (nothing: the typed path stays).
    for (const char* answer : {"/home/u/bad.html", ""}) {
      std::string initial;
      f->frame.onSaveFile = [&](const std::string& name, const std::string&, const std::string&,
                                std::string* chosen) {
        initial = name;
        *chosen = answer;
        return *answer != '\0';
      };
      CExportDlg model(f->frame);
      model.m_strExportPath = "results.txt";
      ExportDialog dialog(model);
      dialog.PathEdit()->setText("typed.txt");
      QTest::mouseClick(dialog.BrowseButton(), Qt::LeftButton);
      QCOMPARE(initial, std::string("typed.txt"));
      QCOMPARE(dialog.PathEdit()->text(), QString(*answer ? answer : "typed.txt"));
    }
  }

  void saveDialogFiltersAndDefaultExtension() {
    QCOMPARE(QtNameFilters("Text Files (*.txt)|*.txt| All Files (*.*)|*.*||"),
             (QStringList{"Text Files (*.txt)", "All Files (*)"}));
    QCOMPARE(QtNameFilters("Pages (*.htm;*.html)|*.htm;*.html||"),
             QStringList{"Pages (*.htm *.html)"});
    QCOMPARE(QtNameFilters(""), QStringList());
    for (auto [name, ext, result] : {std::tuple{"/x/report", "txt", "/x/report.txt"},
                                     {"/x/report.html", "txt", "/x/report.html"},
                                     {"/x.y/report", "html", "/x.y/report.html"},
                                     {"/x/report.", "txt", "/x/report.txt"},
                                     {"/x/report", "", "/x/report"}})
      QCOMPARE(WithDefaultExtension(name, ext), QString(result));
  }

  void repairDialogExchangesType() {
    // stored type, radio button clicked (-1 none), closing button, type handed back
    for (auto [stored, click, button, result] : {std::tuple{1, 3, "OK", 3},
                                                 {3, -1, "OK", 3},
                                                 {-1, 0, "OK", 0},
                                                 {7, -1, "OK", -1},
                                                 {1, 0, "Cancel", 1}}) {
      CRepairDlg model;
      model.m_nRepairType = static_cast<RepairType>(stored);
      RepairDialog dialog(model);
      QVERIFY(Show(dialog));
      QCOMPARE(dialog.TypeGroup()->checkedId(), (stored >= 0 && stored <= 3) ? stored : -1);
      if (click >= 0) ClickIndicator(dialog.TypeGroup()->button(click));
      Click(&dialog, button);
      QCOMPARE(static_cast<int>(model.m_nRepairType), result);
    }
  }

  void repairFailDialogExchangesData() {
    for (bool check : {true, false}) {
      CRepairFailDlg model;
      model.m_strFailFile = "/web/index.htm";
      model.m_strFailUrl = "http://host/old.html";
      RepairFailDialog dialog(model);
      QVERIFY(Show(dialog));
      QCOMPARE(dialog.FileEdit()->text(), QString("/web/index.htm"));
      QCOMPARE(dialog.UrlEdit()->text(), QString("http://host/old.html"));
      QVERIFY(dialog.FileEdit()->isReadOnly() && dialog.UrlEdit()->isReadOnly());
      QVERIFY(!dialog.IgnoreBox()->isChecked());
      if (check) ClickIndicator(dialog.IgnoreBox());
      Click(&dialog, "OK");
      QCOMPARE(model.m_bIgnore, check);
    }
  }
};

LINKWARD_TEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
