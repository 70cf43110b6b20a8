#include "support/ScratchDir.h"

#include <ftw.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

ScratchDir::ScratchDir() {
  char templ[] = "/tmp/linkward-test-XXXXXX";
  if (mkdtemp(templ) != nullptr) m_path = templ;
}

ScratchDir::~ScratchDir() {
  if (m_path.empty()) return;
  // A pre-order pass opens up unreadable directories, then a depth-first one removes all.
  nftw(
      m_path.c_str(),
      [](const char* path, const struct stat* st, int type, FTW*) {
        if (type == FTW_D || type == FTW_DNR) chmod(path, (st->st_mode & 07777) | 0700);
        return 0;
      },
      16, FTW_PHYS);
  nftw(
      m_path.c_str(),
      [](const char* path, const struct stat*, int, FTW*) { return std::remove(path), 0; }, 16,
      FTW_DEPTH | FTW_PHYS);
}

bool ScratchDir::WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  return bool(out.write(bytes.data(), std::streamsize(bytes.size())).flush());
}

std::string ScratchDir::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
