#include "gui/LinkwardGuiApp.h"

#include <QCoreApplication>
#include <QSettings>

#include "gui/GuiText.h"
#include "gui/MainFrame.h"
#include "gui/QtEventLoop.h"
#include "platform/AppDirs.h"

namespace linkward {

CLinkwardGuiApp::CLinkwardGuiApp() = default;

CLinkwardGuiApp::CLinkwardGuiApp(std::string keyStorePath, std::string iniDir)
    : CLinkwardApp(std::move(keyStorePath), std::move(iniDir)) {}

CLinkwardGuiApp::~CLinkwardGuiApp() {
  if (m_pMainFrame) ExitInstance();
}

QString CLinkwardGuiApp::ProfilePath() {
  return FromCore(appdirs::ConfigDir()) + QStringLiteral("/linkward.ini");
}

void CLinkwardGuiApp::SetIdentity() {
  QCoreApplication::setApplicationName(QStringLiteral("Linkward"));
  QCoreApplication::setOrganizationName(QStringLiteral("Quillfen Software"));
}

bool CLinkwardGuiApp::InitInstance() {
  InitSettings();
  m_pProfile = std::make_unique<QSettings>(ProfilePath(), QSettings::IniFormat);
  m_pLoop = std::make_unique<QtEventLoop>();
  m_pMainFrame = std::make_unique<CMainFrame>(*this, *m_pProfile, *m_pLoop, appdirs::RuntimeDir());
  return true;
}

int CLinkwardGuiApp::ExitInstance() {
  m_pMainFrame.reset();
  m_pLoop.reset();
  appdirs::RemoveRuntimeDirIfEmpty();
  if (m_pProfile) m_pProfile->sync();
  m_pProfile.reset();
  return CLinkwardApp::ExitInstance();
}

}  // namespace linkward
