// The check history: what the full check found out about each remote address
// in earlier runs, kept in SQLite ($XDG_CACHE_HOME/linkward/history.db), and
// CHistoryChecker, the remote judge that answers from it.
//
// Per address the history holds the last outcome (code, final status, final
// address), its class, when it was checked and since when it has that class
// (for a broken address: since when it is broken). A verdict of class OK or
// Moved younger than the longest age is reused; Broken and Not Verified are
// always checked again. An address not checked for 180 days is forgotten.
//
// A history that cannot be opened, is not a database or fails to write never
// stops a check: the checker warns once and goes on without it. Two runs may
// share one history at once (write-ahead log, a busy timeout).
//
// Threading: the loop's thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "check/HttpChecker.h"
#include "results/CheckClass.h"

struct sqlite3;
struct sqlite3_stmt;

namespace linkward {

// The class of a remote outcome: a success (ftp found, 1xx-3xx) is OK, a
// redirect chain that ends in a success is Moved, a login, rate limit, bot
// block (999) or wait run out is Not Verified, anything else Broken.
// accept: statuses judged OK besides 2xx.
CheckClass ClassifyRemote(const HttpOutcome& outcome, const std::vector<unsigned>& accept = {});

struct HistoryRecord {
  HttpOutcome outcome;
  CheckClass cls = CheckClass::Broken;
  int64_t checked = 0;  // seconds since the epoch
  int64_t since = 0;    // since when the address has this class
};

// The database. Every call fails softly: false or nothing, and Error() says why.
class CCheckHistory {
 public:
  CCheckHistory() = default;
  ~CCheckHistory();
  CCheckHistory(const CCheckHistory&) = delete;
  CCheckHistory& operator=(const CCheckHistory&) = delete;

  // Opens path, creating it (and its directory, mode 0700) when missing.
  // On failure stores the reason in Error() and returns false.
  bool Open(const std::string& path);
  bool IsOpen() const { return m_db != nullptr; }
  // Whether the history held no address when it was opened.
  bool WasEmpty() const { return m_bWasEmpty; }
  std::optional<HistoryRecord> Find(const std::string& url);
  // Stores the outcome of url checked at now; since stays when the class is
  // the stored one. Writes are held and written together by Flush (or at
  // 256 held).
  bool Record(const std::string& url, const HttpOutcome& outcome, CheckClass cls, int64_t now);
  bool Flush();
  // Forgets the addresses last checked before the time before.
  bool Forget(int64_t before);
  const std::string& Error() const { return m_error; }

 private:
  struct Held {
    std::string url;
    HttpOutcome outcome;
    CheckClass cls;
    int64_t now;
  };
  bool Fail(const char* what);
  ::sqlite3* m_db = nullptr;
  ::sqlite3_stmt* m_find = nullptr;
  ::sqlite3_stmt* m_store = nullptr;
  std::vector<Held> m_held;
  bool m_bWasEmpty = true;
  std::string m_error;
};

// $XDG_CACHE_HOME/linkward/history.db (~/.cache/linkward/history.db).
std::string DefaultHistoryPath();

struct HistoryOptions {
  std::string path;               // empty: DefaultHistoryPath()
  int64_t maxAgeSeconds = 86400;  // OK and Moved verdicts younger than this are reused
  bool read = true;  // false: nothing is reused and nothing said; outcomes still recorded
  std::vector<unsigned> acceptCodes;  // see HttpCheckOptions
};

class CHistoryChecker : public IRemoteChecker {
 public:
  using WarnFn = std::function<void(const std::string& text)>;
  using ClockFn = std::function<int64_t()>;  // seconds since the epoch

  // Judges through inner what the history does not answer. warn receives at
  // most one text, when the history cannot be used. clock: empty for the
  // system clock.
  CHistoryChecker(IEventLoop& loop, std::unique_ptr<IRemoteChecker> inner, HistoryOptions options,
                  WarnFn warn, ClockFn clock = {});
  ~CHistoryChecker() override;  // writes what is held

  void Check(const std::string& url, DoneFn done) override;
  void CancelAll() override;
  size_t Pending() const override;

  // What the history says about url once its outcome was delivered: "new
  // since the last check" when its class differs from the one stored (or
  // none was), "broken since DATE" (or "not verified since DATE") when it was
  // so already; otherwise, and always when the history is not read or was
  // empty, "".
  std::string Note(const std::string& url) const;
  // Outcomes answered from the history so far.
  size_t Reused() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

}  // namespace linkward
