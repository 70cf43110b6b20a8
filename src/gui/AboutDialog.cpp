#include "AboutDialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "StaticLink.h"
#include "app/LinkwardApp.h"
#include "results/ReportWriter.h"

namespace linkward {

namespace {

// The program's icon: the application's when it has one, else a drawn one
// (a blue page with a green check mark).
QPixmap AboutIcon() {
  const QIcon appIcon = QApplication::windowIcon();
  if (!appIcon.isNull()) return appIcon.pixmap(32, 32);
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 0, 128), 1.5));
  p.setBrush(QColor(230, 238, 255));
  p.drawRoundedRect(QRectF(4.5, 2.5, 22, 27), 2, 2);
  p.setPen(QPen(QColor(0, 0, 255), 1.5));
  for (int y = 8; y <= 20; y += 4) p.drawLine(QPointF(8, y), QPointF(22, y));
  QPainterPath check;
  check.moveTo(14, 22);
  check.lineTo(19, 28);
  check.lineTo(30, 14);
  p.setPen(QPen(QColor(0, 140, 0), 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(check);
  return pixmap;
}

QLabel* Centred(const QString& text) {
  auto* label = new QLabel(text);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

QGroupBox* Group(const QString& title, QLabel* content) {
  auto* box = new QGroupBox(title);
  auto* layout = new QVBoxLayout(box);
  layout->addWidget(content);
  return box;
}

}  // namespace

CAboutDlg::CAboutDlg(CLinkwardApp& app, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Linkward"));

  auto* whatItDoes = Centred(QStringLiteral("Checks HTTP links\n in HTML documents"));
  auto* legal =
      Centred(QStringLiteral("Copyright (C) 2026\nQuillfen Software.\nAll rights reserved."));

  m_pMail = new CStaticLink(QString::fromLatin1(LINKWARD_MAIL_ADDRESS));
  m_pHome = new CStaticLink(QString::fromLatin1(LINKWARD_HOME_PAGE));
  m_pMail->setObjectName(QStringLiteral("mailLink"));
  m_pHome->setObjectName(QStringLiteral("homeLink"));
  m_pMail->m_pVisited = &app.m_bAboutLink1Visited;
  m_pHome->m_pVisited = &app.m_bAboutLink2Visited;

  auto* icon = new QLabel;
  icon->setPixmap(AboutIcon());
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  // Left: what it does and the legal notice. Right: name, version, year,
  // author, the two links, the icon and OK.
  auto* left = new QVBoxLayout;
  left->addWidget(Group(QStringLiteral("What Linkward Does"), whatItDoes));
  left->addWidget(Group(QStringLiteral("Legal"), legal));
  left->addStretch();

  auto* right = new QVBoxLayout;
  auto* title = Centred(QStringLiteral("Linkward Version ") + QStringLiteral(LINKWARD_VERSION));
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  right->addWidget(title);
  right->addWidget(Centred(QStringLiteral("Copyright (C) 2026")));
  right->addSpacing(6);
  right->addWidget(Centred(QStringLiteral(
      "Written by the Linkward team\nat Quillfen Software\nfor web authors everywhere")));
  right->addSpacing(6);
  right->addWidget(m_pMail);
  right->addWidget(m_pHome);
  right->addStretch();
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(icon);
  bottom->addSpacing(16);
  bottom->addWidget(ok);
  bottom->addStretch();
  right->addLayout(bottom);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addSpacing(8);
  layout->addLayout(right, 1);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace linkward
