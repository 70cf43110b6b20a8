#include "platform/KeyStore.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"

namespace linkward {

namespace {

// Key paths are kept in one canonical form: the non-empty parts joined by a
// single "\\". A path without any part names no key.
std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string JoinPath(const std::vector<std::string>& parts, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    if (i) out += '\\';
    out += parts[i];
  }
  return out;
}

std::string CanonicalPath(const std::string& path) {
  std::vector<std::string> parts = SplitPath(path);
  return JoinPath(parts, parts.size());
}

}  // namespace

// One open connection for the span of one call.
class CSqliteKeyStore::Db {
 public:
  explicit Db(int busyTimeoutMs) : m_busyTimeoutMs(busyTimeoutMs) {}
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;
  ~Db() { Close(); }

  // For reading: never creates the file. A file we may not write is still read.
  bool OpenForRead(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
      m_rc = SQLITE_CANTOPEN;
      return false;
    }
    if (Open(path, SQLITE_OPEN_READWRITE)) return true;
    return Open(path, SQLITE_OPEN_READONLY);
  }

  // For writing: creates the file and its directory on first use, then
  // begins a write transaction that includes the schema. The rollback
  // journal (SQLite's default) keeps every commit whole across a crash and
  // lets a reader open the file even where it may not write.
  bool OpenForWrite(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !fsys::MakeDirectories(path.substr(0, slash)))
      return false;
    if (!Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) return false;
    if (!Exec("BEGIN IMMEDIATE")) return false;
    m_bInTransaction = true;
    return Exec(
        "CREATE TABLE IF NOT EXISTS keys ("
        "  id INTEGER PRIMARY KEY,"
        "  path TEXT NOT NULL UNIQUE COLLATE NOCASE);"
        "CREATE TABLE IF NOT EXISTS key_values ("
        "  key_id INTEGER NOT NULL REFERENCES keys(id),"
        "  name TEXT NOT NULL COLLATE NOCASE,"
        "  data BLOB NOT NULL,"
        "  PRIMARY KEY (key_id, name));");
  }

  // Whether the open file is a sound database (SQLite's quick check).
  bool Check() {
    sqlite3_stmt* stmt = nullptr;
    m_rc = sqlite3_prepare_v2(m_db, "PRAGMA quick_check", -1, &stmt, nullptr);
    if (m_rc != SQLITE_OK) return false;
    m_rc = sqlite3_step(stmt);
    bool ok = m_rc == SQLITE_ROW &&
              std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "ok") == 0;
    if (m_rc == SQLITE_ROW && !ok) m_rc = SQLITE_CORRUPT;
    sqlite3_finalize(stmt);
    return ok;
  }

  // Commits the write transaction; anything short of that rolls it back.
  bool Commit() {
    if (!m_bInTransaction) return false;
    if (!Exec("COMMIT")) {
      const int rc = m_rc;
      Exec("ROLLBACK");
      m_rc = rc;
      m_bInTransaction = false;
      return false;
    }
    m_bInTransaction = false;
    return true;
  }

  void Rollback() {
    if (m_bInTransaction) {
      const int rc = m_rc == SQLITE_OK ? sqlite3_errcode(m_db) : m_rc;
      Exec("ROLLBACK");
      m_rc = rc;
    }
    m_bInTransaction = false;
  }

  bool Exec(const char* sql) {
    m_rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return m_rc == SQLITE_OK;
  }

  void Close() {
    if (m_db) sqlite3_close_v2(m_db);
    m_db = nullptr;
  }

  // What kind of trouble the last failure was: the primary result code of
  // the failed step, or the connection's own last error.
  Trouble Classified() const {
    int rc = m_rc;
    if ((rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) && m_db)
      rc = sqlite3_errcode(m_db);
    switch (rc & 0xff) {
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
        return Trouble::Busy;
      case SQLITE_NOTADB:
      case SQLITE_CORRUPT:
        return Trouble::Damaged;
      case SQLITE_CANTOPEN:
      case SQLITE_PERM:
      case SQLITE_AUTH:
        return Trouble::Unreadable;
      default:
        return Trouble::None;
    }
  }

  sqlite3* Handle() const { return m_db; }

 private:
  bool Open(const std::string& path, int flags) {
    Close();
    m_rc = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
    if (m_rc != SQLITE_OK) {
      Close();
      return false;
    }
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    return true;
  }

  sqlite3* m_db = nullptr;
  int m_busyTimeoutMs;
  int m_rc = SQLITE_OK;
  bool m_bInTransaction = false;
};

namespace {

class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) m_stmt = nullptr;
  }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  ~Stmt() { sqlite3_finalize(m_stmt); }

  bool Ok() const { return m_stmt != nullptr; }
  bool BindText(int i, const std::string& s) {
    return sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT) ==
           SQLITE_OK;
  }
  bool BindBlob(int i, const std::string& s) {
    // A zero-length blob still binds a value, not NULL.
    return sqlite3_bind_blob(m_stmt, i, s.empty() ? "" : s.data(), static_cast<int>(s.size()),
                             SQLITE_TRANSIENT) == SQLITE_OK;
  }
  bool BindInt64(int i, sqlite3_int64 v) { return sqlite3_bind_int64(m_stmt, i, v) == SQLITE_OK; }
  int Step() { return sqlite3_step(m_stmt); }
  sqlite3_stmt* Get() const { return m_stmt; }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

// Looks up the id of a key by canonical path. Returns false when it is
// missing or the lookup fails.
bool FindKeyId(sqlite3* db, const std::string& canonical, sqlite3_int64* id) {
  Stmt q(db, "SELECT id FROM keys WHERE path = ?1");
  if (!q.Ok() || !q.BindText(1, canonical)) return false;
  if (q.Step() != SQLITE_ROW) return false;
  *id = sqlite3_column_int64(q.Get(), 0);
  return true;
}

}  // namespace

CSqliteKeyStore::CSqliteKeyStore(std::string dbPath, NoticeFn notice, int busyTimeoutMs)
    : m_strDbPath(std::move(dbPath)), m_notice(std::move(notice)), m_busyTimeoutMs(busyTimeoutMs) {}

void CSqliteKeyStore::Tell(bool* told, const std::string& text) {
  if (*told) return;
  *told = true;
  if (m_notice) m_notice(text);
}

// The damaged file and its journal go to "<file>.bad-<date>" (and "-journal"),
// a name not yet taken; m_bVerified tells whether the file is out of the way.
void CSqliteKeyStore::SetAside() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char stamp[32] = "";
  if (localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string bad = m_strDbPath + ".bad-" + stamp;
  struct stat st;
  for (int n = 2; lstat(bad.c_str(), &st) == 0 && n < 1000; ++n)
    bad = m_strDbPath + ".bad-" + stamp + "-" + std::to_string(n);
  if (rename(m_strDbPath.c_str(), bad.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    Tell(&m_bToldDamaged, "the settings file " + m_strDbPath +
                              " is damaged and could not be set aside (" + why +
                              "); the defaults are used and changes are not saved");
    return;
  }
  const std::string journal = m_strDbPath + "-journal";
  if (lstat(journal.c_str(), &st) == 0) rename(journal.c_str(), (bad + "-journal").c_str());
  m_bVerified = true;
  m_bToldDamaged = false;
  Tell(&m_bToldDamaged, "the settings file " + m_strDbPath + " is damaged; it is kept as " + bad +
                            " and the settings start again from their defaults");
}

bool CSqliteKeyStore::Run(bool write, const std::function<bool(Db&)>& work) {
  for (int attempt = 0;; ++attempt) {
    Trouble trouble = Trouble::None;
    bool ok = false;
    {
      Db db(m_bLockedOut ? 0 : m_busyTimeoutMs);
      if (!m_bVerified) {  // once: is the file a sound database?
        if (db.OpenForRead(m_strDbPath) ? db.Check() : db.Classified() == Trouble::None)
          m_bVerified = true;
        else
          trouble = db.Classified();
        db.Close();
      }
      if (trouble == Trouble::None) {
        ok = (write ? db.OpenForWrite(m_strDbPath) : db.OpenForRead(m_strDbPath)) && work(db);
        if (!ok) trouble = db.Classified();
      }
    }
    if (trouble == Trouble::Busy) {
      if (!m_bLockedOut) {
        m_bToldBusy = false;
        Tell(&m_bToldBusy, "the settings file " + m_strDbPath +
                               " is locked by another program; gave up waiting after " +
                               std::to_string((m_busyTimeoutMs + 999) / 1000) +
                               " s: while it stays locked the defaults are used and changes "
                               "are not saved");
      }
      m_bLockedOut = true;
      return false;
    }
    m_bLockedOut = false;
    if (trouble == Trouble::Damaged && attempt == 0) {
      SetAside();
      if (m_bVerified) continue;  // once more, on a fresh store
    } else if (trouble == Trouble::Unreadable) {
      struct stat st;
      std::string why = "it cannot be opened";
      if (stat(m_strDbPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        why = "it is not a regular file";
      else if (access(m_strDbPath.c_str(), R_OK) != 0)
        why = std::strerror(errno);
      Tell(&m_bToldUnreadable, "the settings file " + m_strDbPath + " cannot be read (" + why +
                                   "); the defaults are used and changes are not saved");
    }
    return ok;
  }
}

bool CSqliteKeyStore::CreateKey(const std::string& path, Key* key, bool* created) {
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty() || key == nullptr) return false;
  bool isNew = false;
  bool ok = Run(true, [&](Db& db) {
    for (size_t n = 1; n <= parts.size(); ++n) {
      Stmt ins(db.Handle(), "INSERT OR IGNORE INTO keys(path) VALUES (?1)");
      if (!ins.Ok() || !ins.BindText(1, JoinPath(parts, n)) || ins.Step() != SQLITE_DONE) {
        db.Rollback();
        return false;
      }
      if (n == parts.size()) isNew = sqlite3_changes(db.Handle()) > 0;
    }
    return db.Commit();
  });
  if (!ok) return false;
  key->path = JoinPath(parts, parts.size());
  key->writable = true;
  if (created) *created = isNew;
  return true;
}

bool CSqliteKeyStore::OpenKey(const std::string& path, Key* key) {
  std::string canonical = CanonicalPath(path);
  if (canonical.empty() || key == nullptr) return false;
  bool ok = Run(false, [&](Db& db) {
    sqlite3_int64 id;
    return FindKeyId(db.Handle(), canonical, &id);
  });
  if (!ok) return false;
  key->path = canonical;
  key->writable = false;
  return true;
}

bool CSqliteKeyStore::QueryValue(const Key& key, const std::string& name, char* buf, size_t size) {
  if (buf == nullptr || size == 0 || key.path.empty()) return false;
  return Run(false, [&](Db& db) {
    Stmt q(db.Handle(),
           "SELECT v.data FROM key_values v JOIN keys k ON k.id = v.key_id"
           " WHERE k.path = ?1 AND v.name = ?2");
    if (!q.Ok() || !q.BindText(1, CanonicalPath(key.path)) || !q.BindText(2, name)) return false;
    if (q.Step() != SQLITE_ROW) return false;
    const void* data = sqlite3_column_blob(q.Get(), 0);
    int len = sqlite3_column_bytes(q.Get(), 0);
    if (len < 0 || static_cast<size_t>(len) + 1 > size) return false;
    if (len > 0) std::memcpy(buf, data, static_cast<size_t>(len));
    buf[len] = '\0';
    return true;
  });
}

bool CSqliteKeyStore::SetValue(const Key& key, const std::string& name, const std::string& text) {
  if (!key.writable || key.path.empty()) return false;
  return Run(true, [&](Db& db) {
    sqlite3_int64 id;
    if (!FindKeyId(db.Handle(), CanonicalPath(key.path), &id)) {
      db.Rollback();
      return false;
    }
    // Replace the value under the name it is stored with, or add it.
    Stmt up(db.Handle(), "UPDATE key_values SET data = ?3 WHERE key_id = ?1 AND name = ?2");
    if (!up.Ok() || !up.BindInt64(1, id) || !up.BindText(2, name) || !up.BindBlob(3, text) ||
        up.Step() != SQLITE_DONE) {
      db.Rollback();
      return false;
    }
    if (sqlite3_changes(db.Handle()) == 0) {
      Stmt ins(db.Handle(), "INSERT INTO key_values(key_id, name, data) VALUES (?1, ?2, ?3)");
      if (!ins.Ok() || !ins.BindInt64(1, id) || !ins.BindText(2, name) || !ins.BindBlob(3, text) ||
          ins.Step() != SQLITE_DONE) {
        db.Rollback();
        return false;
      }
    }
    return db.Commit();
  });
}

void CSqliteKeyStore::CloseKey(Key* key) {
  if (key == nullptr) return;
  key->path.clear();
  key->writable = false;
}

}  // namespace linkward
