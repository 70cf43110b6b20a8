// The command line of linkward-cli.
#pragma once

#include <string>

struct CliOptions {
  int allFiles = 0;
  int recurse = 0;
  int filter = 0;
  bool hasMask = false;
  std::string mask;
  bool hasTimeout = false;
  int timeoutSeconds = 0;
  std::string reportPath;
  bool html = false;
  int repairType = -1;  // -1: no repair pass
  bool yes = false;
  bool help = false;
  bool version = false;
  std::string file;
};

// Parses argv. On success returns true; otherwise stores a one-line reason
// in *error and returns false.
bool ParseCliOptions(int argc, const char* const* argv, CliOptions* options, std::string* error);

extern const char* const CLI_USAGE;
