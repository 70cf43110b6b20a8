// A settings store whose key store lives in a given directory, opened at the
// program's application key, as start-up leaves it.
#pragma once

#include <string>

#include "platform/KeyStore.h"
#include "settings/SettingsStore.h"

using namespace linkward;

class TempSettings {
 public:
  // dir holds registry.db (and is the INI directory).
  explicit TempSettings(const std::string& dir);
  TempSettings(const TempSettings&) = delete;
  TempSettings& operator=(const TempSettings&) = delete;

  CSettingsStore& Store() { return m_settings; }

 private:
  CSqliteKeyStore m_keys;
  CSettingsStore m_settings;
};
