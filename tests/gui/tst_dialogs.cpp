// The desktop dialogs and the About box as a user meets them: what they show
// of their models, what their controls hand back, the links of the About box,
// and the help window the Help buttons open. The dialogs' rules themselves
// are tested without a toolkit (tests/settings/Dialogs_test.cpp).
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "GuiTest.h"
#include "app/LinkwardApp.h"
#include "gui/AboutDialog.h"
#include "gui/ExportDialog.h"
#include "gui/FileDialogs.h"
#include "gui/Help.h"
#include "gui/PreferencesDialog.h"
#include "gui/RepairDialog.h"
#include "gui/RepairFailDialog.h"
#include "gui/StaticLink.h"
#include "repair/RepairDlg.h"
#include "results/OutcomeTable.h"
#include "results/ReportWriter.h"
#include "results/ResultRows.h"
#include "settings/ExportDlg.h"
#include "settings/PreferencesDlg.h"
#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"

using namespace linkward;

namespace {

const QColor BLUE(0, 0, 255);
const QColor PURPLE(128, 0, 128);

bool Show(QWidget& dialog) {
  dialog.show();
  return QTest::qWaitForWindowExposed(&dialog);
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

  ScratchDir m_dir;
  RecordingFrame m_frame;
  std::string m_mask;
  CPreferencesDlg::RowTexts m_rows;
  QStringList m_messages;
  QList<QUrl> m_opened;
  bool m_openSucceeds = true;

 private slots:
  void initTestCase() {
    for (int i = 0; i < OUTCOME_KINDS; ++i) m_rows[i] = OutcomeText(i);
    auto record = [this](QWidget*, const QString& text) { m_messages << text; };
    PreferencesDialog::s_showRangeMessage = record;
    ExportDialog::s_showLengthMessage = record;
    CStaticLink::s_opener = [this](const QUrl& url) {
      m_opened << url;
      return m_openSucceeds;
    };
  }
  void init() { m_messages.clear(); }

  // Each Help button opens the one help window (the page is built into the
  // program) at its dialog's section, below the top; context 0 is the top.
  void helpButtonsOpenTheirSection() {
    CPreferencesDlg preferences(m_mask, m_rows);
    CRepairDlg repair;
    PreferencesDialog preferencesDialog(preferences);
    RepairDialog repairDialog(repair);
    for (auto [dialog, section] : {std::pair<QDialog*, QString>{&preferencesDialog, "preferences"},
                                   {&repairDialog, "repair"},
                                   {nullptr, ""}}) {
      dialog ? Click(dialog, "Help") : OpenHelp(0);
      HelpWindow* window = HelpWindow::Instance();
      QVERIFY(window);
      QVERIFY(QTest::qWaitForWindowExposed(window));
      QCOMPARE(window->source().fragment(), section);
      QCOMPARE(window->verticalScrollBar()->value() > 0, !section.isEmpty());
    }
    delete HelpWindow::Instance();
  }

  // The list and boxes show the model; the fixed-mask buttons set the mask at
  // once; OK refuses each box in turn, leaving the focus on it, then takes all.
  void preferences() {
    m_mask = "100000000000000000001";
    CPreferencesDlg model(m_mask, m_rows);
    model.m_nTimeout = 15;
    model.m_skipPatterns = {"a", "b"};
    model.m_strUserAgent = "Probe/1";
    PreferencesDialog dialog(model);
    QVERIFY(Show(dialog));
    COutcomeCheckListBox* list = dialog.CheckList();
    QCOMPARE(list->count(), OUTCOME_KINDS);
    for (int i = 0; i < OUTCOME_KINDS; ++i) {
      QCOMPARE(list->item(i)->text(), QString(OutcomeText(i)));
      QCOMPARE(list->GetCheck(i), (i == 0 || i == 20) ? 1 : 0);
    }
    QCOMPARE(dialog.TimeoutEdit()->text(), QString("15"));
    QCOMPARE(dialog.TransfersEdit()->text(), QString("128"));
    QCOMPARE(dialog.PerHostEdit()->text(), QString("2"));
    QCOMPARE(dialog.SkipEdit()->toPlainText(), QString("a\nb"));
    QCOMPARE(dialog.UserAgentEdit()->text(), QString("Probe/1"));
    QVERIFY(!dialog.FragmentsBox()->isChecked());
    for (auto [button, mask] : {std::pair{"Watch Like a Hawk", CPreferencesDlg::HAWK_MASK},
                                {"Watch With One Eye Shut", CPreferencesDlg::ONE_EYE_MASK}}) {
      Click(&dialog, button);
      QCOMPARE(m_mask, std::string(mask));
      for (int i = 0; i < OUTCOME_KINDS; ++i) QCOMPARE(list->GetCheck(i), mask[i] - '0');
    }
    list->SetCheck(0, 1);
    list->SetCheck(7, 0);

    const QString skip = "^https://intranet/\r\n\nlinkedin\\.com\n";
    const std::tuple<QWidget*, QString, QString, QString> boxes[] = {
        {dialog.TimeoutEdit(), "51", "30", CPreferencesDlg::RANGE_MESSAGE},
        {dialog.TransfersEdit(), "257", "64", CPreferencesDlg::TRANSFERS_MESSAGE},
        {dialog.PerHostEdit(), "17", "3", CPreferencesDlg::PER_HOST_MESSAGE},
        {dialog.SkipEdit(), "a(", skip,
         "Skip links matching: \"a(\" is not a valid regular expression."},
        {dialog.UserAgentEdit(), QString(256, 'x'), "Mozilla/5.0 (X11)",
         "The User-Agent may hold at most 255 characters and no control characters."},
        {dialog.SiteUrlEdit(), "ftp://example.org/", "https://example.org/",
         "Please enter the site's http or https address (at most 2048 characters, no spaces), "
         "or leave the box empty."}};
    const auto setText = [](QWidget* box, const QString& text) {
      if (auto* line = qobject_cast<QLineEdit*>(box)) return line->setText(text);
      qobject_cast<QPlainTextEdit*>(box)->setPlainText(text);
    };
    for (const auto& [box, refused, taken, message] : boxes) {
      setText(box, refused);
      Click(&dialog, "OK");
      QVERIFY(dialog.isVisible());
      QCOMPARE(std::exchange(m_messages, {}), QStringList{message});
      QCOMPARE(QApplication::focusWidget(), box);
      if (auto* line = qobject_cast<QLineEdit*>(box)) QCOMPARE(line->selectedText(), refused);
      setText(box, taken);
    }
    dialog.FragmentsBox()->setChecked(true);
    Click(&dialog, "OK");
    QVERIFY(!dialog.isVisible());
    QCOMPARE(model.m_strUserAgent, "Mozilla/5.0 (X11)");
    QCOMPARE(model.m_strSiteUrl, "https://example.org/");
    QVERIFY(model.m_bCheckFragments);
    QCOMPARE(m_mask, std::string("100000001110000001000"));
    QCOMPARE(model.m_nTimeout, 30);
    QCOMPARE(model.m_nTransfers, 64);
    QCOMPARE(model.m_nPerHost, 3);
    QCOMPARE(model.m_skipPatterns,
             (std::vector<std::string>{"^https://intranet/", "linkedin\\.com"}));
  }

  void exportShowsTheModelSwapsEndingsBrowsesAndRefusesLongPaths() {
    m_frame.onSaveFile = [](const std::string& name, const std::string&, const std::string&,
                            std::string* chosen) {
      *chosen = "/home/u/" + name;
      return true;
    };
    CExportDlg model(m_frame);
    model.m_strExportPath = "/tmp/a.b/out.txt";
    model.m_nExportFormat = static_cast<ExportFormat>(7);  // names no format: no button checked
    ExportDialog dialog(model);
    QVERIFY(Show(dialog));
    QCOMPARE(dialog.PathEdit()->text(), QString("/tmp/a.b/out.txt"));
    QCOMPARE(dialog.FormatGroup()->checkedId(), -1);
    dialog.FormatGroup()->button(2)->click();
    QCOMPARE(dialog.PathEdit()->text(), QString("/tmp/a.b/out.json"));
    // Browse starts from what is typed and shows what was chosen.
    dialog.PathEdit()->setText("typed.json");
    QTest::mouseClick(dialog.BrowseButton(), Qt::LeftButton);
    QCOMPARE(dialog.PathEdit()->text(), QString("/home/u/typed.json"));
    dialog.PathEdit()->setText(QString(201, 'a'));
    Click(&dialog, "OK");
    QVERIFY(dialog.isVisible());
    QCOMPARE(m_messages, QStringList{"Enter no more than 200 characters."});
    QCOMPARE(QApplication::focusWidget(), dialog.PathEdit());
    QCOMPARE(dialog.PathEdit()->selectedText(), QString(201, 'a'));
    dialog.PathEdit()->setText(QString(200, 'a'));
    Click(&dialog, "OK");
    QVERIFY(!dialog.isVisible());
    QCOMPARE(model.m_strExportPath, std::string(200, 'a'));
    QCOMPARE(model.m_nExportFormat, ExportFormat::Json);
  }

  void saveDialogFiltersAndDefaultExtension() {
    QCOMPARE(QtNameFilters("Text Files (*.txt)|*.txt| All Files (*.*)|*.*||"),
             (QStringList{"Text Files (*.txt)", "All Files (*)"}));
    QCOMPARE(QtNameFilters("Pages (*.htm;*.html)|*.htm;*.html||"),
             QStringList{"Pages (*.htm *.html)"});
    for (auto [name, ext, result] : {std::tuple{"/x/report", "txt", "/x/report.txt"},
                                     {"/x/report.html", "txt", "/x/report.html"},
                                     {"/x.y/report", "html", "/x.y/report.html"},
                                     {"/x/report.", "txt", "/x/report.txt"}})
      QCOMPARE(WithDefaultExtension(name, ext), QString(result));
  }

  void repairDialogsHandBackTheChoices() {
    // stored type, radio button clicked (-1 none), closing button, type handed back
    for (auto [stored, click, button, result] :
         {std::tuple{1, 3, "OK", 3}, {7, -1, "OK", -1}, {1, 0, "Cancel", 1}}) {
      CRepairDlg model;
      model.m_nRepairType = static_cast<RepairType>(stored);
      RepairDialog dialog(model);
      QVERIFY(Show(dialog));
      QCOMPARE(dialog.TypeGroup()->checkedId(), stored == 1 ? 1 : -1);
      if (click >= 0) dialog.TypeGroup()->button(click)->click();
      Click(&dialog, button);
      QCOMPARE(static_cast<int>(model.m_nRepairType), result);
      QVERIFY(!dialog.TypeGroup()->button(4));
      QVERIFY(!dialog.PreviewButton());
    }
    // After a full check with archived copies: type 4 is offered, and the
    // preview shows the pass's diff for the chosen type, touching no file.
    {
      const std::string source = "<a href=\"http://h/gone\">x</a>\n";
      const std::string page = m_dir.WriteFile("archived.htm", source);
      CResultRows rows;
      rows.InsertItem(0, "http://h/gone");
      rows.SetItemText(0, COL_FILE, page);
      RowDetails details;
      details.code = 404;
      details.archiveUrl = "http://web.archive.org/web/1/http://h/gone";
      rows.SetItemDetails(0, details);
      CRepairDlg model;
      model.m_bArchivedCopies = true;
      RepairDialog dialog(model, &rows);
      QVERIFY(Show(dialog));
      QVERIFY(!dialog.PreviewButton()->isEnabled());  // no type chosen yet
      dialog.TypeGroup()->button(4)->click();
      dialog.PreviewButton()->click();
      const QString diff = dialog.PreviewPane()->toPlainText();
      QVERIFY2(diff.contains("+<a href=\"http://web.archive.org/web/1/http://h/gone\">x</a>"),
               qPrintable(diff));
      dialog.TypeGroup()->button(0)->click();  // the shown preview follows the type
      QVERIFY(dialog.PreviewPane()->toPlainText().contains("+<!--"));
      QCOMPARE(ScratchDir::ReadFile(page), source);
      dialog.TypeGroup()->button(4)->click();
      Click(&dialog, "OK");
      QCOMPARE(model.m_nRepairType, RepairType::ArchivedCopy);
    }
    CRepairFailDlg model;
    model.m_strFailFile = "/web/index.htm";
    model.m_strFailUrl = "http://host/old.html";
    RepairFailDialog dialog(model);
    QVERIFY(Show(dialog));
    QCOMPARE(dialog.FileEdit()->text(), QString("/web/index.htm"));
    QCOMPARE(dialog.UrlEdit()->text(), QString("http://host/old.html"));
    dialog.IgnoreBox()->click();
    Click(&dialog, "OK");
    QVERIFY(model.m_bIgnore);
  }

  // The links are blue until opened, then purple for the rest of the run; a
  // failed open changes nothing and may be retried; the mail address gets
  // "mailto:" once, however often it is clicked, and no other address does.
  // The pointer is a hand while hovering, but not just after a click.
  void aboutLinks() {
    CLinkwardApp app(m_dir / "registry.db", m_dir.Path());
    const QUrl home(LINKWARD_HOME_PAGE), mail("mailto:linkward-support@linkward.example.com");
    {
      CAboutDlg dialog(app);
      QVERIFY(Show(dialog));
      QStringList labels;
      for (QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
      QVERIFY(labels.contains("Linkward Version " LINKWARD_VERSION));
      CStaticLink* link = dialog.HomeLink();
      const QPoint inside = link->rect().center();
      QCOMPARE(link->CurrentColor(), BLUE);
      QTest::mouseMove(link, inside);
      QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
      QTest::mouseClick(link, Qt::LeftButton, {}, inside);
      QCOMPARE(link->CurrentColor(), PURPLE);
      QTest::mouseMove(link, inside + QPoint(1, 0));
      QCOMPARE(link->cursor().shape(), Qt::ArrowCursor);
      m_openSucceeds = false;
      QTest::mouseClick(dialog.MailLink(), Qt::LeftButton);
      QCOMPARE(dialog.MailLink()->CurrentColor(), BLUE);
      m_openSucceeds = true;
      QTest::mouseClick(dialog.MailLink(), Qt::LeftButton);
      QCOMPARE(m_opened, (QList<QUrl>{home, mail, mail}));
    }
    CAboutDlg again(app);
    QCOMPARE(again.HomeLink()->CurrentColor(), PURPLE);
    QCOMPARE(again.MailLink()->CurrentColor(), PURPLE);
    for (const char* text : {"someone@example.org", "http://example.org/linkward-support/"}) {
      CStaticLink(text).Click();
      QCOMPARE(m_opened.takeLast(), QUrl(text));
    }
  }
};

LINKWARD_TEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
