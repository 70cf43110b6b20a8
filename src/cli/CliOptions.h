// The command line of linkward-cli.
#pragma once

#include <string>
#include <vector>

#include "repair/RepairType.h"
#include "results/ReportWriter.h"
#include "settings/TestChoices.h"
namespace linkward {

struct CliOptions {
  TestChoices choices;
  bool hasMask = false;
  std::string mask;
  bool hasTimeout = false;
  int timeoutSeconds = 0;
  std::string reportPath;
  ExportFormat reportFormat = ExportFormat::Text;
  RepairType repairType = RepairType::None;  // None: no repair pass
  bool dryRun = false;   // --repair prints its diff and changes nothing
  bool restore = false;  // put the backups back instead of testing
  bool yes = false;
  bool help = false;
  bool full = false;  // the full check
  int jobs = 0;       // 0: the stored Preferences
  int perHost = 0;    // 0: the stored Preferences
  std::string root;
  std::string caFile;
  bool version = false;
  std::vector<std::string> excludes;  // skip patterns added to the stored ones
  std::string file;
};

// Parses argv. On success returns true; otherwise stores a one-line reason
// in *error and returns false.
bool ParseCliOptions(int argc, const char* const* argv, CliOptions* options, std::string* error);

extern const char* const CLI_USAGE;

}  // namespace linkward
