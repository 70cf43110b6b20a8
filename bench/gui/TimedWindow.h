// The desktop program's main window for the timed runs: an application
// object on a settings store in a temporary directory, its main window shown
// and the first events processed.
#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <memory>

#include "gui/LinkwardGuiApp.h"
#include "gui/MainFrame.h"

using namespace linkward;

// The window lives as long as the returned application object; null when it
// could not be made.
inline std::unique_ptr<CLinkwardGuiApp> ShowTimedWindow(const QTemporaryDir& dir) {
  auto app = std::make_unique<CLinkwardGuiApp>(dir.filePath("registry.db").toStdString(),
                                               dir.path().toStdString());
  if (!app->InitInstance()) return nullptr;
  app->MainFrame()->show();
  QApplication::processEvents();
  return app;
}
