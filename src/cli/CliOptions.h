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
  bool dryRun = false;   // --repair prints its diff and changes nothing
  bool restore = false;  // put the backups back instead of testing
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
  long long maxAgeSeconds = -1;       // --max-age; -1: the default
  bool noCache = false;               // --no-cache
  bool suggestArchive = false;        // --suggest-archive
  std::string archiveEndpoint;        // --archive-endpoint; empty: the stored one
  // Full check of an http(s) address: the crawl's choices.
  std::string scope;       // empty: the start's origin and directory
  int depth = -1;          // -1: no limit
  int maxPages = 10000;
  bool ignoreRobots = false;
  bool crawlChoices = false;  // one of them was given
  std::string file;
  std::string configPath;     // --config: the project file
  int maxWaitSeconds = -1;    // -1: the default (60 s)
  bool hasUserAgent = false;  // else the stored Preferences
  std::string userAgent;
  bool hasAccept = false;
  std::vector<unsigned> acceptCodes;
  std::string formatOption;  // the option that chose the format, if one did
};

// Parses argv. On success returns true; otherwise stores a one-line reason
// in *error and returns false.
bool ParseCliOptions(int argc, const char* const* argv, CliOptions* options, std::string* error);
// The two steps of ParseCliOptions. ReadCliArgs reads argv[first..argc) on
// top of what *options holds (a later value wins, lists grow); FILE may stay
// empty. CheckCliOptions then checks the options against each other.
bool ReadCliArgs(int argc, const char* const* argv, int first, CliOptions* options,
                 std::string* error);
bool CheckCliOptions(const CliOptions& options, std::string* error);
// "403,200-299": statuses (100 to 999) and ranges of them, comma-separated.
bool ParseStatusList(const std::string& text, std::vector<unsigned>* codes);

// A duration: a number of seconds, or a number with the suffix s, m, h or d,
// at most ten years. Returns -1 for anything else.
long long ParseDuration(const std::string& text);

extern const char* const CLI_USAGE;

}  // namespace linkward
