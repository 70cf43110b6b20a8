// Target file discovery: the chosen file and three options become the ordered
// list of files of a test. Only names are listed; no file is opened.
#pragma once

#include <string>

#include "platform/StringList.h"
#include "settings/TestChoices.h"

namespace linkward {

// Appends the files of the walk chosen by the choices to list:
// neither recurse nor allFiles: path alone; allFiles: the files of path's
// directory (recurse: and of the whole tree below it); recurse alone: nothing.
// A path without "/" names a file of the current directory (".").
// problems (may be null) gets one line for each directory that cannot be read
// or entered and each entry left out because its path is too long.
void BuildFileList(StringList& list, const std::string& path, const TestChoices& choices,
                   StringList* problems = nullptr);

// The directory part of a chosen path: everything before its last "/"
// ("/" for a file at the root, "." for a bare name).
std::string DirectoryOfPath(const std::string& path);

// Appends dir + "/" + name for every file of dir (sub-directories skipped), in
// byte order of the names; with filter, only paths whose upper-cased text holds
// ".HTM", ".SHTM", ".HTML", ".SHTML" or ".ASP" after its first character.
void AddDirectoryFiles(StringList& list, const std::string& dir, bool filter,
                       StringList* problems = nullptr);

// The files of dir, then, for every unmarked sub-directory whose name does
// not begin with "." taken in reverse byte order, its whole tree (pre-order).
// Symbolic links to directories are never entered.
void AddDirectoryTree(StringList& list, const std::string& dir, bool filter,
                      StringList* problems = nullptr);

// The extension filter's test on one path.
bool PassesExtensionFilter(const std::string& path);

}  // namespace linkward
