// The OK, Cancel and Help buttons that close a dialog, right-aligned in one row.
#pragma once

#include <QHBoxLayout>
#include <QPushButton>

namespace linkward {

struct DialogButtons {
  QPushButton* ok;
  QPushButton* cancel;
  QPushButton* help;
  QHBoxLayout* row;
};

// OK is the default button; Cancel and Help never take the default.
inline DialogButtons MakeDialogButtons() {
  DialogButtons b{new QPushButton(QStringLiteral("OK")), new QPushButton(QStringLiteral("Cancel")),
                  new QPushButton(QStringLiteral("Help")), new QHBoxLayout};
  b.ok->setDefault(true);
  b.cancel->setAutoDefault(false);
  b.help->setAutoDefault(false);
  b.row->addStretch();
  b.row->addWidget(b.ok);
  b.row->addWidget(b.cancel);
  b.row->addWidget(b.help);
  return b;
}

}  // namespace linkward
