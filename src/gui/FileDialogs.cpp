#include "FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace linkward {

QStringList QtNameFilters(const std::string& filter) {
  // Pairs of "description|pattern", ended by an empty description.
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i].trimmed();
    if (name.isEmpty()) break;
    QString patterns = parts[i + 1].trimmed();
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    QStringList list = patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString& p : list)
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");
    // Qt reads the patterns from the parentheses; give it the real ones.
    qsizetype paren = name.indexOf(QLatin1Char('('));
    if (paren >= 0) name = name.left(paren).trimmed();
    out << QStringLiteral("%1 (%2)").arg(name, list.join(QLatin1Char(' ')));
  }
  return out;
}

QString WithDefaultExtension(const QString& name, const std::string& defaultExt) {
  if (name.isEmpty() || defaultExt.empty()) return name;
  if (!QFileInfo(name).suffix().isEmpty()) return name;
  QString base = name;
  if (base.endsWith(QLatin1Char('.'))) base.chop(1);
  return base + QLatin1Char('.') + QString::fromStdString(defaultExt);
}

bool RunSaveFileDialog(QWidget* parent, const std::string& initialName,
                       const std::string& defaultExt, const std::string& filter,
                       std::string* chosen) {
  QFileDialog dialog(parent, QStringLiteral("Save As"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The export command asks about an existing file itself.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  const QStringList filters = QtNameFilters(filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!defaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(defaultExt));
  const QString initial = QString::fromStdString(initialName);
  if (!initial.isEmpty()) {
    QFileInfo info(initial);
    if (info.isRelative()) info = QFileInfo(QDir::current(), initial);
    dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return false;
  if (chosen != nullptr)
    *chosen =
        QFileInfo(WithDefaultExtension(files.first(), defaultExt)).absoluteFilePath().toStdString();
  return true;
}

}  // namespace linkward
