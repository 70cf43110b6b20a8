// Small helpers the desktop tests share: finding a dialog's controls by the
// text a user reads, and clicking as a user does.
#pragma once

#include <QtTest>
#include <QtWidgets>

#include "support/IsolatedHome.h"

// The main of every Qt Test program: a home of its own (see IsolatedHome) and
// the offscreen platform unless another is asked for, then the test object.
#define LINKWARD_TEST_MAIN(TestObject)                                                           \
  int main(int argc, char* argv[]) {                                                             \
    IsolatedHome home;                                                                           \
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen"); \
    QApplication app(argc, argv);                                                                \
    TestObject test;                                                                             \
    return QTest::qExec(&test, argc, argv);                                                      \
  }

// Clicks the dialog's push button with the given text.
inline void Click(QWidget* dialog, const QString& text) {
  for (QPushButton* button : dialog->findChildren<QPushButton*>())
    if (button->text() == text) return QTest::mouseClick(button, Qt::LeftButton);
  QFAIL(qPrintable("no button " + text));
}
