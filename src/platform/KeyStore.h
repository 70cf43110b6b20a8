// The key store: a hierarchical store of named text values, kept in one
// SQLite database file. Keys are paths whose parts are separated by "\\";
// key and value names compare without regard to ASCII case.
//
// Every call opens the database, does its work and closes it again; nothing
// is cached. Writes are transactions, so a crash never leaves half a value
// and two running programs can share one file. No call throws.
#pragma once

#include <cstddef>
#include <string>

namespace linkward {

class IKeyStore {
 public:
  virtual ~IKeyStore() = default;

  // A handle names an open key. It holds no resource: it stays valid after
  // the key is closed and closing it only forgets it.
  struct Key {
    std::string path;
    bool writable = false;
  };

  // Creates the key (and the keys above it) when missing, or opens it.
  // On success stores the handle, sets *created to whether the key is new, and
  // returns true.
  virtual bool CreateKey(const std::string& path, Key* key, bool* created) = 0;
  // Opens an existing key for reading. Returns false when it does not exist.
  virtual bool OpenKey(const std::string& path, Key* key) = 0;
  // Reads value `name` of the key into buf (size bytes) as text with its
  // terminating NUL. Fails (returns false) when the value is missing or its
  // text and NUL need more than size bytes.
  virtual bool QueryValue(const Key& key, const std::string& name, char* buf, size_t size) = 0;
  // Sets value `name` of a key opened for writing to text. Returns true on success.
  virtual bool SetValue(const Key& key, const std::string& name, const std::string& text) = 0;
  virtual void CloseKey(Key* key) = 0;
};

// The store on SQLite. The database file and its directory are created on the
// first write; a missing or unreadable file reads as an empty store.
class CSqliteKeyStore : public IKeyStore {
 public:
  explicit CSqliteKeyStore(std::string dbPath);
  bool CreateKey(const std::string& path, Key* key, bool* created) override;
  bool OpenKey(const std::string& path, Key* key) override;
  bool QueryValue(const Key& key, const std::string& name, char* buf, size_t size) override;
  bool SetValue(const Key& key, const std::string& name, const std::string& text) override;
  void CloseKey(Key* key) override;
  const std::string& DbPath() const { return m_strDbPath; }

 private:
  std::string m_strDbPath;
};

}  // namespace linkward
