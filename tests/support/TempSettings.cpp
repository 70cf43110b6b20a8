#include "support/TempSettings.h"

#include "app/LinkwardApp.h"

using namespace linkward;

TempSettings::TempSettings(const std::string& dir)
    : m_keys(dir + "/registry.db"), m_settings(m_keys, dir) {
  IKeyStore::Key key;
  CSettingsStore::Disposition disposition{};
  m_settings.OpenRoot(&key, &disposition, CSettingsStore::kMachineRoot,
                      std::string(APP_KEY_PREFIX) + APP_NAME);
  m_settings.CloseKey(&key);
}
