// Files and directories, as the core needs them.
#pragma once

#include <string>
#include <vector>

namespace linkward::fsys {

struct DirEntry {
  std::string name;
  bool isDirectory = false;  // a real directory (never a symbolic link to one)
  // For directories: true when the directory carries a mark that keeps the
  // tree walk out: it is not readable and searchable by us, or it has no
  // write permission bit at all (read-only).
  bool isMarked = false;
};

// Lists the directory's regular files, links to regular files, and real
// directories (not "." or ".."), in byte order of their names. Other entries
// (sockets, fifos, dangling links, links to directories) are left out.
// Returns false when the directory cannot be read.
bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries);

// Copies src to dst; fails when dst exists already. Keeps src's permission bits.
bool CopyFileNoReplace(const std::string& src, const std::string& dst);
bool DeleteFile(const std::string& path);
// Renames in one step, replacing an existing target.
bool MoveFile(const std::string& from, const std::string& to);
bool FileExists(const std::string& path);
// Creates dir and the directories above it that are missing (mode 0700 for
// new ones). True when dir exists as a directory afterwards.
bool MakeDirectories(const std::string& dir);

}  // namespace linkward::fsys
