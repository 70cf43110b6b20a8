#include "check/CheckHistory.h"

#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <unordered_map>
#include <utility>

#include "check/CheckOutcome.h"
#include "platform/AppDirs.h"
#include "platform/FileSystem.h"
#include "results/OutcomeTable.h"

namespace linkward {

namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr size_t kHeldLimit = 256;
constexpr int64_t kForgetAfterSeconds = 180 * 86400;
// The checker's timer: answers taken from the history, given from the loop.
constexpr int kHistoryAnswerTimerId = 203;

bool Accepted(unsigned code, const std::vector<unsigned>& accept) {
  return std::find(accept.begin(), accept.end(), code) != accept.end();
}

CheckClass ClassFromName(const char* name) {
  for (CheckClass c : {CheckClass::Ok, CheckClass::Moved, CheckClass::NotVerified}) {
    if (name && std::string(name) == CheckClassName(c)) return c;
  }
  return CheckClass::Broken;  // unknown text: checked again
}

std::string LocalDate(int64_t when) {
  std::time_t t = static_cast<std::time_t>(when);
  std::tm tm{};
  char text[32] = "";
  if (localtime_r(&t, &tm)) std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
  return text;
}

}  // namespace

CheckClass ClassifyRemote(const HttpOutcome& outcome, const std::vector<unsigned>& accept) {
  if (Accepted(outcome.code, accept)) return CheckClass::Ok;
  return CheckClassOf(outcome.code);
}

std::string DefaultHistoryPath() {
  return appdirs::CacheDir() + "/history.db";
}

// ---------------------------------------------------------------------------
// CCheckHistory

CCheckHistory::~CCheckHistory() {
  Flush();
  sqlite3_finalize(m_find);
  sqlite3_finalize(m_store);
  if (m_db) sqlite3_close_v2(m_db);
}

bool CCheckHistory::Fail(const char* what) {
  m_error = std::string(what) + ": " + (m_db ? sqlite3_errmsg(m_db) : "out of memory");
  sqlite3_finalize(m_find);
  sqlite3_finalize(m_store);
  m_find = m_store = nullptr;
  if (m_db) sqlite3_close_v2(m_db);
  m_db = nullptr;
  m_held.clear();
  return false;
}

bool CCheckHistory::Open(const std::string& path) {
  if (m_db) return true;
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !fsys::MakeDirectories(path.substr(0, slash))) {
    m_error = "its folder cannot be made";
    return false;
  }
  if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK)
    return Fail("cannot open it");
  sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
  // The write-ahead log lets one run read while another writes; a crash loses
  // at most the last commit, and the history is only a cache.
  const char* setup =
      "PRAGMA journal_mode=WAL;"
      "PRAGMA synchronous=NORMAL;"
      "CREATE TABLE IF NOT EXISTS remote ("
      "  url TEXT PRIMARY KEY,"
      "  code INTEGER NOT NULL,"
      "  final_code INTEGER NOT NULL,"
      "  final_url TEXT NOT NULL,"
      "  class TEXT NOT NULL,"
      "  checked INTEGER NOT NULL,"
      "  since INTEGER NOT NULL) WITHOUT ROWID;";
  if (sqlite3_exec(m_db, setup, nullptr, nullptr, nullptr) != SQLITE_OK)
    return Fail("cannot read it");
  if (sqlite3_prepare_v2(m_db,
                         "SELECT code, final_code, final_url, class, checked, since FROM remote "
                         "WHERE url = ?1",
                         -1, &m_find, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(
          m_db,
          "INSERT INTO remote (url, code, final_code, final_url, class, checked, since) "
          "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?6) ON CONFLICT (url) DO UPDATE SET "
          "code = excluded.code, final_code = excluded.final_code, "
          "final_url = excluded.final_url, class = excluded.class, checked = excluded.checked, "
          "since = CASE WHEN remote.class = excluded.class THEN remote.since "
          "ELSE excluded.since END",
          -1, &m_store, nullptr) != SQLITE_OK)
    return Fail("cannot read it");
  sqlite3_stmt* any = nullptr;
  if (sqlite3_prepare_v2(m_db, "SELECT 1 FROM remote LIMIT 1", -1, &any, nullptr) != SQLITE_OK)
    return Fail("cannot read it");
  int rc = sqlite3_step(any);
  sqlite3_finalize(any);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Fail("cannot read it");
  m_bWasEmpty = rc == SQLITE_DONE;
  return true;
}

std::optional<HistoryRecord> CCheckHistory::Find(const std::string& url) {
  if (!m_db) return std::nullopt;
  sqlite3_reset(m_find);
  sqlite3_bind_text(m_find, 1, url.data(), static_cast<int>(url.size()), SQLITE_TRANSIENT);
  int rc = sqlite3_step(m_find);
  if (rc != SQLITE_ROW) {
    if (rc != SQLITE_DONE) Fail("cannot read it");
    return std::nullopt;
  }
  HistoryRecord r;
  r.outcome.code = static_cast<unsigned>(sqlite3_column_int64(m_find, 0));
  r.outcome.finalCode = static_cast<unsigned>(sqlite3_column_int64(m_find, 1));
  const unsigned char* finalUrl = sqlite3_column_text(m_find, 2);
  if (finalUrl) r.outcome.finalUrl = reinterpret_cast<const char*>(finalUrl);
  r.cls = ClassFromName(reinterpret_cast<const char*>(sqlite3_column_text(m_find, 3)));
  r.checked = sqlite3_column_int64(m_find, 4);
  r.since = sqlite3_column_int64(m_find, 5);
  sqlite3_reset(m_find);
  return r;
}

bool CCheckHistory::Record(const std::string& url, const HttpOutcome& outcome, CheckClass cls,
                           int64_t now) {
  if (!m_db) return false;
  m_held.push_back(Held{url, outcome, cls, now});
  return m_held.size() < kHeldLimit || Flush();
}

bool CCheckHistory::Flush() {
  if (!m_db || m_held.empty()) return m_db != nullptr;
  if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
    return Fail("cannot write it");
  for (const Held& h : m_held) {
    sqlite3_reset(m_store);
    sqlite3_bind_text(m_store, 1, h.url.data(), static_cast<int>(h.url.size()), SQLITE_STATIC);
    sqlite3_bind_int64(m_store, 2, h.outcome.code);
    sqlite3_bind_int64(m_store, 3, h.outcome.finalCode);
    sqlite3_bind_text(m_store, 4, h.outcome.finalUrl.data(),
                      static_cast<int>(h.outcome.finalUrl.size()), SQLITE_STATIC);
    sqlite3_bind_text(m_store, 5, CheckClassName(h.cls), -1, SQLITE_STATIC);
    sqlite3_bind_int64(m_store, 6, h.now);
    if (sqlite3_step(m_store) != SQLITE_DONE) {
      sqlite3_reset(m_store);
      sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
      return Fail("cannot write it");
    }
  }
  sqlite3_reset(m_store);
  sqlite3_clear_bindings(m_store);
  if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return Fail("cannot write it");
  }
  m_held.clear();
  return true;
}

bool CCheckHistory::Forget(int64_t before) {
  if (!m_db) return false;
  sqlite3_stmt* forget = nullptr;
  if (sqlite3_prepare_v2(m_db, "DELETE FROM remote WHERE checked < ?1", -1, &forget, nullptr) !=
      SQLITE_OK)
    return Fail("cannot write it");
  sqlite3_bind_int64(forget, 1, before);
  const int rc = sqlite3_step(forget);
  sqlite3_finalize(forget);
  return rc == SQLITE_DONE || Fail("cannot write it");
}

// ---------------------------------------------------------------------------
// CHistoryChecker

struct CHistoryChecker::Impl {
  IEventLoop& loop;
  std::unique_ptr<IRemoteChecker> inner;
  HistoryOptions options;
  WarnFn warn;
  ClockFn clock;
  CCheckHistory db;
  bool usable = false;  // the database is open and has not failed
  bool warned = false;
  bool readable = false;  // read, usable when opened, and not empty then
  std::unordered_map<std::string, std::optional<HistoryRecord>> before;  // read at Check
  std::unordered_map<std::string, std::string> notes;
  std::vector<std::pair<DoneFn, HttpOutcome>> answers;
  size_t reused = 0;
  uint64_t epoch = 0;  // moves on at CancelAll: outcomes asked before are dropped
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  Impl(IEventLoop& l, std::unique_ptr<IRemoteChecker> i, HistoryOptions o, WarnFn w, ClockFn c)
      : loop(l),
        inner(std::move(i)),
        options(std::move(o)),
        warn(std::move(w)),
        clock(std::move(c)) {}

  int64_t Now() const { return clock ? clock() : static_cast<int64_t>(std::time(nullptr)); }

  void Warn() {
    usable = false;
    readable = false;
    if (warned) return;
    warned = true;
    const std::string path = options.path.empty() ? DefaultHistoryPath() : options.path;
    if (warn)
      warn("The check history " + path + " cannot be used (" + db.Error() +
           "); every link is checked without it.");
  }

  void Delivered(const std::string& url, const HttpOutcome& outcome) {
    const CheckClass cls = ClassifyRemote(outcome, options.acceptCodes);
    if (usable && !db.Record(url, outcome, cls, Now())) Warn();
    auto it = before.find(url);
    if (it == before.end()) return;
    const std::optional<HistoryRecord>& prev = it->second;
    std::string note;
    if (!prev || prev->cls != cls) {
      note = "new since the last check";
    } else if (cls == CheckClass::Broken) {
      note = "broken since " + LocalDate(prev->since);
    } else if (cls == CheckClass::NotVerified) {
      note = "not verified since " + LocalDate(prev->since);
    }
    if (!note.empty()) notes[url] = std::move(note);
    before.erase(it);
  }

  void ArmAnswerTimer() {
    loop.SetTimer(kHistoryAnswerTimerId, 0, [this](int id) {
      loop.KillTimer(id);
      std::vector<std::pair<DoneFn, HttpOutcome>> batch;
      batch.swap(answers);
      std::shared_ptr<bool> living = alive;
      const uint64_t asked = epoch;
      for (auto& [fn, outcome] : batch) {
        if (!*living || epoch != asked) return;
        if (fn) fn(outcome);
      }
    });
  }
};

CHistoryChecker::CHistoryChecker(IEventLoop& loop, std::unique_ptr<IRemoteChecker> inner,
                                 HistoryOptions options, WarnFn warn, ClockFn clock)
    : m_pImpl(std::make_unique<Impl>(loop, std::move(inner), std::move(options), std::move(warn),
                                     std::move(clock))) {
  Impl& d = *m_pImpl;
  d.usable = d.db.Open(d.options.path.empty() ? DefaultHistoryPath() : d.options.path);
  if (d.usable && !d.db.Forget(d.Now() - kForgetAfterSeconds)) d.usable = false;
  if (!d.usable) d.Warn();
  d.readable = d.usable && d.options.read && !d.db.WasEmpty();
}

CHistoryChecker::~CHistoryChecker() {
  Impl& d = *m_pImpl;
  *d.alive = false;
  d.loop.KillTimer(kHistoryAnswerTimerId);
  d.inner.reset();  // no outcome arrives after this
  if (d.usable && !d.db.Flush()) d.Warn();
}

void CHistoryChecker::Check(const std::string& url, DoneFn done) {
  Impl& d = *m_pImpl;
  if (d.usable && d.options.read) {
    std::optional<HistoryRecord> prev = d.db.Find(url);
    if (!d.db.IsOpen()) {
      d.Warn();
    } else if (prev && (prev->cls == CheckClass::Ok || prev->cls == CheckClass::Moved)) {
      const int64_t age = d.Now() - prev->checked;
      if (age >= 0 && age < d.options.maxAgeSeconds) {
        ++d.reused;
        d.answers.emplace_back(std::move(done), prev->outcome);
        if (d.answers.size() == 1) d.ArmAnswerTimer();
        return;
      }
    }
    if (d.readable) d.before[url] = std::move(prev);
  }
  d.inner->Check(url, [&d, url, done = std::move(done)](const HttpOutcome& outcome) {
    d.Delivered(url, outcome);
    if (done) done(outcome);
  });
}

void CHistoryChecker::CancelAll() {
  Impl& d = *m_pImpl;
  ++d.epoch;
  d.answers.clear();
  d.loop.KillTimer(kHistoryAnswerTimerId);
  d.inner->CancelAll();
  if (d.usable && !d.db.Flush()) d.Warn();
}

size_t CHistoryChecker::Pending() const {
  return m_pImpl->inner->Pending() + m_pImpl->answers.size();
}

std::string CHistoryChecker::Note(const std::string& url) const {
  auto it = m_pImpl->notes.find(url);
  return it == m_pImpl->notes.end() ? std::string() : it->second;
}

size_t CHistoryChecker::Reused() const {
  return m_pImpl->reused;
}

}  // namespace linkward
