// The save file dialog of the desktop face.
//
// For the main window's frame (QtFrame): implement IFrame::GetSaveFileName by
// calling RunSaveFileDialog, which the export dialog's Browse button reaches
// through CExportDlg::OnBrowse.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

class QWidget;

namespace linkward {

// Shows a Save As dialog starting at initialName. filter has the form
// "Text Files (*.txt)|*.txt| All Files (*.*)|*.*||"; defaultExt ("txt") is
// appended with a "." to a chosen name that has no extension. It asks nothing
// about existing files. On OK stores the full path in *chosen and returns true.
bool RunSaveFileDialog(QWidget* parent, const std::string& initialName,
                       const std::string& defaultExt, const std::string& filter,
                       std::string* chosen);

// "Name (*.a)|*.a|Other (*.*)|*.*||" -> {"Name (*.a)", "Other (*)"}: Qt's
// name filters ("*.*" becomes "*", so files without a dot are listed too).
QStringList QtNameFilters(const std::string& filter);
// name with "." + defaultExt appended when its file name has no extension.
QString WithDefaultExtension(const QString& name, const std::string& defaultExt);

}  // namespace linkward
