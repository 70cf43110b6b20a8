// The settings store: every setting the program keeps between runs, as text
// values in sections below one application key of the key store. Integers
// are stored as their decimal text. Reads fall back to the caller's default
// whenever the value cannot be read; writes create their section.
//
// Nothing is cached: every call opens the key it needs and closes it again.
#pragma once

#include <string>

#include "platform/KeyStore.h"

namespace linkward {

class CSettingsStore {
 public:
  // The root key the program's settings live below, named as the key store
  // names it (the classic HKEY_LOCAL_MACHINE).
  static constexpr const char* kMachineRoot = "HKEY_LOCAL_MACHINE";
  // What OpenRoot did (the classic REG_CREATED_NEW_KEY and
  // REG_OPENED_EXISTING_KEY).
  enum class Disposition : int { CreatedNew = 1, OpenedExisting = 2 };

  // iniDir: the directory that holds <application name>.INI for ImportIni.
  CSettingsStore(IKeyStore& keys, std::string iniDir);
  virtual ~CSettingsStore() = default;

  // Remembers root and path (even when the next step fails), then creates or
  // opens root\path for writing. On success stores the open key in *key and
  // Disposition::CreatedNew or OpenedExisting in *disposition, and returns
  // true. The caller closes the key with CloseKey.
  bool OpenRoot(IKeyStore::Key* key, Disposition* disposition, const std::string& root,
                std::string path);
  void CloseKey(IKeyStore::Key* key);

  // One-time copy of <iniDir>/<appName>.INI below the open application key.
  void ImportIni(const IKeyStore::Key& appKey, const std::string& appName = "Linkward");

  int GetInt(const std::string& section, const std::string& name, int def);
  bool SetInt(const std::string& section, const std::string& name, int value);
  std::string GetString(const std::string& section, const std::string& name,
                        const std::string& def);
  // As GetString, for texts of up to 65535 bytes (GetString reads 259 at most).
  std::string GetLongString(const std::string& section, const std::string& name,
                            const std::string& def);
  bool SetString(const std::string& section, const std::string& name, const std::string& text);

  const std::string& KeyPath() const { return m_strKeyPath; }

 private:
  std::string SectionPath(const std::string& section) const;

  IKeyStore& m_keys;
  std::string m_strIniDir;
  std::string m_strKeyPath;
  std::string m_hRootKey = kMachineRoot;
};

}  // namespace linkward
