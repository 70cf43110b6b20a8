#include "support/ScratchDir.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

int MakeRemovable(const char* path, const struct stat* st, int type, struct FTW*) {
  if (type == FTW_D || type == FTW_DNR) chmod(path, (st->st_mode & 07777) | 0700);
  return 0;
}

int RemoveOne(const char* path, const struct stat*, int, struct FTW*) {
  std::remove(path);
  return 0;
}

}  // namespace

ScratchDir::ScratchDir() {
  char templ[] = "/tmp/linkward-test-XXXXXX";
  if (mkdtemp(templ) != nullptr) m_path = templ;
}

ScratchDir::~ScratchDir() {
  if (m_path.empty()) return;
  // Pre-order pass to open up unreadable directories, then a depth-first removal.
  nftw(m_path.c_str(), MakeRemovable, 16, FTW_PHYS);
  nftw(m_path.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

std::string ScratchDir::WriteFile(const std::string& name, const std::string& bytes) const {
  std::string path = *this / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return path;
}

bool ScratchDir::WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string ScratchDir::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
  const char* old = std::getenv(name);
  m_bHadValue = old != nullptr;
  if (old) m_old = old;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (m_bHadValue)
    setenv(m_name.c_str(), m_old.c_str(), 1);
  else
    unsetenv(m_name.c_str());
}
