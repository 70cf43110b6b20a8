#include "engine/FileDiscovery.h"

#include <vector>

#include "platform/FileSystem.h"

namespace linkward {

namespace {

constexpr const char* kExtensionMarks[] = {".HTM", ".SHTM", ".HTML", ".SHTML", ".ASP"};

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (!dir.empty() && dir.back() == '/') return dir + name;  // the root "/"
  return dir + "/" + name;
}

void AppendFiles(StringList& list, const std::string& dir,
                 const std::vector<fsys::DirEntry>& entries, bool filter) {
  for (const fsys::DirEntry& entry : entries) {
    if (entry.isDirectory) continue;
    std::string path = JoinPath(dir, entry.name);
    if (!filter || PassesExtensionFilter(path)) list.push_back(std::move(path));
  }
}

}  // namespace

std::string DirectoryOfPath(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  // "a//b" names the directory "a": the directory never ends in a separator.
  size_t end = path.find_last_not_of('/', slash);
  if (end == std::string::npos) return "/";
  return path.substr(0, end + 1);
}

void BuildFileList(StringList& list, const std::string& path, const TestChoices& choices) {
  if (!choices.recurse && !choices.allFiles) {
    list.push_back(path);
    return;
  }
  if (!choices.allFiles) return;
  std::string dir = DirectoryOfPath(path);
  if (choices.recurse) {
    AddDirectoryTree(list, dir, choices.filter);
  } else {
    AddDirectoryFiles(list, dir, choices.filter);
  }
}

void AddDirectoryFiles(StringList& list, const std::string& dir, bool filter) {
  std::vector<fsys::DirEntry> entries;
  if (!fsys::ListDirectory(dir, &entries)) return;
  AppendFiles(list, dir, entries, filter);
}

void AddDirectoryTree(StringList& list, const std::string& dir, bool filter) {
  // Pending directories: the top is walked next, and a directory's
  // sub-directories are pushed in listing order, so the last listed one comes
  // first and its whole tree is done before its siblings (pre-order).
  std::vector<std::string> pending{dir};
  std::vector<fsys::DirEntry> entries;
  while (!pending.empty()) {
    std::string current = std::move(pending.back());
    pending.pop_back();
    entries.clear();
    if (!fsys::ListDirectory(current, &entries)) continue;
    AppendFiles(list, current, entries, filter);
    for (const fsys::DirEntry& entry : entries) {
      if (entry.isDirectory && !entry.isMarked && !entry.name.empty() && entry.name[0] != '.') {
        pending.push_back(JoinPath(current, entry.name));
      }
    }
  }
}

bool PassesExtensionFilter(const std::string& path) {
  std::string upper = path;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (const char* mark : kExtensionMarks) {
    if (upper.find(mark, 1) != std::string::npos) return true;
  }
  return false;
}

}  // namespace linkward
