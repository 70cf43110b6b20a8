// The project file, linkward.toml: the options of a run kept beside the
// pages (or named with --config), and what only a file can say, the rules
// for single hosts.
//
//   full = true
//   jobs = 8
//   accept = [403, "200-299"]
//   skip = ["^https://example\\.com/private/"]
//   [hosts."api.example.com"]
//   headers = { Authorization = "token ${GITHUB_TOKEN}" }
//   limit = 1
//
// Every key but "hosts" is a command-line option's long name and takes what
// the option takes: true for an option without a value (false leaves it
// out), a string or a number for one with a value, a list for the options
// that may be given more than once ("exclude", also named "skip") and for
// "accept". Relative paths ("report", "root", "ca-file") start at the file's
// directory. In a header value "${NAME}" is the environment variable NAME.
// "repair" and "yes" are taken only from a file named with --config: a file
// found beside downloaded pages must not rewrite them on its own.
#pragma once

#include <string>
#include <vector>

#include "CliOptions.h"
#include "check/HttpChecker.h"

namespace linkward {

struct ProjectFile {
  std::string path;
  std::vector<std::string> args;  // the file's options as command-line arguments
  std::vector<HostRule> hostRules;
};

// The project file of a run: --config, else linkward.toml in the directory
// of FILE when there is one; empty when there is none.
std::string FindProjectFile(const CliOptions& commandLine);

// Reads the file at path. On failure returns false and stores in *error a
// one-line reason that names the file and, where the fault is in the text,
// its line ("linkward.toml, line 3: ...").
bool LoadProjectFile(const std::string& path, ProjectFile* project, std::string* error);

// The keys a project file takes besides "hosts": the options' long names,
// and "skip" for "exclude".
std::vector<std::string> ProjectFileKeys();

}  // namespace linkward
