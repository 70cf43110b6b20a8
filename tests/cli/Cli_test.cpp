// linkward-cli run as a user runs it: the real binary, its output, its
// report files and its exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "support/LoopbackServer.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

using namespace linkward;

namespace {

struct CliRun {
  int status = -1;
  std::string out, err;
};

const std::string k404 = "HTTP/1.0 404 Not Found\r\n\r\n";

class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    for (const char* sub : {"config", "runtime", "site"}) ::mkdir((dir / sub).c_str(), 0700);
  }

  // Starts the program with stdout and stderr going to files; returns its pid.
  pid_t Start(std::vector<std::string> args) {
    args.insert(args.begin(), LINKWARD_CLI_PATH);
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + (dir / "config"),
                                    "XDG_RUNTIME_DIR=" + runtimeDir, "HOME=" + home,
                                    "PATH=/usr/bin:/bin"};
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    for (const auto& [fd, name] : {std::pair{1, "stdout"}, {2, "stderr"}})
      posix_spawn_file_actions_addopen(&actions, fd, (dir / name).c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  CliRun Finish(pid_t pid) {
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus),
            ScratchDir::ReadFile(dir / "stdout"), ScratchDir::ReadFile(dir / "stderr")};
  }

  CliRun Cli(const std::vector<std::string>& args) { return Finish(Start(args)); }

  // Waits until the program's standard output holds text.
  bool WaitForOutput(const std::string& text) {
    for (int i = 0; i < 1000; ++i) {
      if (ScratchDir::ReadFile(dir / "stdout").find(text) != std::string::npos) return true;
      ::usleep(10'000);
    }
    return false;
  }

  std::string Page(const std::string& name, const std::string& body) {
    return dir.WriteFile("site/" + name, body);
  }

  // A setting as the program stored it.
  std::string Stored(const std::string& section, const std::string& name) {
    TempSettings stored(dir / "config/linkward");
    return stored.Store().GetString(section, name, "<unset>");
  }

  ScratchDir dir;
  std::string runtimeDir = dir / "runtime";
  std::string home = dir.Path();
};

std::string Link(const LoopbackServer& server, const std::string& path, const std::string& text) {
  return "<a href=\"http://127.0.0.1:" + server.PortText() + path + "\">" + text + "</a>\n";
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(CliTest, HelpAndErrorsThatStopBeforeATest) {
  CliRun help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(Has(help.out, "Usage: linkward-cli")) << help.out;
  const std::string version = "linkward-cli, Linkward Version " LINKWARD_VERSION "\n";
  EXPECT_EQ(help.out.substr(0, version.size()), version);
  EXPECT_EQ(Cli({"--version"}).out, version);

  const std::string notes = Page("notes.txt", "");
  const std::string page = dir.WriteFile("page.htm", "<a href=\"http://127.0.0.1:1/\">x</a>\n");
  const std::string taken = dir.WriteFile("taken.txt", "old list");
  const std::string usage = "Usage:";
  // clang-format off
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, usage}, {{"--mask", "0101", "x.htm"}, usage},
      {{"--mask", "01111111111111111111x", "x.htm"}, usage}, {{"--timeout", "0", "x.htm"}, usage},
      {{"--timeout", "abc", "x.htm"}, usage}, {{"--html", "x.htm"}, usage},
      {{"--repair", "2", "x.htm"}, usage}, {{"--repair", "4", "x.htm"}, usage},
      {{"--bogus", "x.htm"}, usage}, {{"a.htm", "b.htm"}, usage},
      {{"--format", "json", "x.htm"}, "--format needs --report FILE"},
      {{"--format", "xml", "--report", "r", "x.htm"}, usage}, {{"--format"}, usage},
      {{"--full", "--jobs", "0", "x.htm"}, usage}, {{"--full", "--per-host", "17", "x.htm"}, usage},
      {{"--root", dir.Path(), "x.htm"}, usage}, {{"--exclude", "x", "x.htm"}, usage},
      {{"--full", "--exclude", "a(b", "x.htm"}, "\"a(b\" is not one"},
      {{dir / "site/none.htm"}, "The chosen file does not exist"},
      {{"--all-files", "--filter", notes},
       "No files found.\n\nWas your filter option set correctly?"},
      // Type 2 removes lines: it starts only when their list can be written.
      {{"--repair", "2", "--report", dir / "no/such/bad.txt", page},
       "the report " + dir / "no/such/bad.txt" + " cannot be created"},
      {{"--repair", "2", "--report", taken, page}, "already exists (--yes replaces it)"},
      {{"--repair", "2", "--report", dir / "site", page}, "is not a regular file"}};
  // clang-format on
  for (const auto& [args, err] : cases) {
    CliRun run = Cli(args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_TRUE(Has(run.err, err)) << run.err;
    EXPECT_TRUE(run.out.empty());
  }
  EXPECT_EQ(ScratchDir::ReadFile(taken), "old list");
  EXPECT_FALSE(Has(ScratchDir::ReadFile(page), "<!--"));
  EXPECT_NE(::access((dir / "page.rep").c_str(), F_OK), 0);

  // No private scratch directory can be made: no test, and the user is told.
  runtimeDir = home = dir.WriteFile("plain", "");
  CliRun noScratch = Cli({page});
  EXPECT_EQ(noScratch.status, 2);
  EXPECT_TRUE(Has(noScratch.err, "no private scratch directory could be made")) << noScratch.err;
  EXPECT_TRUE(noScratch.out.empty()) << noScratch.out;
}

TEST_F(CliTest, RowsAreListedUnderTheirFileAndReportsWrittenOrFailedLoudly) {
  LoopbackServer server(LoopbackServer::Reply(k404));
  std::string page = Page("index.htm", Link(server, "/gone", "\x1b[31mGone\x07"));
  std::string url = "http://127.0.0.1:" + server.PortText() + "/gone";
  std::string report = dir / "report.txt";
  const std::string textReport =
      "FILE: " + page + "\n" + url + "\tHTTP Code 404 Not Found\t" + "\x1b[31mGone\x07\n";
  CliRun run = Cli({"--report", report, page});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
  EXPECT_TRUE(Has(run.out, "\n\nTesting: " + page + "\n  " + url +
                               " - HTTP Code 404 Not Found - \\x1b[31mGone\\x07\nResults for " +
                               page + ": URLs tested: 1. URL errors: 1.\n\nEnd of test: "))
      << run.out;
  EXPECT_FALSE(Has(run.out, "\x1b"));
  EXPECT_EQ(ScratchDir::ReadFile(report), textReport);  // files keep the page's bytes
  EXPECT_EQ(Stored("FileSel", "Starter"), page);

  // "-": the report follows the log on standard output.
  CliRun toStdout = Cli({"--report", "-", page});
  EXPECT_EQ(toStdout.status, 1) << toStdout.err;
  const size_t end = toStdout.out.find('\n', toStdout.out.find("\nEnd of test: ") + 1);
  EXPECT_EQ(toStdout.out.substr(end + 1), textReport) << toStdout.out;

  // A report not written fails the run with 4, rows or not: the replace
  // question answered No (no --yes), a directory that does not exist.
  const struct {
    std::vector<std::string> args;
    std::string path;
  } failures[] = {
      {{"--html", "--report", report, page}, report},
      {{"--mask", std::string(21, '0'), "--report", dir / "no/r.txt", page}, dir / "no/r.txt"}};
  for (const auto& [args, path] : failures) {
    CliRun failed = Cli(args);
    EXPECT_EQ(failed.status, 4) << failed.err;
    EXPECT_TRUE(Has(failed.err, "the report was not written to " + path)) << failed.err;
  }
  EXPECT_EQ(ScratchDir::ReadFile(report), textReport);
  EXPECT_EQ(Cli({"--yes", "--html", "--report", report, page}).status, 1);
  EXPECT_EQ(ScratchDir::ReadFile(report).rfind("<HTML>\n<HEAD>\n<TITLE>Linkward Results", 0), 0u);

  // The formats for other tools; the row carries the status code.
  const std::pair<const char*, std::string> formats[] = {
      {"json",
       "{\"rows\": [\n  {\"url\": \"" + url +
           "\", \"reason\": \"HTTP Code 404 Not Found\", \"siteName\": \"\\u001b[31mGone\\u0007\", "
           "\"file\": \"" +
           page + "\", \"code\": 404}\n]}\n"},
      {"csv", "URL,Reason,Site Name,File Name\r\n"},
      {"junit", "<?xml"},
      {"text", "FILE: "}};
  for (const auto& [format, start] : formats) {
    EXPECT_EQ(Cli({"--yes", "--format", format, "--report", report, page}).status, 1);
    EXPECT_EQ(ScratchDir::ReadFile(report).substr(0, start.size()), start) << format;
  }
}

TEST_F(CliTest, FullCheckListsLocalLinksFromTheGivenRootAndSkipsTheExcluded) {
  ::mkdir((dir / "site/root").c_str(), 0700);
  Page("root/there.htm", "<p id=here>");
  std::string page = Page("index.htm",
                          "<a href=\"/there.htm#here\">Fine</a>\n"
                          "<a href=\"/there.htm#gone\">Gone</a>\n"
                          "<a href=\"missing.htm?a=1&amp;b=2\">Lost</a>\n"
                          "<a href=\"drafts/a.htm\">Draft</a>\n"
                          "<a href=\"http://127.0.0.1:1/x\">Closed</a>\n");
  {
    TempSettings stored(dir / "config/linkward");  // the stored list applies too
    stored.Store().SetString("Settings", "SkipLinks", "^file://.*/site/drafts/");
  }
  std::string report = dir / "report.txt";
  CliRun run = Cli({"--full", "--root", dir / "site/root", "--exclude", "never", "--exclude",
                    "^http://127\\.0\\.0\\.1:1/", "--report", report, page});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(Has(run.out, "Results for " + page + ": URLs tested: 3. URL errors: 2.")) << run.out;
  EXPECT_EQ(ScratchDir::ReadFile(report),
            "FILE: " + page +
                "\n/there.htm#gone\tFragment Not Found\tGone\n"
                "missing.htm?a=1&amp;b=2\tLocal File Not Found\tLost\n");
}

TEST_F(CliTest, OptionsApplyToThisRunOnly) {
  LoopbackServer notFound(LoopbackServer::Reply(k404));
  CliRun quiet = Cli({"--mask", std::string(21, '0'), Page("a.htm", Link(notFound, "/x", "x"))});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(Stored("Settings", "Filter"), "<unset>");

  // --recurse takes the other files of the directory too, as the dialog does.
  ::mkdir((dir / "site/sub").c_str(), 0700);
  std::string deep = dir.WriteFile("site/sub/deep.htm", Link(notFound, "/deep", "Deep"));
  CliRun recursed = Cli({"--recurse", Page("top.htm", "")});
  EXPECT_EQ(recursed.status, 1) << recursed.err;
  EXPECT_TRUE(Has(recursed.out, "Testing: " + deep + "\n  http://")) << recursed.out;

  LoopbackServer silent(LoopbackServer::NeverAnswer());
  std::string report = dir / "slow.txt";
  auto start = std::chrono::steady_clock::now();
  CliRun run = Cli({"--timeout", "1", "--report", report, Page("b.htm", Link(silent, "/", "S"))});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(ScratchDir::ReadFile(report), "Host Took Too Long to Respond"));
  EXPECT_EQ(Stored("Settings", "Timeout"), "<unset>");

}

TEST_F(CliTest, RepairRewritesFilesAndStopsWithThree) {
  LoopbackServer server(LoopbackServer::Reply(k404));
  std::string line = Link(server, "/gone", "Gone");
  std::string page = Page("index.htm", "<p>\n" + line);
  CliRun run = Cli({"--repair", "0", page});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(Has(run.err, "All URL repairs completed")) << run.err;
  EXPECT_EQ(ScratchDir::ReadFile(page), "<p>\n<!--" + line.substr(0, line.size() - 1) + "-->\n");

  // A page deleted while the server answers cannot be repaired: exit 3.
  std::string broken;
  LoopbackServer deleting([&](int) {
    LoopbackServer::Script s;
    s.replyFor = [&](const std::string&) {
      ::unlink(broken.c_str());
      return std::string("HTTP/1.0 500 Oops\r\n\r\n");
    };
    return s;
  });
  broken = Page("broken.htm", Link(deleting, "/", "Broken"));
  CliRun failed = Cli({"--repair", "1", broken});
  EXPECT_EQ(failed.status, 3) << failed.err;
  EXPECT_TRUE(Has(failed.err, "The URL Repair failed in file: " + broken)) << failed.err;

  // Type 3 after a full check: a link moved for good to a working page gets
  // its new address (which links qualify is the pass's own rule).
  LoopbackServer::Script moves;
  moves.replyFor = [](const std::string& request) {
    return request.find(" /old ") != std::string::npos
               ? "HTTP/1.0 301 Moved\r\nLocation: /new\r\n\r\n"
               : "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n";
  };
  LoopbackServer moving(moves);
  const std::string host = "http://127.0.0.1:" + moving.PortText();
  std::string movedPage = Page("moved.htm", "<a href=\"" + host + "/old\">Old</a>\n");
  CliRun moved = Cli({"--full", "--mask", std::string(21, '1'), "--repair", "3", movedPage});
  EXPECT_EQ(moved.status, 1) << moved.err;
  EXPECT_EQ(ScratchDir::ReadFile(movedPage), "<a href=\"" + host + "/new\">Old</a>\n");
}

TEST_F(CliTest, InterruptStopsTheTestAndStillReports) {
  LoopbackServer fast(LoopbackServer::Reply(k404));
  LoopbackServer silent(LoopbackServer::NeverAnswer());
  std::string line = Link(silent, "/b", "B");
  std::string page = Page("index.htm", Link(fast, "/a", "A") + line);
  std::string report = dir / "partial.txt";
  // Type 2 repairs nothing after a stop, but its list still gets the rows.
  pid_t pid = Start({"--repair", "2", "--report", report, page});
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(silent.WaitForRequests(1, 10000));
  ::kill(pid, SIGINT);
  CliRun run = Finish(pid);
  EXPECT_EQ(run.status, 130);
  EXPECT_TRUE(Has(run.out, "Testing Stopped by User\n")) << run.out;
  EXPECT_FALSE(Has(run.out, "End of test"));
  const std::string host = "http://127.0.0.1:" + fast.PortText();
  EXPECT_EQ(ScratchDir::ReadFile(report),
            "FILE: " + page + "\n" + host + "/a\tHTTP Code 404 Not Found\tA\n");
  EXPECT_EQ(ScratchDir::ReadFile(page), Link(fast, "/a", "A") + line);

  // Ctrl-C while a connect waits for an answer that never comes (60 s).
  FullListener full;
  std::string waiting = Page("wait.htm", "<a href=\"http://127.0.0.1:" + full.port + "/\">W</a>\n");
  ::unlink(report.c_str());
  pid = Start({"--timeout", "60", "--report", report, waiting});
  ASSERT_TRUE(WaitForOutput("Testing: " + waiting));
  ::kill(pid, SIGINT);
  run = Finish(pid);
  EXPECT_EQ(run.status, 130);
  EXPECT_TRUE(Has(run.out, "Testing: " + waiting + "\nTesting Stopped by User\n")) << run.out;
  EXPECT_EQ(ScratchDir::ReadFile(report), "");  // stopped, not timed out: no row
}

}  // namespace
