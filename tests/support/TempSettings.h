// A settings store whose key store lives in a given directory, opened at the
// program's application key, as start-up leaves it.
#pragma once

#include "app/LinkwardApp.h"  // the store, the key store and the application key

using namespace linkward;

class TempSettings {
 public:
  // dir holds registry.db (and is the INI directory).
  explicit TempSettings(const std::string& dir)
      : m_keys(dir + "/registry.db"), m_settings(m_keys, dir) {
    IKeyStore::Key key;
    CSettingsStore::Disposition disposition{};
    m_settings.OpenRoot(&key, &disposition, CSettingsStore::kMachineRoot,
                        std::string(APP_KEY_PREFIX) + APP_NAME);
    m_settings.CloseKey(&key);
  }
  TempSettings(const TempSettings&) = delete;
  TempSettings& operator=(const TempSettings&) = delete;

  CSettingsStore& Store() { return m_settings; }

 private:
  CSqliteKeyStore m_keys;
  CSettingsStore m_settings;
};
