#include "engine/FileDiscovery.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
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

// A walk that cannot list dir says so.
bool List(const std::string& dir, std::vector<fsys::DirEntry>* entries, StringList* problems) {
  if (fsys::ListDirectory(dir, entries)) return true;
  if (problems)
    problems->push_back("Cannot read the directory " + dir + ": " + std::strerror(errno));
  return false;
}

// The entries of dir whose paths are too long to be named (the listing
// leaves them out): regular files and links (when the filter admits them),
// and with tree the directories a tree walk would enter.
void ReportTooLong(const std::string& dir, bool filter, bool tree, StringList* problems) {
  if (!problems || dir.size() + 2 + NAME_MAX < PATH_MAX) return;
  DIR* listing = ::opendir(dir.c_str());
  if (!listing) return;
  StringList names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string path = JoinPath(dir, entry->d_name);
    if (path.size() < PATH_MAX || (entry->d_name[0] == '.' && entry->d_type == DT_DIR)) continue;
    const bool file =
        entry->d_type == DT_REG || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
    if ((file && (!filter || PassesExtensionFilter(path))) || (tree && entry->d_type == DT_DIR))
      names.push_back(path);
  }
  ::closedir(listing);
  std::sort(names.begin(), names.end());
  for (const std::string& path : names)
    problems->push_back("Left out, its path is longer than " + std::to_string(PATH_MAX - 1) +
                        " bytes: " + path);
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

void BuildFileList(StringList& list, const std::string& path, const TestChoices& choices,
                   StringList* problems) {
  if (!choices.recurse && !choices.allFiles) {
    list.push_back(path);
    return;
  }
  if (!choices.allFiles) return;
  std::string dir = DirectoryOfPath(path);
  if (choices.recurse) {
    AddDirectoryTree(list, dir, choices.filter, problems);
  } else {
    AddDirectoryFiles(list, dir, choices.filter, problems);
  }
}

void AddDirectoryFiles(StringList& list, const std::string& dir, bool filter,
                       StringList* problems) {
  std::vector<fsys::DirEntry> entries;
  if (!List(dir, &entries, problems)) return;
  AppendFiles(list, dir, entries, filter);
  ReportTooLong(dir, filter, false, problems);
}

void AddDirectoryTree(StringList& list, const std::string& dir, bool filter, StringList* problems) {
  // Pending directories: the top is walked next, and a directory's
  // sub-directories are pushed in listing order, so the last listed one comes
  // first and its whole tree is done before its siblings (pre-order).
  std::vector<std::string> pending{dir};
  std::vector<fsys::DirEntry> entries;
  while (!pending.empty()) {
    std::string current = std::move(pending.back());
    pending.pop_back();
    entries.clear();
    if (!List(current, &entries, problems)) continue;
    AppendFiles(list, current, entries, filter);
    ReportTooLong(current, filter, true, problems);
    for (const fsys::DirEntry& entry : entries) {
      if (!entry.isDirectory || entry.name.empty() || entry.name[0] == '.') continue;
      const std::string sub = JoinPath(current, entry.name);
      if (!entry.isMarked) {
        pending.push_back(sub);
      } else if (problems && ::access(sub.c_str(), R_OK | X_OK) != 0) {
        // Read-only directories are kept out by design; unreadable ones are named.
        problems->push_back("Cannot read the directory " + sub + ": " + std::strerror(errno));
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
