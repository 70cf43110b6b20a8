#include "gui/QtFrame.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDockWidget>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <utility>

#include "gui/ExportDialog.h"
#include "gui/FileDialogs.h"
#include "gui/GuiText.h"
#include "gui/LogPane.h"
#include "gui/MainFrame.h"
#include "gui/PreferencesDialog.h"
#include "gui/ProgressStrip.h"
#include "gui/ProgressWindow.h"
#include "gui/RepairDialog.h"
#include "gui/RepairFailDialog.h"
#include "gui/ResultsModel.h"
#include "gui/SelectFilesDialog.h"
#include "results/ProgressDlg.h"
#include "settings/SelectFilesDlg.h"
#include "settings/SettingsStore.h"
#include "engine/LinkwardView.h"

namespace linkward {

QtFrame::QtFrame(CMainFrame& main) : m_main(main) {}

QtFrame::~QtFrame() {
  while (m_nWaitCursors > 0) EndWaitCursor();
  delete m_pProgress.data();
}

Answer QtFrame::MessageBox(const std::string& text, BoxStyle style) {
  if (messageBoxHook) return messageBoxHook(text, style);
  QMessageBox box(&m_main);
  box.setWindowTitle(QStringLiteral("Linkward"));
  box.setText(FromCore(text));
  box.setTextFormat(Qt::PlainText);
  const bool yesNo = ButtonsOf(style) == BoxStyle::YesNo;
  if (IconOf(style) == BoxStyle::IconExclamation) {
    box.setIcon(QMessageBox::Warning);
  } else if (IconOf(style) == BoxStyle::IconInformation) {
    box.setIcon(QMessageBox::Information);
  } else if (yesNo) {
    box.setIcon(QMessageBox::Question);
  }
  if (yesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  // A wait cursor must not hide the question's buttons.
  if (m_nWaitCursors > 0) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int answer = box.exec();
  if (m_nWaitCursors > 0) QApplication::restoreOverrideCursor();
  if (yesNo) return answer == QMessageBox::Yes ? Answer::Yes : Answer::No;
  return Answer::Ok;
}

void QtFrame::MessageBeep(BoxStyle type) {
  if (beepHook) beepHook(type);
  QApplication::beep();
}

void QtFrame::BeginWaitCursor() {
  ++m_nWaitCursors;
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtFrame::EndWaitCursor() {
  if (m_nWaitCursors == 0) return;
  --m_nWaitCursors;
  QApplication::restoreOverrideCursor();
}

void QtFrame::SetPaneText(int pane, const std::string& text) {
  if (pane < 0 || pane > 3) return;
  QLabel* label = m_main.Pane(pane);
  label->setText(FromCore(text));
  label->repaint();
}

void QtFrame::ActivityBarCreate(const CProgressBar& bar) {
  ShowBar(m_main.CreateActivityBar(), bar);
}

void QtFrame::ActivityBarChanged(const CProgressBar& bar) {
  if (QProgressBar* shown = m_main.ActivityBar()) ShowBar(shown, bar);
}

void QtFrame::LogAppend(const std::string& text) {
  m_main.Log()->Append(text);
}

void QtFrame::LogClear() {
  m_main.Log()->Clear();
}

void QtFrame::ProgressCreate(const CProgressDlg& dlg) {
  ShowProgress(dlg, m_main.View().Settings().GetInt("FileSel", "FullCheck", 0) != 0);
}

void QtFrame::ShowProgress(const CProgressDlg& dlg, bool docked) {
  delete m_pProgress.data();
  m_bDocked = docked;
  if (m_bDocked) {
    m_main.Strip()->Show(dlg);
    m_main.StripDock()->show();
    return;
  }
  if (m_main.StripDock()) m_main.StripDock()->hide();
  m_pProgress = new ProgressWindow(&m_main);
  m_pProgress->Show(dlg);
  m_pProgress->CentreOnParent();
  m_pProgress->show();
}

void QtFrame::PlaceProgress(bool docked) {
  const CProgressDlg* dlg = m_main.View().ProgressWindow();
  if (docked == m_bDocked || !dlg) return;
  ProgressDestroy();
  ShowProgress(*dlg, docked);
}

void QtFrame::ProgressUpdate(const CProgressDlg& dlg) {
  if (m_bDocked) return m_main.Strip()->Show(dlg);
  if (m_pProgress) m_pProgress->Show(dlg);
}

void QtFrame::ProgressDestroy() {
  m_bDocked = false;
  if (!m_pProgress) return;
  m_pProgress->hide();
  m_pProgress->deleteLater();
  m_pProgress = nullptr;
}

void QtFrame::RowsInserted(int first, int count) {
  const bool wasEmpty = m_main.Model()->rowCount() == 0;
  m_main.Model()->RowsInserted(first, count);
  if (wasEmpty) m_main.UpdateCommands();
}

void QtFrame::RowChanged(int row) {
  m_main.Model()->RowChanged(row);
}

void QtFrame::RowRemoved(int row) {
  m_main.Model()->RowRemoved(row);
  if (m_main.Model()->rowCount() == 0) m_main.UpdateCommands();
}

void QtFrame::RowsCleared() {
  m_main.Model()->RowsCleared();
  m_main.UpdateCommands();
}

void QtFrame::CommandStateChanged() {
  m_main.UpdateCommands();
}

namespace {

// Shows the desktop dialog that draws model, modally over parent.
template <typename Dialog, typename Model>
Answer RunModal(Model& model, QWidget* parent) {
  Dialog dialog(model, parent);
  return dialog.exec() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
}

}  // namespace

Answer QtFrame::DoModal(CSelectFilesDlg& dlg) {
  if (!offeredPath.empty()) dlg.m_strPath = std::exchange(offeredPath, {});
  if (offeredChoices) dlg.m_choices = *std::exchange(offeredChoices, std::nullopt);
  return RunModal<SelectFilesDialog>(dlg, &m_main);
}

Answer QtFrame::DoModal(CPreferencesDlg& dlg) {
  return RunModal<PreferencesDialog>(dlg, &m_main);
}

Answer QtFrame::DoModal(CExportDlg& dlg) {
  return RunModal<ExportDialog>(dlg, &m_main);
}

Answer QtFrame::DoModal(CRepairDlg& dlg) {
  // After a full check the dialog also previews the pass.
  RepairDialog dialog(dlg, m_main.FullRows() ? &m_main.View().Rows() : nullptr, &m_main);
  return dialog.exec() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
}

Answer QtFrame::DoModal(CRepairFailDlg& dlg) {
  return RunModal<RepairFailDialog>(dlg, &m_main);
}

std::string OpenDialogDirectory(const std::string& initialName) {
  const size_t slash = initialName.rfind('/');
  if (slash == std::string::npos) return std::string();
  if (slash == 0) return "/";
  return initialName.substr(0, slash);
}

bool QtFrame::GetOpenFileName(const std::string& initialName, std::string* chosen) {
  QString directory = FromCore(OpenDialogDirectory(initialName));
  if (directory.isEmpty()) directory = QDir::currentPath();
  // For a full check the web pages come first; the standard test's dialog
  // lists every file.
  QString filters = QStringLiteral("All Files (*)");
  auto* select = qobject_cast<SelectFilesDialog*>(QApplication::activeModalWidget());
  if (select && select->FullCheckBox()->isChecked())
    filters = QStringLiteral("Web pages (*.html *.htm *.xhtml *.shtml *.php *.asp *.aspx);;") + filters;
  const QString name =
      QFileDialog::getOpenFileName(&m_main, QStringLiteral("Open"), directory, filters);
  if (name.isEmpty()) return false;
  *chosen = ToCore(name);
  return true;
}

bool QtFrame::GetSaveFileName(const std::string& initialName, const std::string& defaultExt,
                              const std::string& filter, std::string* chosen) {
  return RunSaveFileDialog(&m_main, initialName, defaultExt, filter, chosen);
}

}  // namespace linkward
