// The desktop program's application object: start-up in the designed order
// (the settings store and its key, the profile, then the main window) and
// shutdown (the window and view first, then the scratch directory, then the
// settings store).
#pragma once

#include <QString>
#include <memory>

#include "app/LinkwardApp.h"

class QSettings;

namespace linkward {

class CMainFrame;
class QtEventLoop;

class CLinkwardGuiApp : public CLinkwardApp {
 public:
  CLinkwardGuiApp();
  // For tests: a key store and INI directory of their own.
  CLinkwardGuiApp(std::string keyStorePath, std::string iniDir);
  ~CLinkwardGuiApp() override;

  // Creates the settings store, loads the profile and creates the main
  // window (not yet shown). Always true: start-up has no failure of its own.
  bool InitInstance();
  // Destroys the main window and the view, removes the scratch directory
  // when it is empty, writes the profile and deletes the settings store.
  int ExitInstance();

  CMainFrame* MainFrame() const { return m_pMainFrame.get(); }
  QSettings* Profile() const { return m_pProfile.get(); }
  QtEventLoop* EventLoop() const { return m_pLoop.get(); }

  // The profile file: linkward.ini in the program's config directory.
  static QString ProfilePath();
  // Names the program to Qt (application and organisation). No display name
  // is set: Qt would append " — Linkward" to every window title, and the
  // dialogs' titles read exactly as designed.
  static void SetIdentity();

 private:
  std::unique_ptr<QSettings> m_pProfile;
  std::unique_ptr<QtEventLoop> m_pLoop;
  std::unique_ptr<CMainFrame> m_pMainFrame;
};

}  // namespace linkward
