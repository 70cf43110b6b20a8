// A private temporary directory for engine tests, removed with its contents
// (permissions restored first) when the test ends.
#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

class EngineTempDir {
 public:
  EngineTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/lw-engine-XXXXXX";
    if (char* made = ::mkdtemp(pattern.data())) m_path = made;
  }
  ~EngineTempDir() {
    if (m_path.empty()) return;
    // Restore write access first, so a read-only fixture directory can go.
    ::nftw(m_path.c_str(), &EngineTempDir::MakeWritable, 16, FTW_PHYS);
    ::nftw(m_path.c_str(), &EngineTempDir::Remove, 16, FTW_DEPTH | FTW_PHYS);
  }
  EngineTempDir(const EngineTempDir&) = delete;
  EngineTempDir& operator=(const EngineTempDir&) = delete;

  const std::string& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  static bool WriteFile(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
  }
  static std::string ReadFile(const std::string& path) {
    std::string bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
  }

 private:
  static int MakeWritable(const char* path, const struct stat* st, int type, FTW*) {
    if (type == FTW_D || type == FTW_DNR) ::chmod(path, (st->st_mode & 07777) | 0700);
    return 0;
  }
  static int Remove(const char* path, const struct stat*, int, FTW*) {
    ::remove(path);
    return 0;
  }

  std::string m_path;
};
