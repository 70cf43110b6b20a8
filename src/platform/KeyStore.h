// The key store: a hierarchical store of named text values, kept in one
// SQLite database file. Keys are paths whose parts are separated by "\\";
// key and value names compare without regard to ASCII case.
//
// Every call opens the database, does its work and closes it again; nothing
// is cached. Writes are transactions, so a crash never leaves half a value
// and two running programs can share one file. No call throws.
#pragma once

#include <cstddef>
#include <functional>
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
// first write; a missing file reads as an empty store.
//
// Trouble with the file is told through notice (once per kind of trouble,
// the text names the file) and the calls go on as well as they can:
// - another program holds a lock: a call waits at most busyTimeoutMs, then
//   fails; later calls do not wait until one succeeds again;
// - the file is not a database or is damaged (checked on first use): it is
//   renamed to "<file>.bad-YYYYMMDD-HHMMSS" (never deleted) and the store
//   starts again empty;
// - the file cannot be read (permissions, not a regular file): calls fail.
class CSqliteKeyStore : public IKeyStore {
 public:
  using NoticeFn = std::function<void(const std::string& text)>;
  static constexpr int kBusyTimeoutMs = 3000;
  explicit CSqliteKeyStore(std::string dbPath, NoticeFn notice = {},
                           int busyTimeoutMs = kBusyTimeoutMs);
  bool CreateKey(const std::string& path, Key* key, bool* created) override;
  bool OpenKey(const std::string& path, Key* key) override;
  bool QueryValue(const Key& key, const std::string& name, char* buf, size_t size) override;
  bool SetValue(const Key& key, const std::string& name, const std::string& text) override;
  void CloseKey(Key* key) override;

 private:
  enum class Trouble { None, Busy, Damaged, Unreadable };
  class Db;
  // Opens the database (for writing: creates it and begins a transaction),
  // runs work and deals with what went wrong.
  bool Run(bool write, const std::function<bool(Db&)>& work);
  void SetAside();
  void Tell(bool* told, const std::string& text);

  std::string m_strDbPath;
  NoticeFn m_notice;
  int m_busyTimeoutMs;
  bool m_bVerified = false;   // the file passed its check (or did not exist)
  bool m_bLockedOut = false;  // the last call gave up waiting for a lock
  bool m_bToldBusy = false, m_bToldDamaged = false, m_bToldUnreadable = false;
};

}  // namespace linkward
