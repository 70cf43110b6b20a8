#include "CliOptions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "check/SiteCrawl.h"
#include "check/SiteMap.h"
#include "check/SkipList.h"
#include "settings/PreferencesDlg.h"

namespace linkward {

const char* const CLI_USAGE =
    "Usage: linkward-cli [OPTIONS] FILE\n"
    "Tests the absolute http:// and ftp:// links of the HTML file FILE and lists\n"
    "the outcomes the report filter selects. The log goes to standard output.\n"
    "\n"
    "  --all-files        also test the other files of FILE's directory\n"
    "  --recurse          also test the files of all sub-directories (implies\n"
    "                     --all-files)\n"
    "  --filter           only files with web-page extensions (.htm, .asp, ...)\n"
    "  --mask MASK        report filter of 21 characters '0'/'1' for this run only\n"
    "  --timeout SECONDS  wait limit for slow hosts for this run only (1 to 3600)\n"
    "  --report FILE      write the results to FILE when the test ends;\n"
    "                     - writes them to standard output after the log\n"
    "  --format FORMAT    the report's format: text (the default), html, json, csv\n"
    "                     or junit (JUnit XML, one failed test case per row)\n"
    "  --html             the same as --format html\n"
    "  --group target     full check, text and html reports: one entry per resolved\n"
    "                     target with its count of links, then every page:line\n"
    "  --repair TYPE      then repair the listed links in their files: 0 comment\n"
    "                     out the line, 1 point the link at its own file, 2 remove\n"
    "                     the line and save the bad URLs in the --report file\n"
    "                     (checked before any file is touched), 3 point links\n"
    "                     that moved permanently (301, 308) at their new address\n"
    "                     (the full check finds where they went), 4 point broken\n"
    "                     links at their archived copy (--suggest-archive finds it)\n"
    "  --dry-run          with --repair: print the unified diff the repair would\n"
    "                     make to standard output and change no file\n"
    "  --restore          test nothing: put the backups (.rep) of FILE back, and\n"
    "                     with --all-files or --recurse those of every file of\n"
    "                     the walk; each file restored is named\n"
    "  --full             full check: also https://, relative, file: and #fragment\n"
    "                     links, many at a time; with an http(s) URL as FILE, the\n"
    "                     site's pages are crawled from it and checked\n"
    "  --jobs N           full check: at most N remote checks at once (1 to 256;\n"
    "                     default: the stored Preferences, 128 at first)\n"
    "  --per-host N       full check: at most N at once to one host (1 to 16;\n"
    "                     default: the stored Preferences, 2 at first)\n"
    "  --exclude REGEX    full check: do not test links in which the regular\n"
    "                     expression REGEX is found (as written or resolved;\n"
    "                     no back-references or look-around); repeatable, added\n"
    "                     to the stored skip list\n"
    "  --site-url URL     full check: links into the site at URL (http or https\n"
    "                     alike) are judged as the files under the root, with no\n"
    "                     request to the site (default: the stored Preferences)\n"
    "  --clean-urls       full check: a local link \"/about\" is also found as\n"
    "                     about.html, as static hosts serve it\n"
    "  --index-names LIST full check: a directory's page, the first of the names of\n"
    "                     LIST found (default: index.html,index.htm)\n"
    "  --check-fragments  full check: #fragments of remote pages are looked for in\n"
    "                     the page (its first 2 MB); ones pages make with scripts\n"
    "                     are Not Verified (also when the Preferences say so)\n"
    "  --root DIR         full check: where root-relative links (\"/x.html\") start\n"
    "                     (default: FILE's directory)\n"
    "  --ca-file FILE     full check: trust the certificates of FILE instead of\n"
    "                     the system's (default: $SSL_CERT_FILE when set)\n"
    "  --max-wait SECONDS full check: the longest wait asked by a busy server\n"
    "                     (Retry-After) or backing off from one (0 to 3600;\n"
    "                     default 60); a longer one ends as Not Verified\n"
    "  --user-agent TEXT  full check: the User-Agent sent (default: the stored\n"
    "                     Preferences, else Linkward's own)\n"
    "  --accept LIST      full check: statuses judged OK, as 403,200-299\n"
    "  --config FILE      the project file (default: linkward.toml beside FILE\n"
    "                     when there is one); its keys are these options'\n"
    "                     names; options given here win over it; a fault in\n"
    "                     it stops with exit status 2\n"
    "  --max-age AGE      full check: reuse the OK and Moved verdicts of the check\n"
    "                     history ($XDG_CACHE_HOME/linkward/history.db) younger\n"
    "                     than AGE (seconds, or with s, m, h or d; default 1d);\n"
    "                     Broken and Not Verified links are always checked again\n"
    "  --no-cache         full check: check every link again, reusing nothing from\n"
    "                     the check history (the new verdicts are still kept)\n"
    "  --suggest-archive  full check: look up an archived copy of each broken remote\n"
    "                     link in the Wayback Machine (sends those addresses to it);\n"
    "                     reports carry it as archiveUrl\n"
    "  --archive-endpoint URL\n"
    "                     the availability service --suggest-archive asks (default:\n"
    "                     the stored one, else https://archive.org/wayback/available)\n"
    "  --scope REGEX      full check of an http(s) URL given as FILE: crawl the\n"
    "                     pages in whose address REGEX is found (default: the\n"
    "                     URL's origin and directory, and below)\n"
    "  --depth N          crawl: follow links at most N pages away from the URL\n"
    "                     (0 to 1000000; default: no limit)\n"
    "  --max-pages N      crawl: fetch at most N addresses within scope (1 to\n"
    "                     10000000; default 10000)\n"
    "  --ignore-robots    crawl: do not honour the site's robots.txt\n"
    "  --yes              answer Yes to questions (such as replacing a report)\n"
    "  --help             show this text\n"
    "  --version          show the version of Linkward\n"
    "\n"
    "Each listed row is shown under its file's \"Testing:\" line as\n"
    "  URL - Reason - Site Name\n"
    "(the full check adds what the check history says: \"[broken since DATE]\").\n"
    "Without --mask and --timeout the stored Preferences apply. Ctrl-C stops the\n"
    "test; the rows found so far are still reported.\n"
    "Exit status: 0 no row listed, 1 rows listed, 2 usage error or no file to\n"
    "test, 3 the repair stopped, 4 the report was not written, 5 --full: every\n"
    "listed row is Not Verified, 6 a file or directory could not be tested\n"
    "(named in the log), 7 the log could not be written, 130 stopped by Ctrl-C.\n"
    "--restore: 0 done, 2 no backup found, 3 a backup was not put back.\n";

namespace {

// The names of --format, in the order of the export format values.
const char* const kFormatNames[] = {"text", "html", "json", "csv", "junit"};

bool ParseNumber(const char* text, long low, long high, long* value) {
  char* end = nullptr;
  long number = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || number < low || number > high) return false;
  *value = number;
  return true;
}

}  // namespace

bool ParseStatusList(const std::string& text, std::vector<unsigned>* codes) {
  std::vector<unsigned> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = std::min(text.find(',', start), text.size());
    std::string item = text.substr(start, end - start);
    size_t dash = item.find('-');
    long low = 0, high = 0;
    if (!ParseNumber(item.substr(0, dash).c_str(), 100, 999, &low) ||
        !ParseNumber(dash == std::string::npos ? item.c_str() : item.c_str() + dash + 1, low, 999,
                     &high))
      return false;
    for (long code = low; code <= high; ++code) out.push_back(static_cast<unsigned>(code));
    start = end + 1;
  }
  *codes = std::move(out);
  return true;
}

long long ParseDuration(const std::string& text) {
  static const std::pair<char, long long> kUnits[] = {
      {'s', 1}, {'m', 60}, {'h', 3600}, {'d', 86400}};
  std::string digits = text;
  long long unit = 1;
  for (const auto& [suffix, seconds] : kUnits) {
    if (!digits.empty() && digits.back() == suffix) {
      digits.pop_back();
      unit = seconds;
      break;
    }
  }
  constexpr long long kLongest = 3650LL * 86400;
  if (digits.empty() || digits.size() > 12 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  long long value = std::stoll(digits);
  return value > kLongest / unit ? -1 : value * unit;
}

bool ParseCliOptions(int argc, const char* const* argv, CliOptions* options, std::string* error) {
  CliOptions o;
  if (!ReadCliArgs(argc, argv, 1, &o, error) || !CheckCliOptions(o, error)) return false;
  *options = std::move(o);
  return true;
}

bool ReadCliArgs(int argc, const char* const* argv, int first, CliOptions* options,
                 std::string* error) {
  CliOptions& o = *options;
  bool endOfOptions = false;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        *error = std::string(name) + " needs a value";
        return nullptr;
      }
      return argv[++i];
    };
    if (!endOfOptions && arg == "--") {
      endOfOptions = true;
    } else if (!endOfOptions && arg == "--all-files") {
      o.choices.allFiles = true;
    } else if (!endOfOptions && arg == "--recurse") {
      o.choices.recurse = true;
      o.choices.allFiles = true;  // as in the dialog: sub-directories only with the other files
    } else if (!endOfOptions && arg == "--filter") {
      o.choices.filter = true;
    } else if (!endOfOptions && arg == "--html") {
      o.reportFormat = ExportFormat::Html;
      o.formatOption = "--html";
    } else if (!endOfOptions && arg == "--format") {
      const char* v = value("--format");
      if (!v) return false;
      const auto* end = std::end(kFormatNames);
      const auto* name = std::find_if(std::begin(kFormatNames), end,
                                      [v](const char* n) { return std::strcmp(n, v) == 0; });
      if (name == end) {
        *error = "--format needs text, html, json, csv or junit";
        return false;
      }
      o.reportFormat = static_cast<ExportFormat>(name - std::begin(kFormatNames));
      o.formatOption = "--format";
    } else if (!endOfOptions && arg == "--group") {
      const char* v = value("--group");
      if (!v) return false;
      if (std::strcmp(v, "target") != 0) {
        *error = "--group needs target";
        return false;
      }
      o.reportGroup = ReportGroup::Target;
    } else if (!endOfOptions && arg == "--dry-run") {
      o.dryRun = true;
    } else if (!endOfOptions && arg == "--restore") {
      o.restore = true;
    } else if (!endOfOptions && arg == "--yes") {
      o.yes = true;
    } else if (!endOfOptions && (arg == "--help" || arg == "-h")) {
      o.help = true;
    } else if (!endOfOptions && arg == "--full") {
      o.full = true;
    } else if (!endOfOptions && (arg == "--jobs" || arg == "--per-host")) {
      bool jobs = arg == "--jobs";
      const char* v = value(jobs ? "--jobs" : "--per-host");
      long number = 0;
      if (!v) return false;
      if (!ParseNumber(v, 1, jobs ? 256 : 16, &number)) {
        *error =
            jobs ? "--jobs needs a number from 1 to 256" : "--per-host needs a number from 1 to 16";
        return false;
      }
      (jobs ? o.jobs : o.perHost) = static_cast<int>(number);
    } else if (!endOfOptions && (arg == "--root" || arg == "--ca-file")) {
      bool root = arg == "--root";
      const char* v = value(root ? "--root" : "--ca-file");
      if (!v) return false;
      if (*v == '\0') {
        *error = arg + (root ? " needs a directory" : " needs a file name");
        return false;
      }
      (root ? o.root : o.caFile) = v;
    } else if (!endOfOptions && arg == "--max-age") {
      const char* v = value("--max-age");
      if (!v) return false;
      o.maxAgeSeconds = ParseDuration(v);
      if (o.maxAgeSeconds < 0) {
        *error = "--max-age needs a duration such as 3600, 90m, 12h or 7d";
        return false;
      }
    } else if (!endOfOptions && arg == "--no-cache") {
      o.noCache = true;
    } else if (!endOfOptions && arg == "--suggest-archive") {
      o.suggestArchive = true;
    } else if (!endOfOptions && arg == "--archive-endpoint") {
      const char* v = value("--archive-endpoint");
      if (!v) return false;
      o.archiveEndpoint = v;
      if (o.archiveEndpoint.rfind("http://", 0) != 0 &&
          o.archiveEndpoint.rfind("https://", 0) != 0) {
        *error = "--archive-endpoint needs an http:// or https:// address";
        return false;
      }
    } else if (!endOfOptions && (arg == "--depth" || arg == "--max-pages")) {
      bool depth = arg == "--depth";
      const char* v = value(depth ? "--depth" : "--max-pages");
      long number = 0;
      if (!v) return false;
      if (!ParseNumber(v, depth ? 0 : 1, depth ? 1000000 : 10000000, &number)) {
        *error = depth ? "--depth needs a number from 0 to 1000000"
                       : "--max-pages needs a number from 1 to 10000000";
        return false;
      }
      (depth ? o.depth : o.maxPages) = static_cast<int>(number);
      o.crawlChoices = true;
    } else if (!endOfOptions && arg == "--scope") {
      const char* v = value("--scope");
      if (!v) return false;
      if (*v == '\0' || !CSkipList().Compile({v})) {
        *error = "--scope needs a regular expression; \"" + std::string(v) + "\" is not one";
        return false;
      }
      o.scope = v;
      o.crawlChoices = true;
    } else if (!endOfOptions && arg == "--ignore-robots") {
      o.ignoreRobots = true;
      o.crawlChoices = true;
    } else if (!endOfOptions && arg == "--version") {
      o.version = true;
    } else if (!endOfOptions && arg == "--exclude") {
      const char* v = value("--exclude");
      if (!v) return false;
      std::string bad;
      if (*v == '\0' || !CSkipList().Compile({v}, &bad)) {
        *error = "--exclude needs a regular expression; \"" + std::string(v) + "\" is not one";
        return false;
      }
      o.excludes.push_back(v);
    } else if (!endOfOptions && arg == "--site-url") {
      const char* v = value("--site-url");
      if (!v) return false;
      if (!CSiteMap(v, "/").Valid()) {
        *error = "--site-url needs an http or https address";
        return false;
      }
      o.siteUrl = v;
    } else if (!endOfOptions && arg == "--index-names") {
      const char* v = value("--index-names");
      if (!v) return false;
      o.indexNames.clear();
      for (std::string rest = v;;) {
        const size_t comma = rest.find(',');
        const std::string name = rest.substr(0, comma);
        if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
          *error = "--index-names needs file names separated by commas";
          return false;
        }
        o.indexNames.push_back(name);
        if (comma == std::string::npos) break;
        rest.erase(0, comma + 1);
      }
    } else if (!endOfOptions && (arg == "--clean-urls" || arg == "--check-fragments")) {
      (arg == "--clean-urls" ? o.cleanUrls : o.checkFragments) = true;
    } else if (!endOfOptions && arg == "--mask") {
      const char* v = value("--mask");
      if (!v) return false;
      o.mask = v;
      if (o.mask.size() != 21 || o.mask.find_first_not_of("01") != std::string::npos) {
        *error = "--mask needs 21 characters, each '0' or '1'";
        return false;
      }
      o.hasMask = true;
    } else if (!endOfOptions && arg == "--timeout") {
      const char* v = value("--timeout");
      long seconds = 0;
      if (!v) return false;
      if (!ParseNumber(v, 1, 3600, &seconds)) {
        *error = "--timeout needs a number of seconds from 1 to 3600";
        return false;
      }
      o.hasTimeout = true;
      o.timeoutSeconds = static_cast<int>(seconds);
    } else if (!endOfOptions && arg == "--report") {
      const char* v = value("--report");
      if (!v) return false;
      o.reportPath = v;
      if (o.reportPath.empty()) {
        *error = "--report needs a file name";
        return false;
      }
    } else if (!endOfOptions && arg == "--repair") {
      const char* v = value("--repair");
      long type = 0;
      if (!v) return false;
      if (!ParseNumber(v, 0, 4, &type)) {
        *error = "--repair needs the type 0, 1, 2, 3 or 4";
        return false;
      }
      o.repairType = static_cast<RepairType>(type);
    } else if (!endOfOptions && arg == "--max-wait") {
      const char* v = value("--max-wait");
      long seconds = 0;
      if (!v) return false;
      if (!ParseNumber(v, 0, 3600, &seconds)) {
        *error = "--max-wait needs a number of seconds from 0 to 3600";
        return false;
      }
      o.maxWaitSeconds = static_cast<int>(seconds);
    } else if (!endOfOptions && arg == "--user-agent") {
      const char* v = value("--user-agent");
      if (!v) return false;
      if (!CPreferencesDlg::UserAgentAllowed(v)) {
        *error = "--user-agent needs a text of at most 255 bytes without control characters";
        return false;
      }
      o.userAgent = v;
      o.hasUserAgent = true;
    } else if (!endOfOptions && arg == "--accept") {
      const char* v = value("--accept");
      if (!v) return false;
      if (!ParseStatusList(v, &o.acceptCodes)) {
        *error = "--accept needs statuses from 100 to 999 or ranges, as 403,200-299";
        return false;
      }
      o.hasAccept = true;
    } else if (!endOfOptions && arg == "--config") {
      const char* v = value("--config");
      if (!v) return false;
      o.configPath = v;
      if (o.configPath.empty()) {
        *error = "--config needs a file name";
        return false;
      }
    } else if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + arg;
      return false;
    } else if (o.file.empty()) {
      o.file = arg;
    } else {
      *error = "only one FILE can be tested";
      return false;
    }
  }
  return true;
}

bool CheckCliOptions(const CliOptions& o, std::string* error) {
  if (o.help || o.version) return true;
  if (o.file.empty()) {
    *error = "no FILE given";
    return false;
  }
  if (!o.full && (!o.siteUrl.empty() || o.cleanUrls || !o.indexNames.empty() || o.checkFragments)) {
    *error = "--site-url, --clean-urls, --index-names and --check-fragments need --full";
    return false;
  }
  if (!o.full && (o.jobs != 0 || o.perHost != 0 || !o.root.empty() || !o.caFile.empty() ||
                  !o.excludes.empty())) {
    *error = "--jobs, --per-host, --root, --ca-file and --exclude need --full";
    return false;
  }
  if (o.crawlChoices && !(o.full && IsCrawlAddress(o.file))) {
    *error = "--scope, --depth, --max-pages and --ignore-robots need --full and an http(s) URL";
    return false;
  }
  if (o.reportGroup == ReportGroup::Target) {
    if (!o.full || o.reportPath.empty()) {
      *error = "--group target needs --full and --report FILE";
      return false;
    }
    if (o.reportFormat != ExportFormat::Text && o.reportFormat != ExportFormat::Html) {
      *error = "--group target is for the text and html formats only";
      return false;
    }
  }
  if (!o.full && (o.maxWaitSeconds >= 0 || o.hasUserAgent || o.hasAccept)) {
    *error = "--max-wait, --user-agent and --accept need --full";
    return false;
  }
  if (!o.full && (o.maxAgeSeconds >= 0 || o.noCache || o.suggestArchive)) {
    *error = "--max-age, --no-cache and --suggest-archive need --full";
    return false;
  }
  if (!o.archiveEndpoint.empty() && !o.suggestArchive) {
    *error = "--archive-endpoint needs --suggest-archive";
    return false;
  }
  if (!o.formatOption.empty() && o.reportPath.empty()) {
    *error = o.formatOption + " needs --report FILE";
    return false;
  }
  if (o.repairType == RepairType::ArchivedCopy && !o.suggestArchive) {
    *error = "--repair 4 needs --suggest-archive (with --full) to find the archived copies";
    return false;
  }
  if (o.dryRun && o.repairType == RepairType::None) {
    *error = "--dry-run needs --repair TYPE";
    return false;
  }
  if (o.restore && (o.repairType != RepairType::None || o.full || !o.reportPath.empty())) {
    *error = "--restore tests nothing: it takes no --repair, --full or --report";
    return false;
  }
  if (o.repairType == RepairType::RemoveLine && o.reportPath.empty() && !o.dryRun) {
    *error = "--repair 2 needs --report FILE for the list of bad URLs";
    return false;
  }
  return true;
}

}  // namespace linkward
