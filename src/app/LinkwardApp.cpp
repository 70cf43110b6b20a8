#include "app/LinkwardApp.h"

#include <cstdio>
#include <utility>

#include "platform/AppDirs.h"

namespace linkward {

CLinkwardApp::CLinkwardApp() : CLinkwardApp(appdirs::KeyStorePath(), appdirs::ConfigDir()) {}

CLinkwardApp::CLinkwardApp(std::string keyStorePath, std::string iniDir)
    : m_strKeyStorePath(std::move(keyStorePath)), m_strIniDir(std::move(iniDir)) {}

CLinkwardApp::~CLinkwardApp() {
  delete m_pSettings;
}

void CLinkwardApp::InitSettings() {
  delete m_pSettings;
  m_pSettings = nullptr;
  CSqliteKeyStore::NoticeFn notice = m_settingsNotice;
  if (!notice)
    notice = [](const std::string& text) { std::fprintf(stderr, "linkward: %s\n", text.c_str()); };
  m_pKeys = std::make_unique<CSqliteKeyStore>(m_strKeyStorePath, std::move(notice));
  m_pSettings = new CSettingsStore(*m_pKeys, m_strIniDir);

  std::string keyPath = std::string(APP_KEY_PREFIX) + APP_NAME;
  IKeyStore::Key key;
  CSettingsStore::Disposition disposition{};
  if (m_pSettings->OpenRoot(&key, &disposition, CSettingsStore::kMachineRoot, keyPath)) {
    if (disposition == CSettingsStore::Disposition::CreatedNew)
      m_pSettings->ImportIni(key, APP_NAME);
    m_pSettings->CloseKey(&key);
  }
}

int CLinkwardApp::ExitInstance() {
  delete m_pSettings;
  m_pSettings = nullptr;
  return 0;
}

}  // namespace linkward
