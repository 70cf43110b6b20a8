// linkward-cli run as a user runs it: the whole program (main only hands
// RunCli its arguments and standard streams), its output, its report files
// and its exit status.
#include <gtest/gtest.h>
#include <pthread.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <csignal>
#include <ctime>
#include <thread>
#include <tuple>

#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "cli/ProjectFile.h"
#include "platform/AppDirs.h"
#include "support/LoopbackServer.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

using namespace linkward;

namespace {

using CliRun = std::tuple<int, std::string, std::string>;  // exit status, stdout, stderr

const std::string kNoRows(21, '0');  // a mask that lists nothing

class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    for (const char* sub : {"config", "runtime", "site"}) ::mkdir((dir / sub).c_str(), 0700);
  }

  // Runs the program; its standard output and error go to files.
  CliRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), "linkward-cli");
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::FILE* out = std::fopen((dir / "stdout").c_str(), "w");
    std::FILE* err = std::fopen((dir / "stderr").c_str(), "w");
    const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    std::fclose(out);
    std::fclose(err);
    return {status, ScratchDir::ReadFile(dir / "stdout"), ScratchDir::ReadFile(dir / "stderr")};
  }

  std::string Page(const std::string& name, const std::string& body) {
    return dir.WriteFile("site/" + name, body);
  }

  ScratchDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
  ScopedEnv runtime{"XDG_RUNTIME_DIR", (dir / "runtime").c_str()};
};

std::string Link(const std::string& url, const std::string& text) {
  return "<a href=\"" + url + "\">" + text + "</a>\n";
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(CliTest, ErrorsThatStopBeforeATest) {
  const std::string page = dir.WriteFile("page.htm", Link("http://127.0.0.1:1/", "x"));
  const std::string taken = dir.WriteFile("taken.txt", "old list");
  const std::string usage = "Usage:";
  // clang-format off
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, usage}, {{"--bogus", "x.htm"}, usage}, {{"a.htm", "b.htm"}, usage},
      {{"--mask", "0101", "x.htm"}, usage}, {{"--mask", "01111111111111111111x", "x.htm"}, usage},
      {{"--timeout", "0", "x.htm"}, usage}, {{"--timeout", "abc", "x.htm"}, usage},
      {{"--html", "x.htm"}, usage}, {{"--repair", "2", "x.htm"}, usage}, {{"--format"}, usage},
      {{"--repair", "5", "x.htm"}, usage}, {{"--format", "xml", "--report", "r", "x.htm"}, usage},
      {{"--format", "json", "x.htm"}, "--format needs --report FILE"},
      {{"--dry-run", "x.htm"}, "--dry-run needs --repair TYPE"},
      {{"--restore", "--repair", "0", "x.htm"}, "--restore tests nothing"},
      {{"--restore", dir / "site/none.htm"}, "The chosen file does not exist"},
      {{"--full", "--jobs", "0", "x.htm"}, usage}, {{"--full", "--per-host", "17", "x.htm"}, usage},
      {{"--root", dir.Path(), "x.htm"}, usage}, {{"--exclude", "x", "x.htm"}, usage},
      {{"--full", "--exclude", "a(b", "x.htm"}, "\"a(b\" is not one"},
      {{"--full", "--group", "target", "--format", "csv", "--report", "r", "x.htm"},
       "--group target is for the text and html formats only"},
      {{"--group", "target", "--report", "r", "x.htm"}, "--group target needs --full"},
      {{"--full", "--max-wait", "3601", "x.htm"}, usage}, {{"--max-wait", "5", "x.htm"}, usage},
      {{"--full", "--accept", "200-99", "x.htm"}, usage}, {{"--full", "--accept", "", "x.htm"}, usage},
      {{"--full", "--user-agent", "a\r\nX-Injected: 1", "x.htm"}, "without control characters"},
      {{"--full", "--max-age", "1w", "x.htm"}, "--max-age needs a duration"},
      {{"--no-cache", "x.htm"}, "need --full"}, {{"--suggest-archive", "x.htm"}, "need --full"},
      {{"--full", "--archive-endpoint", "http://a/", "x.htm"}, "needs --suggest-archive"},
      {{"--full", "--repair", "4", "x.htm"}, "--repair 4 needs --suggest-archive"},
      {{"--full", "--suggest-archive", "--archive-endpoint", "a/", "x.htm"}, "needs an http://"},
      {{dir / "site/none.htm"}, "The chosen file does not exist"},
      {{"--depth", "1", "x.htm"}, "need --full and an http(s) URL"},
      {{"--full", "--ignore-robots", page}, "need --full and an http(s) URL"},
      {{"--full", "--max-pages", "0", "http://127.0.0.1:1/"}, usage},
      {{"--full", "--scope", "a(b", "http://127.0.0.1:1/"}, "\"a(b\" is not one"},
      {{"--full", "--repair", "1", "http://127.0.0.1:1/"}, "Crawled pages cannot be repaired: "},
      {{"--full", "--site-url", "ftp://example.com/", "x.htm"}, "--site-url needs an http or https"},
      {{"--full", "--index-names", "index.html,,a", "x.htm"}, "--index-names needs file names"},
      {{"--check-fragments", "x.htm"}, "--check-fragments need --full"},
      {{"--all-files", "--filter", Page("notes.txt", "")}, "No files found.\n"},
      // Type 2 removes lines: it starts only when their list can be written.
      {{"--repair", "2", "--report", dir / "no/such/bad.txt", page},
       "the report " + dir / "no/such/bad.txt" + " cannot be created"},
      {{"--repair", "2", "--report", taken, page}, "already exists (--yes replaces it)"},
      {{"--repair", "2", "--report", dir / "site", page}, "is not a regular file"}};
  // clang-format on
  for (const auto& [args, message] : cases) {
    const auto [status, out, err] = Cli(args);
    EXPECT_EQ(status, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_TRUE(Has(err, message)) << err;
    EXPECT_EQ(out, "");
  }
  EXPECT_EQ(ScratchDir::ReadFile(taken), "old list");
}

TEST(CliDuration, SecondsOrOneSuffixUpToTenYears) {
  const std::pair<const char*, long long> cases[] = {
      {"3600", 3600},       {"90m", 5400}, {"12h", 43200},
      {"7d", 604800},       {"0", 0},      {"45s", 45},
      {"3650d", 315360000}, {"", -1},      {"d", -1},
      {"1w", -1},           {"-1", -1},    {"1.5h", -1},
      {"3651d", -1},        {"1 d", -1},   {"999999999999999", -1}};
  for (const auto& [text, seconds] : cases) EXPECT_EQ(ParseDuration(text), seconds) << text;
}

TEST_F(CliTest, RowsReportsAndExitStatusFollowTheOptionsOfTheRun) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  LoopbackServer silent(LoopbackServer::NeverAnswer());
  const std::string url = server.Url("/gone");
  const std::string page = Page("index.htm", Link(url, "\x1b[31mGone\x07"));
  const std::string report = dir / "report.txt";
  const std::string textReport =  // files keep the page's bytes
      "FILE: " + page + "\n" + url + "\tHTTP Code 404 Not Found\t" + "\x1b[31mGone\x07\n";
  for (const char* sub : {"site/tree", "site/tree/sub", "site/root"})
    ::mkdir((dir / sub).c_str(), 0700);
  const std::string deep = Page("tree/sub/deep.htm", Link(url, "Deep"));
  const std::string locked = Page("locked.htm", Link(url, "Gone"));
  ::chmod(locked.c_str(), 0444);  // its repair is refused, also for root
  const std::string slow = Page("slow.htm", Link(silent.Url(), "S"));
  // A full check: "/there.htm" is found only from the root given, the stored
  // skip list and each --exclude apply, and a link moved for good to a working
  // page gets its new address (which links qualify is the repair pass's rule).
  LoopbackServer moving([](int request) {
    return LoopbackServer::Reply(request == 0 ? "HTTP/1.0 301 Moved\r\nLocation: /new\r\n\r\n"
                                              : "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
  });
  Page("root/there.htm", "<p id=here>");
  const std::string links = Link("/there.htm#gone", "Gone") + Link("drafts/a.htm", "Draft") +
                            Link("http://127.0.0.1:1/x", "Closed");
  const std::string full = Page("full.htm", links + Link(moving.Url("/old"), "Old"));
  const std::string skip = "^file://.*/site/drafts/";
  LoopbackServer walled(LoopbackServer::Reply("HTTP/1.0 401 No\r\nContent-Length: 0\r\n\r\n"));
  const std::string login = Page("login.htm", Link(walled.Url(), "L"));
  TempSettings(dir / "config/linkward").Store().SetString("Settings", "SkipLinks", skip);
  // arguments; exit status; found in standard output; found in standard error; the report's start
  // clang-format off
  const std::tuple<std::vector<std::string>, int, std::string, std::string, std::string> runs[] = {
      {{"--report", report, page}, 1, "\n\nTesting: " + page + "\n  " + url + " - HTTP Code 404 "
       "Not Found - \\x1b[31mGone\\x07\nResults for " + page + ": URLs tested: 1. URL errors: 1."
       "\n\nEnd of test: ", "", textReport},
      // --recurse takes the other files of the directory too, as the dialog does.
      {{"--recurse", "--mask", kNoRows, Page("tree/top.htm", "")}, 0, "Testing: " + deep +
       "\nResults for " + deep + ": URLs tested: 1.", "", textReport},
      // A report not written fails the run with 4, rows or not: the replace
      // question answered No (no --yes), a directory that does not exist.
      {{"--html", "--report", report, page}, 4, "", "not written to " + report, textReport},
      {{"--mask", kNoRows, "--report", dir / "no/r.txt", page}, 4, "", "not written to " + dir /
       "no/r.txt", textReport},
      {{"--repair", "1", locked}, 3, "", "The URL Repair failed in file: " + locked, textReport},
      {{"--yes", "--html", "--report", report, page}, 1, "", "", "<HTML>\n<HEAD>\n<TITLE>Linkward"},
      {{"--yes", "--format", "json", "--report", report, page}, 1, "", "", "{\"rows\": [\n"},
      {{"--yes", "--format", "csv", "--report", report, page}, 1, "", "", "URL,Reason,Site Name,"},
      {{"--yes", "--format", "junit", "--report", report, page}, 1, "", "", "<?xml"},
      {{"--yes", "--timeout", "1", "--report", report, slow}, 1, "", "", "FILE: " + slow + "\n" +
       silent.Url() + "\tHost Took Too Long to Respond\tS\n"},
      {{"--yes", "--full", "--max-age", "90m", "--root", dir / "site/root", "--exclude", "never",
        "--exclude", "^http://127\\.0\\.0\\.1:1/", "--mask", std::string(21, '1'), "--repair", "3",
        "--report", report, full}, 1, "Results for " + full + ": URLs tested: 2. URL errors: 2.",
       "All URL repairs completed", "FILE: " + full + "\n/there.htm#gone\tFragment Not Found\t"
       "Gone\tline 1\t"},
      {{"--yes", "--full", "--group", "target", "--report", report, full}, 1, "", "", "TARGET: "},
      // Every row Not Verified: 5.
      {{"--full", login}, 5, "Results for " + login +
       ": URLs tested: 1. URL errors: 0. Not verified: 1.", "", ""}};
  // clang-format on
  for (const auto& [args, wantStatus, wantOut, wantErr, start] : runs) {
    const auto begin = std::chrono::steady_clock::now();
    const auto [status, out, err] = Cli(args);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));  // --timeout 1
    EXPECT_EQ(status, wantStatus) << err;
    EXPECT_TRUE(Has(out, wantOut)) << out;
    EXPECT_EQ(out.find_first_of("\r\x1b"), std::string::npos) << out;  // nothing raw
    EXPECT_TRUE(Has(err, wantErr)) << err;
    EXPECT_EQ(ScratchDir::ReadFile(report).substr(0, start.size()), start) << args[1];
  }
  EXPECT_EQ(ScratchDir::ReadFile(full), links + Link(moving.Url("/new"), "Old"));
  TempSettings stored(dir / "config/linkward");  // --mask and --timeout: this run only
  EXPECT_EQ(stored.Store().GetString("Settings", "Filter", "<unset>"), "<unset>");
  EXPECT_EQ(stored.Store().GetString("Settings", "Timeout", "<unset>"), "<unset>");

  // "-": the report follows the log on standard output.
  const auto [status, out, err] = Cli({"--report", "-", page});
  EXPECT_EQ(status, 1) << err;
  const size_t end = out.find('\n', out.find("\nEnd of test: ") + 1);
  EXPECT_EQ(out.substr(end + 1), textReport) << out;
}

// A project file beside the page (or named with --config) holds options by
// their long names, the command line winning, with paths from its own
// directory; a fault in it names the file and line and stops the run with 2.
TEST_F(CliTest, ProjectFileGivesOptionsAndItsFaultsStopTheRun) {
  ::mkdir((dir / "site/proj").c_str(), 0700);
  const std::string page =
      Page("proj/index.htm", Link("http://127.0.0.1:1/a", "A") + Link("gone.htm", "G"));
  const std::string toml = dir / "site/proj/linkward.toml";
  const std::string report = dir / "site/proj/out.json";
  ScratchDir::WriteBytes(toml,
                         "full = true\nformat = \"json\"\nreport = \"out.json\"\n"
                         "skip = [\"^http://127\\\\.0\\\\.0\\\\.1:1/\"]\naccept = [403, \"200-299\"]\n"
                         "[hosts.\"Example.com\"]\n"
                         "headers = { Authorization = \"token ${LW_TEST_TOKEN}\" }\nlimit = 1\n");
  {
    ScopedEnv token{"LW_TEST_TOKEN", "abc"};
    auto [status, out, err] = Cli({page});
    EXPECT_EQ(status, 1) << err;
    EXPECT_TRUE(Has(out, "URLs tested: 1. URL errors: 1.")) << out;  // the remote link skipped
    EXPECT_EQ(ScratchDir::ReadFile(report).substr(0, 11), "{\"rows\": [\n");
    std::tie(status, out, err) = Cli({"--yes", "--format", "csv", page});
    EXPECT_EQ(status, 1) << err;
    EXPECT_EQ(ScratchDir::ReadFile(report).substr(0, 4), "URL,");
  }
  // clang-format off
  const std::pair<std::string, std::string> faults[] = {
      {"full = true\njobs = 300\n", toml + ", line 2: --jobs needs a number from 1 to 256"},
      {"full = true\n[hosts.\"a.test\"]\nheaders = { X = \"${LW_UNSET_NAME}\" }\n",
       toml + ", line 3: the environment variable LW_UNSET_NAME is not set"},
      {"full = true\n[hosts.\"a.test\"]\nheaders = { \"X\\nY\" = \"1\" }\n",
       toml + ", line 3: \"X\\x0aY\" is not a header name"},
      {"full = true\nmask = \"01\n", toml + ", line 2: "},
      {"ful = true\n", toml + ", line 1: unknown key \"ful\""},
      {"full = true\nrepair = 2\n", toml + ": \"repair\" is taken only from a file named with --config"},
      {"jobs = 4\n", "need --full (the options of " + toml + " included)"}};
  // clang-format on
  for (const auto& [text, message] : faults) {
    ScratchDir::WriteBytes(toml, text);
    const auto [status, out, err] = Cli({page});
    EXPECT_EQ(status, 2) << text;
    EXPECT_TRUE(Has(err, message)) << err;
    EXPECT_EQ(out, "");
  }
  const auto [status, out, err] = Cli({"--config", dir / "none.toml", page});
  EXPECT_EQ(status, 2);
  EXPECT_TRUE(Has(err, "the project file " + dir / "none.toml" + " cannot be read")) << err;
  // Every option of the usage text has its key, but for the four that
  // only make sense on a command line.
  std::vector<std::string> keys = ProjectFileKeys();
  keys.insert(keys.end(), {"help", "version", "config", "restore"});
  for (const char* at = CLI_USAGE; (at = std::strstr(at, "\n  --")); ++at) {
    const std::string name(at + 5, std::strcspn(at + 5, " \n"));
    EXPECT_NE(std::find(keys.begin(), keys.end(), name), keys.end()) << name;
  }
}

// A damaged settings file is told, kept aside, and the run goes on.
TEST_F(CliTest, ADamagedSettingsFileIsToldAndKept) {
  ::mkdir((dir / "config/linkward").c_str(), 0700);
  const std::string db = dir.WriteFile("config/linkward/registry.db", std::string(3000, 'x'));
  const auto [status, out, err] = Cli({"--mask", kNoRows, Page("p.htm", "")});
  EXPECT_EQ(status, 0) << err;
  EXPECT_TRUE(Has(err, "linkward-cli: the settings file " + db + " is damaged; it is kept as " +
                           db + ".bad-"))
      << err;
  const std::string kept = err.substr(err.find(" as ") + 4, err.find(" and ") - err.find(" as ") - 4);
  EXPECT_EQ(ScratchDir::ReadFile(kept), std::string(3000, 'x'));
}

TEST_F(CliTest, TheFullCheckRemembersBrokenLinksBetweenRuns) {
  ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").c_str());
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  LoopbackServer sound(LoopbackServer::Reply("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"));
  const std::string page =
      Page("index.htm", Link(server.Url("/gone"), "G") + Link(sound.Url("/fine"), "F"));
  char today[16];
  const std::time_t now = std::time(nullptr);
  std::strftime(today, sizeof today, "%Y-%m-%d", std::localtime(&now));
  const std::string row = "  " + server.Url("/gone") + " - HTTP Code 404 Not Found - G";
  const std::pair<std::vector<std::string>, std::string> runs[] = {
      {{"--full", page}, row + "\n"},
      {{"--full", page}, row + " [broken since " + today + "]\n"},
      {{"--full", "--no-cache", page}, row + "\n"}};
  for (const auto& [args, listed] : runs) {
    const auto [status, out, err] = Cli(args);
    EXPECT_EQ(status, 1) << err;
    EXPECT_TRUE(Has(out, listed)) << out;
  }
  // The sound link is asked in the first run and with --no-cache only; the
  // broken one (HEAD, then GET) in every run.
  EXPECT_EQ(sound.Requests().size(), 2u);
  EXPECT_EQ(server.Requests().size(), 6u);
}

TEST_F(CliTest, InterruptStopsTheTestAndStillReports) {
  // Ctrl-C after the first row, while the connect to the second link waits
  // for an answer that never comes (up to the wait limit, 15 s). Type 2
  // repairs nothing after a stop, but its list still gets the rows.
  LoopbackServer fast(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  auto full = LoopbackServer::NeverAccepting();
  const std::string links = Link(fast.Url("/a"), "A") + Link(full.Url(), "W");
  const std::string page = Page("index.htm", links);
  std::thread interrupter([&, program = pthread_self()] {
    for (int i = 0; i < 1000 && !Has(ScratchDir::ReadFile(dir / "stdout"), "Not Found - A\n"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::pthread_kill(program, SIGINT);
  });
  const auto [status, out, err] = Cli({"--repair", "2", "--report", dir / "partial.txt", page});
  interrupter.join();
  EXPECT_EQ(status, 130) << err;
  EXPECT_TRUE(Has(out, "Not Found - A\nTesting Stopped by User\n")) << out;
  EXPECT_FALSE(Has(out, "End of test"));
  EXPECT_EQ(ScratchDir::ReadFile(dir / "partial.txt"),
            "FILE: " + page + "\n" + fast.Url("/a") + "\tHTTP Code 404 Not Found\tA\n");
  EXPECT_EQ(ScratchDir::ReadFile(page), links);
}

// What the run could not do is said, and the exit status says it too: a
// failed scratch copy (5), a link too long to be read (named), a page whose
// path is too long (5), a log that cannot be written (6).
TEST_F(CliTest, FailuresAreNamedNotPassedOffAsClean) {
  const std::string page = Page("index.htm", Link("http://127.0.0.1:1/" + std::string(1000, 'u'), "L") +
                                                 Link("http://127.0.0.1:1/t", std::string(1000, 't')));
  auto [status, out, err] = Cli({"--mask", kNoRows, page});
  EXPECT_EQ(status, 0) << err;
  EXPECT_TRUE(Has(out, "Testing: " + page + "\nNot tested in " + page +
                           ", too long to read: http://127.0.0.1:1/uuuu")) << out;
  EXPECT_TRUE(Has(out, "...\nNot tested in " + page +
                           ", too long to read: http://127.0.0.1:1/t\">tttt")) << out;

  const std::string scratch = appdirs::RuntimeDir() + "/urltmp~2";
  ASSERT_EQ(::mkdir(scratch.c_str(), 0700), 0);  // no scratch copy can be written there
  std::tie(status, out, err) = Cli({"--mask", kNoRows, page});
  ::rmdir(scratch.c_str());
  EXPECT_EQ(status, 6);
  EXPECT_TRUE(Has(out, "The links of " + page + " were not tested: its scratch copy failed (Is a "
                       "directory)\nResults for " + page + ": URLs tested: 0.")) << out;
  EXPECT_TRUE(Has(err, "1 file(s) or directories could not be tested")) << err;

  // site/deep/ddd.../ddd.../page.htm, its path past PATH_MAX.
  int fd = ::open((dir / "site").c_str(), O_RDONLY | O_DIRECTORY);
  std::string deep = dir / "site";
  for (int i = 0; i < 18; ++i) {
    const std::string name(240, static_cast<char>('a' + i));
    ASSERT_EQ(::mkdirat(fd, name.c_str(), 0700), 0);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    deep += "/" + name;
  }
  ::close(::openat(fd, "page.htm", O_WRONLY | O_CREAT, 0600));
  ::close(fd);
  std::tie(status, out, err) = Cli({"--recurse", "--mask", kNoRows, page});
  EXPECT_EQ(status, 6);
  EXPECT_TRUE(Has(out, "\nLeft out, its path is longer than 4095 bytes: " + deep.substr(0, 4090)))
      << out.substr(0, 300);
  // The tree is taken apart from the inside, where every path is short.
  ASSERT_EQ(::chdir((dir / "site").c_str()), 0);
  for (int i = 0; i < 18; ++i) ASSERT_EQ(::chdir(std::string(240, 'a' + i).c_str()), 0);
  ::unlink("page.htm");
  for (int i = 17; i >= 0; --i) {
    ASSERT_EQ(::chdir(".."), 0);
    ::rmdir(std::string(240, 'a' + i).c_str());
  }
  ASSERT_EQ(::chdir("/"), 0);

  const std::vector<const char*> argv = {"linkward-cli", "--mask", kNoRows.c_str(), page.c_str()};
  std::FILE* full = std::fopen("/dev/full", "w");
  std::FILE* errors = std::fopen((dir / "stderr").c_str(), "w");
  EXPECT_EQ(RunCli(static_cast<int>(argv.size()), argv.data(), full, errors), 7);
  std::fclose(full);
  std::fclose(errors);
  EXPECT_TRUE(Has(ScratchDir::ReadFile(dir / "stderr"), "the log could not be written"));
}

// --dry-run prints the diff and changes nothing; --restore puts the backups
// of the walk back; Ctrl-C in the pass stops before the next file with 130.
TEST_F(CliTest, DryRunRestoreAndInterruptedRepair) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  const std::string url = server.Url("/gone");
  const std::string a = Page("a.htm", "<p>\n" + Link(url, "A"));
  const std::string b = Page("b.htm", Link(url, "B") + "</html>\n");
  auto [status, out, err] = Cli({"--all-files", "--repair", "2", "--dry-run", a});
  const std::string c = Page("c.htm", Link(url, "C"));
  EXPECT_EQ(status, 1) << err;
  const std::string name = a.substr(1), bName = b.substr(1);
  EXPECT_TRUE(Has(out, "End of test: ")) << out;
  EXPECT_TRUE(Has(out, "--- a/" + name + "\n+++ b/" + name + "\n@@ -1,2 +1,1 @@\n <p>\n-" +
                           Link(url, "A") + "--- a/" + bName + "\n+++ b/" + bName +
                           "\n@@ -1,2 +1,1 @@\n-" + Link(url, "B") + " </html>\n")) << out;
  EXPECT_EQ(ScratchDir::ReadFile(a) + ScratchDir::ReadFile(b),
            "<p>\n" + Link(url, "A") + Link(url, "B") + "</html>\n");
  EXPECT_NE(::access((dir / "site/a.rep").c_str(), F_OK), 0);

  // a.htm has another name outside the walk: the pass tells of it (as it
  // goes on to b.htm), and a Ctrl-C then stops the pass before c.htm.
  ASSERT_EQ(::link(a.c_str(), (dir / "a-link").c_str()), 0);
  cookie_io_functions_t interrupting{};
  interrupting.write = [](void* text, const char* data, size_t size) -> ssize_t {
    static_cast<std::string*>(text)->append(data, size);
    if (Has(std::string(data, size), "hard links")) ::raise(SIGINT);
    return static_cast<ssize_t>(size);
  };
  std::string errText;
  const std::vector<const char*> argv = {"linkward-cli", "--all-files", "--repair", "0", a.c_str()};
  std::FILE* output = std::fopen((dir / "stdout").c_str(), "w");
  std::FILE* errors = ::fopencookie(&errText, "w", interrupting);
  std::setvbuf(errors, nullptr, _IONBF, 0);
  EXPECT_EQ(RunCli(static_cast<int>(argv.size()), argv.data(), output, errors), 130);
  std::fclose(output);
  std::fclose(errors);
  EXPECT_TRUE(Has(errText, "the repair was interrupted by Ctrl-C: 2 of 3 files were repaired"))
      << errText;
  EXPECT_EQ(ScratchDir::ReadFile(a), "<p>\n<!--" + Link(url, "A").substr(0, Link(url, "A").size() - 1) +
                                         "-->\n");
  EXPECT_EQ(ScratchDir::ReadFile(c), Link(url, "C"));
  // The backups made are not pages to test for a repair.
  std::tie(status, out, err) = Cli({"--all-files", "--repair", "1", "--dry-run", a});
  EXPECT_TRUE(Has(out, "Testing: " + c + "\n") && !Has(out, ".rep\n")) << out;

  // The backups of a.htm and b.htm go back; c.htm has none; a backup cut
  // short is refused.
  std::tie(status, out, err) = Cli({"--all-files", "--restore", a});
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(out, "Restored: " + a + " from " + dir / "site/a.rep" + "\nRestored: " + b +
                     " from " + dir / "site/b.rep" + "\n");
  EXPECT_EQ(ScratchDir::ReadFile(a) + ScratchDir::ReadFile(b),
            "<p>\n" + Link(url, "A") + Link(url, "B") + "</html>\n");
  ::unlink((dir / "site/b.rep").c_str());
  dir.WriteFile("site/b.rep", Link(url, "B"));
  std::tie(status, out, err) = Cli({"--restore", b});
  EXPECT_EQ(status, 3);
  EXPECT_EQ(out, "Not restored: " + b + ": its backup " + dir / "site/b.rep" +
                     " looks incomplete (it does not end with </html> as the page does)\n");
  dir.WriteFile("site/b.rep", "notes of my own\n</html>\n");
  std::tie(status, out, err) = Cli({"--restore", b});
  EXPECT_EQ(status, 3);
  EXPECT_TRUE(Has(out, "(it carries no backup mark and does not look like an earlier copy"));
  EXPECT_EQ(ScratchDir::ReadFile(b), Link(url, "B") + "</html>\n");
  std::tie(status, out, err) = Cli({"--restore", Page("c.htm", "")});
  EXPECT_EQ(status, 2);
  EXPECT_TRUE(Has(err, "no backup was found"));
}

// A README.md repaired end to end: the full check lists its broken links as
// written, the preview shows the diff, the repair points them at the page.
TEST_F(CliTest, RepairsAMarkdownPage) {
  const std::string source = "# Read me\nSee [gone](missing.html) and [ok](README.md#read-me).\n\n"
                             "[r]: other.md\nUse [r].\n";
  const std::string page = Page("README.md", source);
  auto [status, out, err] = Cli({"--full", "--yes", "--repair", "1", "--dry-run", page});
  EXPECT_EQ(status, 1) << err;
  const std::string name = page.substr(1);
  EXPECT_TRUE(Has(out, "--- a/" + name + "\n+++ b/" + name + "\n@@ -1,5 +1,5 @@\n # Read me\n"
                       "-See [gone](missing.html) and [ok](README.md#read-me).\n"
                       "+See [gone](README.md)<!--missing.html--> and [ok](README.md#read-me).\n \n"
                       "-[r]: other.md\n+[r]: README.md\n Use [r].\n")) << out;
  EXPECT_EQ(ScratchDir::ReadFile(page), source);
  std::tie(status, out, err) = Cli({"--full", "--yes", "--repair", "1", page});
  EXPECT_EQ(status, 1) << err;
  EXPECT_TRUE(Has(err, "All URL repairs completed")) << err;
  EXPECT_EQ(ScratchDir::ReadFile(page),
            "# Read me\nSee [gone](README.md)<!--missing.html--> and [ok](README.md#read-me).\n\n"
            "[r]: README.md\nUse [r].\n");
  EXPECT_EQ(ScratchDir::ReadFile(dir / "site/README.rep"), source);
}

// --repair 4 after a full check that asked a loopback archive service: the
// preview, then the repair, of the one broken link the service has a copy of.
TEST_F(CliTest, RepairPointsBrokenLinksAtTheirArchivedCopy) {
  ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").c_str());
  LoopbackServer site(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  const std::string gone = site.Url("/gone"), lost = site.Url("/lost");
  const std::string copy = "http://web.archive.org/web/2001/" + gone;
  LoopbackServer archive(LoopbackServer::Script{.replyFor = [copy](const std::string& request) {
    const std::string body =
        Has(request, "gone") ? R"({"archived_snapshots": {"closest": {"available": true, "url": ")" +
                                   copy + "\"}}}"
                             : R"({"archived_snapshots": {}})";
    return "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
  }});
  const std::string source = "<p>\n" + Link(gone, "G") + Link(lost, "L");
  const std::string page = Page("index.htm", source);
  const std::string told = "1 listed link(s) have no archived copy and were left as they are.";
  const std::vector<std::string> args = {"--full", "--suggest-archive", "--archive-endpoint",
                                         archive.Url("/wayback/available"), "--repair", "4"};
  std::vector<std::string> preview = args;
  preview.insert(preview.end(), {"--dry-run", page});
  auto [status, out, err] = Cli(preview);
  EXPECT_EQ(status, 1) << err;
  const std::string name = page.substr(1);
  EXPECT_TRUE(Has(out, "--- a/" + name + "\n+++ b/" + name + "\n@@ -1,3 +1,3 @@\n <p>\n-" +
                           Link(gone, "G") + "+" + Link(copy, "G") + " " + Link(lost, "L")))
      << out;
  EXPECT_TRUE(Has(err, told)) << err;
  EXPECT_EQ(ScratchDir::ReadFile(page), source);

  std::vector<std::string> repair = args;
  repair.push_back(page);
  std::tie(status, out, err) = Cli(repair);
  EXPECT_EQ(status, 1) << err;
  EXPECT_TRUE(Has(err, told + "\nAll URL repairs completed\n")) << err;
  EXPECT_EQ(ScratchDir::ReadFile(page), "<p>\n" + Link(copy, "G") + Link(lost, "L"));
}

// A file or a directory of the walk that cannot be read is named (5), not
// reported clean or left out without a word. Run by a user who cannot read
// them (the superuser reads everything, so the run drops to "nobody").
TEST_F(CliTest, UnreadableFilesAndDirectoriesAreNamed) {
  const std::string page = Page("index.htm", "");
  const std::string locked = Page("locked.htm", Link("http://127.0.0.1:1/", "x"));
  ::mkdir((dir / "site/closed").c_str(), 0700);
  Page("closed/inner.htm", "");
  for (const char* path : {"", "site", "config", "runtime"}) ::chmod((dir / path).c_str(), 0777);
  ::chmod(locked.c_str(), 0);
  ::chmod((dir / "site/closed").c_str(), 0333);  // writable, not readable
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    _exit(std::get<0>(Cli({"--recurse", "--mask", kNoRows, page})));
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 6);
  const std::string out = ScratchDir::ReadFile(dir / "stdout");
  EXPECT_TRUE(Has(out, "\nCannot read the directory " + dir / "site/closed" + ": Permission denied\n"))
      << out;
  EXPECT_TRUE(Has(out, "Testing: " + locked + "\nCannot read " + locked + ": Permission denied\n"))
      << out;
}

}  // namespace
