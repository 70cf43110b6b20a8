// The Preferences, export and repair dialogs: what they show of their models
// and what they hand back.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "engine/LinkwardView.h"
#include "engine/OutcomeTable.h"
#include "gui/ExportDialog.h"
#include "gui/FileDialogs.h"
#include "gui/PreferencesDialog.h"
#include "gui/RepairDialog.h"
#include "gui/RepairFailDialog.h"
#include "platform/KeyStore.h"
#include "platform/PollEventLoop.h"
#include "repair/RepairDlg.h"
#include "settings/ExportDlg.h"
#include "settings/PreferencesDlg.h"
#include "settings/SettingsStore.h"

namespace {

// A click on a radio button's indicator (its widget may be wider than the
// part that takes clicks).
void ClickIndicator(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

QPushButton* ButtonNamed(QWidget* dialog, const QString& text) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

bool HasLabel(QWidget* dialog, const QString& text) {
  for (QLabel* l : dialog->findChildren<QLabel*>())
    if (l->text() == text) return true;
  return false;
}

bool HasGroup(QWidget* dialog, const QString& title) {
  for (QGroupBox* g : dialog->findChildren<QGroupBox*>())
    if (g->title() == title) return true;
  return false;
}

// A frame whose Preferences dialog is the real one, driven by a script that
// runs once the dialog is open.
class DialogFrame : public IFrame {
 public:
  std::function<void(PreferencesDialog&)> script;
  std::string saveAnswer;
  std::string lastFilter, lastExt, lastInitial;

  int DoModal(CPreferencesDlg& dlg) override {
    PreferencesDialog dialog(dlg);
    QTimer::singleShot(0, &dialog, [&] { script(dialog); });
    return dialog.exec() == QDialog::Accepted ? IDOK : IDCANCEL;
  }
  bool GetSaveFileName(const std::string& initialName, const std::string& defaultExt,
                       const std::string& filter, std::string* chosen) override {
    lastInitial = initialName;
    lastExt = defaultExt;
    lastFilter = filter;
    if (saveAnswer.empty()) return false;
    *chosen = saveAnswer;
    return true;
  }
};

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<CSqliteKeyStore> m_keys;
  std::unique_ptr<CSettingsStore> m_settings;
  std::unique_ptr<DialogFrame> m_frame;
  std::unique_ptr<CPollEventLoop> m_loop;
  std::unique_ptr<CLinkwardView> m_view;
  QStringList m_messages;

 private slots:
  void init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_keys = std::make_unique<CSqliteKeyStore>(m_dir->filePath("registry.db").toStdString());
    m_settings = std::make_unique<CSettingsStore>(*m_keys, m_dir->path().toStdString());
    IKeyStore::Key key;
    int disposition = 0;
    QVERIFY(m_settings->OpenRoot(&key, &disposition, HKEY_LOCAL_MACHINE,
                                 "Software\\Quillfen Software\\Linkward"));
    m_settings->CloseKey(&key);
    m_frame = std::make_unique<DialogFrame>();
    m_loop = std::make_unique<CPollEventLoop>(true);
    m_view = std::make_unique<CLinkwardView>(*m_settings, *m_frame, *m_loop,
                                             m_dir->filePath("scratch").toStdString());
    m_messages.clear();
    PreferencesDialog::s_showRangeMessage = [this](QWidget*, const QString& text) {
      m_messages << text;
    };
    ExportDialog::s_showLengthMessage = [this](QWidget*, const QString& text) {
      m_messages << text;
    };
  }

  void cleanup() {
    m_view.reset();
    m_loop.reset();
    m_frame.reset();
    m_settings.reset();
    m_keys.reset();
    m_dir.reset();
  }

  void preferencesShowsRowsChecksAndWaitLimit() {
    m_view->FilterMask() = "100000000000000000001";
    CPreferencesDlg model(*m_view);
    model.m_nTimeout = 15;
    PreferencesDialog dialog(model);
    QCOMPARE(dialog.windowTitle(), QString("Preferences"));
    COutcomeCheckListBox* list = dialog.CheckList();
    QCOMPARE(list->count(), OUTCOME_KINDS);
    QVERIFY(!list->isSortingEnabled());
    QCOMPARE(list->selectionMode(), QAbstractItemView::NoSelection);
    for (int i = 0; i < OUTCOME_KINDS; ++i) {
      QCOMPARE(list->item(i)->text(), QString::fromStdString(m_view->OutcomeText(i)));
      QCOMPARE(list->item(i)->sizeHint().height(), 20);
      QCOMPARE(list->GetCheck(i), (i == 0 || i == 20) ? 1 : 0);
    }
    QCOMPARE(dialog.TimeoutEdit()->text(), QString("15"));
    QVERIFY(HasLabel(&dialog, "How Long to Wait for Slow Hosts? (seconds)"));
    QVERIFY(HasLabel(&dialog, "Report Results for Checked Items - or use the Defaults"));
    QVERIFY(HasLabel(&dialog, "Report every defect to me (code 200 is not a defect)"));
    QVERIFY(HasLabel(&dialog, "Report only the very worst offenders to me"));
    QVERIFY(HasGroup(&dialog, "Defaults for Type A Users"));
    QVERIFY(HasGroup(&dialog, "Defaults for Type B Users"));
    for (const char* b : {"OK", "Cancel", "Help", "Watch Like a Hawk", "Watch With One Eye Shut"})
      QVERIFY2(ButtonNamed(&dialog, b) != nullptr, b);
  }

  void preferencesFixedMaskButtons_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("mask");
    QTest::newRow("hawk") << "Watch Like a Hawk" << CPreferencesDlg::HAWK_MASK;
    QTest::newRow("one eye") << "Watch With One Eye Shut" << CPreferencesDlg::ONE_EYE_MASK;
  }
  void preferencesFixedMaskButtons() {
    QFETCH(QString, button);
    QFETCH(QString, mask);
    m_view->FilterMask() = "000000000000000000000";
    CPreferencesDlg model(*m_view);
    PreferencesDialog dialog(model);
    QTest::mouseClick(ButtonNamed(&dialog, button), Qt::LeftButton);
    // The view takes the mask at once, and the checks show it.
    QCOMPARE(QString::fromStdString(m_view->FilterMask()), mask);
    for (int i = 0; i < OUTCOME_KINDS; ++i)
      QCOMPARE(dialog.CheckList()->GetCheck(i), mask[i] == '1' ? 1 : 0);
  }

  void preferencesWaitLimit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("4") << "4" << false;
    QTest::newRow("5") << "5" << true;
    QTest::newRow("50") << "50" << true;
    QTest::newRow("51") << "51" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("letters") << "ten" << false;
    QTest::newRow("fraction") << "7.5" << false;
  }
  void preferencesWaitLimit() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    CPreferencesDlg model(*m_view);
    model.m_nTimeout = 15;
    PreferencesDialog dialog(model);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.TimeoutEdit()->setText(text);
    QTest::mouseClick(ButtonNamed(&dialog, "OK"), Qt::LeftButton);
    if (accepted) {
      QVERIFY(m_messages.isEmpty());
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      QVERIFY(!dialog.isVisible());
      QCOMPARE(model.m_nTimeout, text.toInt());
    } else {
      QCOMPARE(m_messages, QStringList{CPreferencesDlg::RANGE_MESSAGE});
      QVERIFY(dialog.isVisible());
      QCOMPARE(model.m_nTimeout, 15);
      // The wait limit box is ready for a new entry.
      QCOMPARE(dialog.TimeoutEdit()->selectedText(), text);
      QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dialog.TimeoutEdit()));
    }
  }

  void preferencesOkBuildsMaskFromChecks() {
    m_view->FilterMask() = CPreferencesDlg::HAWK_MASK;
    CPreferencesDlg model(*m_view);
    PreferencesDialog dialog(model);
    dialog.CheckList()->SetCheck(1, 0);
    dialog.CheckList()->SetCheck(0, 1);
    dialog.TimeoutEdit()->setText("20");
    dialog.accept();
    QCOMPARE(QString::fromStdString(m_view->FilterMask()), QString("101111111111111111111"));
  }

  void preferencesRealMessageBoxIsClosable() {
    // The default hook shows a real message box; it must not block the dialog.
    PreferencesDialog::s_showRangeMessage = [](QWidget* parent, const QString& text) {
      QTimer::singleShot(0, [] {
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
      });
      QMessageBox::warning(parent, "Linkward", text);
    };
    CPreferencesDlg model(*m_view);
    PreferencesDialog dialog(model);
    dialog.show();
    dialog.TimeoutEdit()->setText("99");
    dialog.accept();
    QVERIFY(dialog.isVisible());
  }

  void preferencesThroughTheView_data() {
    QTest::addColumn<bool>("ok");
    QTest::newRow("ok") << true;
    QTest::newRow("cancel") << false;
  }
  void preferencesThroughTheView() {
    QFETCH(bool, ok);
    m_frame->script = [ok](PreferencesDialog& dialog) {
      QCOMPARE(dialog.TimeoutEdit()->text(), QString("15"));
      QTest::mouseClick(dialog.OneEyeButton(), Qt::LeftButton);
      dialog.TimeoutEdit()->setText("30");
      QTest::mouseClick(ButtonNamed(&dialog, ok ? "OK" : "Cancel"), Qt::LeftButton);
    };
    m_view->OnPreferences();
    // Either way the view keeps the mask of the button for the rest of the run.
    QCOMPARE(m_view->FilterMask(), std::string(CPreferencesDlg::ONE_EYE_MASK));
    if (ok) {
      QCOMPARE(m_settings->GetString("Settings", "Filter", "none"),
               std::string(CPreferencesDlg::ONE_EYE_MASK));
      QCOMPARE(m_settings->GetInt("Settings", "Timeout", 0), 30);
      QCOMPARE(m_view->WaitLimitSeconds(), 30);
    } else {
      QCOMPARE(m_settings->GetString("Settings", "Filter", "none"), std::string("none"));
      QCOMPARE(m_settings->GetInt("Settings", "Timeout", 0), 0);
      QCOMPARE(m_view->WaitLimitSeconds(), 15);
    }
  }

  void exportShowsModelAndSwapsEndings_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("asHtml");
    QTest::addColumn<QString>("backToText");
    QTest::newRow("txt") << "results.txt"
                         << "results.html"
                         << "results.txt";
    QTest::newRow("dir") << "/tmp/a.b/out.txt"
                         << "/tmp/a.b/out.html"
                         << "/tmp/a.b/out.txt";
    QTest::newRow("bak") << "report.txt.bak"
                         << "report.txt.bak"
                         << "report.txt.bak";
    QTest::newRow("upper") << "R.TXT"
                           << "R.TXT"
                           << "R.TXT";
    QTest::newRow("bare ending") << ".txt"
                                 << ".txt"
                                 << ".txt";
  }
  void exportShowsModelAndSwapsEndings() {
    QFETCH(QString, start);
    QFETCH(QString, asHtml);
    QFETCH(QString, backToText);
    CExportDlg model(*m_frame);
    model.m_strExportPath = start.toStdString();
    model.m_nExportFormat = 0;
    ExportDialog dialog(model);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("Export Bad URLs"));
    QCOMPARE(dialog.PathEdit()->text(), start);
    QVERIFY(dialog.TextButton()->isChecked());
    QVERIFY(!dialog.HtmlButton()->isChecked());
    QCOMPARE(dialog.TextButton()->text(), QString("Export as Text file"));
    QCOMPARE(dialog.HtmlButton()->text(), QString("Export as HTML file"));
    QCOMPARE(dialog.BrowseButton()->text(), QString("Browse..."));

    ClickIndicator(dialog.HtmlButton());
    QCOMPARE(dialog.PathEdit()->text(), asHtml);
    QCOMPARE(model.m_nExportFormat, 1);
    ClickIndicator(dialog.TextButton());
    QCOMPARE(dialog.PathEdit()->text(), backToText);
    QCOMPARE(model.m_nExportFormat, 0);
  }

  void exportTakesTypedPathAndNoFormat() {
    CExportDlg model(*m_frame);  // format -1: no button checked
    ExportDialog dialog(model);
    QVERIFY(!dialog.TextButton()->isChecked() && !dialog.HtmlButton()->isChecked());
    dialog.PathEdit()->setText("typed.txt");
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(model.m_strExportPath, std::string("typed.txt"));
    QCOMPARE(model.m_nExportFormat, -1);
  }

  void exportPathLength_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("200") << 200 << true;
    QTest::newRow("201") << 201 << false;
  }
  void exportPathLength() {
    QFETCH(int, length);
    QFETCH(bool, accepted);
    CExportDlg model(*m_frame);
    model.m_nExportFormat = 0;
    ExportDialog dialog(model);
    dialog.show();
    dialog.PathEdit()->setText(QString(length, 'a'));
    QTest::mouseClick(ButtonNamed(&dialog, "OK"), Qt::LeftButton);
    QCOMPARE(dialog.isVisible(), !accepted);
    QCOMPARE(m_messages.size(), accepted ? 0 : 1);
  }

  void exportBrowse_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("shown");
    QTest::newRow("text chosen") << 0 << "txt"
                                 << "/home/u/bad.txt"
                                 << "/home/u/bad.txt";
    QTest::newRow("html chosen") << 1 << "html"
                                 << "/home/u/bad.html"
                                 << "/home/u/bad.html";
    QTest::newRow("cancelled") << 0 << "txt"
                               << ""
                               << "typed.txt";
  }
  void exportBrowse() {
    QFETCH(int, format);
    QFETCH(QString, ext);
    QFETCH(QString, answer);
    QFETCH(QString, shown);
    CExportDlg model(*m_frame);
    model.m_strExportPath = "results.txt";
    model.m_nExportFormat = format;
    ExportDialog dialog(model);
    dialog.PathEdit()->setText("typed.txt");  // read into the model before browsing
    m_frame->saveAnswer = answer.toStdString();
    QTest::mouseClick(dialog.BrowseButton(), Qt::LeftButton);
    QCOMPARE(QString::fromStdString(m_frame->lastInitial), QString("typed.txt"));
    QCOMPARE(QString::fromStdString(m_frame->lastExt), ext);
    QCOMPARE(dialog.PathEdit()->text(), shown);
  }

  void saveDialogFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("qt");
    QTest::newRow("text") << "Text Files (*.txt)|*.txt| All Files (*.*)|*.*||"
                          << QStringList{"Text Files (*.txt)", "All Files (*)"};
    QTest::newRow("html") << "HTML Files (*.html)|*.html| All Files (*.*)|*.*||"
                          << QStringList{"HTML Files (*.html)", "All Files (*)"};
    QTest::newRow("two patterns") << "Pages (*.htm;*.html)|*.htm;*.html||"
                                  << QStringList{"Pages (*.htm *.html)"};
    QTest::newRow("empty") << "" << QStringList{};
  }
  void saveDialogFilters() {
    QFETCH(QString, filter);
    QFETCH(QStringList, qt);
    QCOMPARE(QtNameFilters(filter.toStdString()), qt);
  }

  void saveDialogDefaultExtension_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("result");
    QTest::newRow("none") << "/x/report"
                          << "txt"
                          << "/x/report.txt";
    QTest::newRow("has one") << "/x/report.html"
                             << "txt"
                             << "/x/report.html";
    QTest::newRow("dotted dir") << "/x.y/report"
                                << "html"
                                << "/x.y/report.html";
    QTest::newRow("trailing dot") << "/x/report."
                                  << "txt"
                                  << "/x/report.txt";
    QTest::newRow("no default") << "/x/report"
                                << ""
                                << "/x/report";
  }
  void saveDialogDefaultExtension() {
    QFETCH(QString, name);
    QFETCH(QString, ext);
    QFETCH(QString, result);
    QCOMPARE(WithDefaultExtension(name, ext.toStdString()), result);
  }

  void repairDialogExchangesType_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("click");
    QTest::addColumn<int>("result");
    QTest::newRow("none checked, none chosen") << -1 << -1 << -1;
    QTest::newRow("0 kept") << 0 << -1 << 0;
    QTest::newRow("1 to 2") << 1 << 2 << 2;
    QTest::newRow("none to 0") << -1 << 0 << 0;
    QTest::newRow("out of range shows none") << 7 << -1 << -1;
  }
  void repairDialogExchangesType() {
    QFETCH(int, stored);
    QFETCH(int, click);
    QFETCH(int, result);
    CRepairDlg model;
    model.m_nRepairType = stored;
    RepairDialog dialog(model);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.TypeGroup()->checkedId(), (stored >= 0 && stored <= 2) ? stored : -1);
    if (click >= 0) ClickIndicator(dialog.TypeGroup()->button(click));
    QTest::mouseClick(ButtonNamed(&dialog, "OK"), Qt::LeftButton);
    QCOMPARE(model.m_nRepairType, result);
  }

  void repairDialogCancelKeepsType() {
    CRepairDlg model;
    model.m_nRepairType = 1;
    RepairDialog dialog(model);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    ClickIndicator(dialog.TypeGroup()->button(0));
    QTest::mouseClick(ButtonNamed(&dialog, "Cancel"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(model.m_nRepairType, 1);
  }

  void repairDialogTexts() {
    CRepairDlg model;
    RepairDialog dialog(model);
    QCOMPARE(dialog.windowTitle(), QString("URL Link Disable and File Repair"));
    QVERIFY(
        HasGroup(&dialog, "When Linkward finds the offending URL in the file do the following:"));
    QCOMPARE(dialog.TypeGroup()->button(0)->text(),
             QString("Disable the entire line of text containing the URL."));
    QCOMPARE(dialog.TypeGroup()->button(1)->text(),
             QString("Replace the URL text with the name of the file it is in."));
    QCOMPARE(dialog.TypeGroup()->button(2)->text(),
             QString("Remove the entire line of text containing the URL."));
    QVERIFY(HasLabel(&dialog, "No text is deleted. The bad URL is preserved as an HTML comment."));
    QVERIFY(HasLabel(&dialog, "Save the bad URLs in a separate file."));
    QVERIFY(HasLabel(&dialog,
                     "For any option, your original files are backed-up with the extension .REP"));
    QVERIFY(ButtonNamed(&dialog, "Help") != nullptr);
  }

  void repairFailDialogExchangesData_data() {
    QTest::addColumn<bool>("check");
    QTest::newRow("ignored") << true;
    QTest::newRow("kept") << false;
  }
  void repairFailDialogExchangesData() {
    QFETCH(bool, check);
    CRepairFailDlg model;
    model.m_strFailFile = "/web/index.htm";
    model.m_strFailUrl = "http://host/old.html";
    RepairFailDialog dialog(model);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("Repair Failure"));
    QCOMPARE(dialog.FileEdit()->text(), QString("/web/index.htm"));
    QCOMPARE(dialog.UrlEdit()->text(), QString("http://host/old.html"));
    QVERIFY(dialog.FileEdit()->isReadOnly() && dialog.UrlEdit()->isReadOnly());
    QVERIFY(!dialog.IgnoreBox()->isChecked());
    QCOMPARE(
        dialog.IgnoreBox()->text(),
        QString("Please ignore this instance of this URL \nfor the remainder of this session."));
    QVERIFY(HasLabel(&dialog, "The URL Repair failed in file:"));
    QVERIFY(HasLabel(&dialog, "Possibly near URL:"));
    QVERIFY(HasLabel(
        &dialog,
        "Please examine/correct the file and try to re-run the Repair.\n(Your original file was "
        "saved with extension .REP)"));
    if (check) ClickIndicator(dialog.IgnoreBox());
    QTest::mouseClick(ButtonNamed(&dialog, "OK"), Qt::LeftButton);
    QCOMPARE(model.m_bIgnore, check ? 1 : 0);
  }
};

QTEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
