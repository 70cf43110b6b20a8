#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace linkward::fsys {
namespace {

bool InGroup(gid_t gid) {
  if (gid == getegid()) return true;
  int n = getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(n));
  n = getgroups(n, groups.data());
  return n > 0 && std::find(groups.begin(), groups.begin() + n, gid) != groups.begin() + n;
}

// The directory's own mark, taken from its mode like a file attribute: the
// read and search bits of the class we fall in (owner, group, others) must
// both be set, so the mark means the same for every user, the superuser
// included. access() adds what the mode bits do not show, such as ACLs.
bool IsMarkedDirectory(const std::string& path, const struct stat& st) {
  if ((st.st_mode & 0222) == 0) return true;  // read-only: no write bit at all
  mode_t need;
  if (st.st_uid == geteuid())
    need = S_IRUSR | S_IXUSR;
  else if (InGroup(st.st_gid))
    need = S_IRGRP | S_IXGRP;
  else
    need = S_IROTH | S_IXOTH;
  if ((st.st_mode & need) != need) return true;
  return access(path.c_str(), R_OK | X_OK) != 0;
}

bool WriteAll(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) {
  if (entries == nullptr) return false;
  entries->clear();
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return false;
  std::string prefix = dir;
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = prefix + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    DirEntry entry;
    entry.name = name;
    if (S_ISREG(st.st_mode)) {
      entries->push_back(std::move(entry));
    } else if (S_ISLNK(st.st_mode)) {
      struct stat target;
      if (stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode))
        entries->push_back(std::move(entry));
    } else if (S_ISDIR(st.st_mode)) {
      entry.isDirectory = true;
      entry.isMarked = IsMarkedDirectory(path, st);
      entries->push_back(std::move(entry));
    }
  }
  closedir(d);
  // std::string compares its characters as unsigned bytes: byte order.
  std::sort(entries->begin(), entries->end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return true;
}

bool CopyFileNoReplace(const std::string& src, const std::string& dst) {
  int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(in);
    return false;
  }
  int out = open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    close(in);
    return false;
  }
  bool ok = true;
  char buf[65536];
  for (;;) {
    ssize_t n = read(in, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!WriteAll(out, buf, static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  if (ok && fchmod(out, st.st_mode & 0777) != 0) ok = false;
  if (close(out) != 0) ok = false;
  close(in);
  // Never leave half a copy behind: the target did not exist before.
  if (!ok) unlink(dst.c_str());
  return ok;
}

bool DeleteFile(const std::string& path) {
  return unlink(path.c_str()) == 0;
}

bool MoveFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash))) {
    return false;
  }
  if (::mkdir(dir.c_str(), 0700) == 0) return true;
  return errno == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace linkward::fsys
