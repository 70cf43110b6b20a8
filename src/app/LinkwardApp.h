// CLinkwardApp: the application object. It owns the key store and the
// settings store, opens the application key at start-up and seeds it once
// from Linkward.INI, and deletes the store at exit.
#pragma once

#include <memory>
#include <string>

#include "platform/KeyStore.h"
#include "settings/SettingsStore.h"

namespace linkward {

constexpr const char* APP_NAME = "Linkward";
constexpr const char* APP_KEY_PREFIX = "Software\\Quillfen Software\\";

class CLinkwardApp {
 public:
  // keyStorePath and iniDir default to the program's own config directory.
  CLinkwardApp();
  CLinkwardApp(std::string keyStorePath, std::string iniDir);
  virtual ~CLinkwardApp();

  // Steps 1 to 3 of start-up: create the settings store, open or create the
  // application key, import the INI file when the key is new. Failures leave
  // reads returning their defaults; trouble with the store's file (locked,
  // damaged, unreadable) is told through m_settingsNotice.
  void InitSettings();
  int ExitInstance();

  CSettingsStore* m_pSettings = nullptr;
  // Set before InitSettings; by default the text goes to standard error.
  CSqliteKeyStore::NoticeFn m_settingsNotice;
  bool m_bAboutLink1Visited = false;
  bool m_bAboutLink2Visited = false;

 private:
  std::string m_strKeyStorePath;
  std::string m_strIniDir;
  std::unique_ptr<IKeyStore> m_pKeys;
};

}  // namespace linkward
