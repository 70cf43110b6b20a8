#include "repair/RepairRestore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

#include "repair/RepairFiles.h"

namespace linkward {

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsRegular(const std::string& path, struct stat* info) {
  return ::lstat(path.c_str(), info) == 0 && S_ISREG(info->st_mode);
}

// The whole content of a regular file; false when it cannot be read.
bool ReadAll(const std::string& path, std::string* bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  bytes->clear();
  char buf[1 << 16];
  while (ok) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    bytes->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

// True when text, blanks at its end aside, ends with "</html>" in any case.
bool EndsWithHtmlClose(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  static const char kClose[] = "</html>";
  const size_t n = sizeof kClose - 1;
  if (end < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[end - n + i])) != kClose[i]) return false;
  }
  return true;
}

// Whether before looks like an earlier copy of now, as a repair leaves it:
// more than half of now's lines are lines of before, or more than half of its
// bytes are a common start and end (a page of one line).
bool LooksLikeEarlierCopy(const std::string& now, const std::string& before) {
  if (now.empty()) return true;
  std::set<std::string_view> lines;
  auto each = [](const std::string& text, auto&& fn) {
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      end = end == std::string::npos ? text.size() : end + 1;
      fn(std::string_view(text).substr(at, end - at));
      at = end;
    }
  };
  each(before, [&](std::string_view line) { lines.insert(line); });
  size_t total = 0, found = 0;
  each(now, [&](std::string_view line) {
    ++total;
    if (lines.count(line) != 0) ++found;
  });
  if (2 * found > total) return true;
  size_t head = 0;
  while (head < now.size() && head < before.size() && now[head] == before[head]) ++head;
  size_t tail = 0;
  while (tail < now.size() - head && tail < before.size() - head &&
         now[now.size() - 1 - tail] == before[before.size() - 1 - tail])
    ++tail;
  return 2 * (head + tail) > now.size();
}

// Puts bytes in the place of target in one step; false (target untouched)
// on failure, *why saying what failed.
bool ReplaceWith(const std::string& target, const std::string& bytes, std::string* why) {
  struct stat info {};
  if (::stat(target.c_str(), &info) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  const std::string temp = RepairSiblingName(target, ".t~p");
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *why = temp + ": " + std::strerror(errno);
    return false;
  }
  bool ok = true;
  for (size_t at = 0; ok && at < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) at += static_cast<size_t>(n);
  }
  if (ok && (info.st_uid != ::geteuid() || info.st_gid != ::getegid()))
    (void)::fchown(fd, info.st_uid, info.st_gid);
  ok = ok && ::fchmod(fd, info.st_mode & 07777) == 0 && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok) *why = temp + ": " + std::strerror(errno);
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    *why = std::strerror(errno);
    ok = false;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  const int dir = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace

std::string FindBackupOf(const std::string& page, bool* marked) {
  *marked = false;
  char resolved[PATH_MAX];
  if (!::realpath(page.c_str(), resolved)) return "";
  const std::string target = resolved;
  const std::string usual = RepairBackupName(target);
  struct stat info {};
  for (const std::string& backup : {usual, target + ".rep"}) {
    std::string name;
    long long size = 0;
    if (IsRegular(backup, &info) && ReadBackupMark(backup, &name, &size) &&
        name == BaseName(target)) {
      *marked = true;
      return backup;
    }
  }
  std::string name;
  long long size = 0;
  if (IsRegular(usual, &info) && !ReadBackupMark(usual, &name, &size)) return usual;
  return "";
}

std::string BackupLooksIncomplete(const std::string& page, const std::string& backup, bool marked) {
  struct stat info {};
  if (!IsRegular(backup, &info)) return "it is not a regular file";
  if (marked) {
    std::string name;
    long long size = 0;
    if (!ReadBackupMark(backup, &name, &size) || size != info.st_size) {
      return "it holds " + std::to_string(info.st_size) + " bytes, but " + std::to_string(size) +
             " were backed up";
    }
    return "";
  }
  std::string pageBytes, backupBytes;
  if (!ReadAll(page, &pageBytes) || !ReadAll(backup, &backupBytes)) return "it cannot be read";
  if (backupBytes.empty() && !pageBytes.empty()) return "it is empty";
  if (EndsWithHtmlClose(pageBytes) && !EndsWithHtmlClose(backupBytes))
    return "it does not end with </html> as the page does";
  if (!LooksLikeEarlierCopy(pageBytes, backupBytes))
    return "it carries no backup mark and does not look like an earlier copy of the page";
  return "";
}

RestoreCount RestoreBackups(const StringList& files,
                            const std::function<void(const std::string&)>& report) {
  RestoreCount count;
  for (const std::string& page : files) {
    if (IsRepairByproduct(page)) continue;
    bool marked = false;
    const std::string backup = FindBackupOf(page, &marked);
    if (backup.empty()) continue;
    const std::string incomplete = BackupLooksIncomplete(page, backup, marked);
    if (!incomplete.empty()) {
      report("Not restored: " + page + ": its backup " + backup + " looks incomplete (" +
             incomplete + ")");
      ++count.refused;
      continue;
    }
    std::string bytes, now, why;
    if (!ReadAll(backup, &bytes)) {
      report("Not restored: " + page + ": its backup " + backup + " cannot be read");
      ++count.refused;
      continue;
    }
    if (ReadAll(page, &now) && now == bytes) {
      report("Unchanged: " + page + " already holds its backup " + backup);
      ++count.unchanged;
      continue;
    }
    char resolved[PATH_MAX];
    if (!::realpath(page.c_str(), resolved) || !ReplaceWith(resolved, bytes, &why)) {
      report("Not restored: " + page + ": " + (why.empty() ? std::strerror(errno) : why));
      ++count.refused;
      continue;
    }
    report("Restored: " + page + " from " + backup);
    ++count.restored;
  }
  return count;
}

}  // namespace linkward
