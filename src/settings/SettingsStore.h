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

constexpr const char* HKEY_LOCAL_MACHINE = "HKEY_LOCAL_MACHINE";
constexpr int REG_CREATED_NEW_KEY = 1;
constexpr int REG_OPENED_EXISTING_KEY = 2;

class CSettingsStore {
 public:
  // iniDir: the directory that holds <application name>.INI for ImportIni.
  CSettingsStore(IKeyStore& keys, std::string iniDir);
  virtual ~CSettingsStore() = default;

  // Remembers root and path (even when the next step fails), then creates or
  // opens root\path for writing. On success stores the open key in *key and
  // REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY in *disposition, and
  // returns true. The caller closes the key with CloseKey.
  bool OpenRoot(IKeyStore::Key* key, int* disposition, const std::string& root, std::string path);
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
  std::string m_hRootKey = HKEY_LOCAL_MACHINE;
};

}  // namespace linkward
