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
  ReportGroup reportGroup = ReportGroup::Page;  // --group target: by resolved target
  RepairType repairType = RepairType::None;  // None: no repair pass
  bool yes = false;
  bool help = false;
  bool full = false;  // the full check
  int jobs = 0;       // 0: the stored Preferences
  int perHost = 0;    // 0: the stored Preferences
  std::string siteUrl;                // see FullCheckOptions
  bool cleanUrls = false;
  std::vector<std::string> indexNames;  // empty: the default ones
  bool checkFragments = false;
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
