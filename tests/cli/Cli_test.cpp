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
#include <string>
#include <thread>
#include <vector>

#include "support/LoopbackServer.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

extern char** environ;

namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    ::mkdir((dir / "config").c_str(), 0700);
    ::mkdir((dir / "runtime").c_str(), 0700);
    ::mkdir((dir / "site").c_str(), 0700);
  }

  std::vector<std::string> Environment() const {
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + (dir / "config"),
                                    "XDG_RUNTIME_DIR=" + (dir / "runtime"), "HOME=" + dir.Path(),
                                    "PATH=/usr/bin:/bin"};
    return env;
  }

  // Starts the program with stdout and stderr going to files; returns its pid.
  pid_t Start(const std::vector<std::string>& args) {
    std::vector<std::string> argStrings = {LINKWARD_CLI_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = Environment();
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (dir / "stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (dir / "stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  CliRun Finish(pid_t pid) {
    CliRun run;
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    run.out = ScratchDir::ReadFile(dir / "stdout");
    run.err = ScratchDir::ReadFile(dir / "stderr");
    return run;
  }

  CliRun Cli(const std::vector<std::string>& args) { return Finish(Start(args)); }

  std::string Page(const std::string& name, const std::string& body) {
    return dir.WriteFile("site/" + name, body);
  }

  // The stored settings the program uses.
  std::string StoredString(const std::string& section, const std::string& name) {
    TempSettings stored(dir / "config/linkward");
    return stored.Store().GetString(section, name, "<unset>");
  }

  ScratchDir dir;
};

std::string Link(const LoopbackServer& server, const std::string& path, const std::string& text) {
  return "<a href=\"http://127.0.0.1:" + server.PortText() + path + "\">" + text + "</a>\n";
}

TEST_F(CliTest, HelpAndUsageErrors) {
  CliRun help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: linkward-cli"), std::string::npos);
  EXPECT_NE(help.out.find("--report FILE"), std::string::npos);

  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--mask", "0101", "x.htm"},
      {"--mask", "01111111111111111111x", "x.htm"},
      {"--timeout", "0", "x.htm"},
      {"--timeout", "abc", "x.htm"},
      {"--html", "x.htm"},
      {"--repair", "2", "x.htm"},
      {"--repair", "3", "x.htm"},
      {"--bogus", "x.htm"},
      {"a.htm", "b.htm"},
  };
  for (const auto& args : bad) {
    CliRun run = Cli(args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_NE(run.err.find("Usage:"), std::string::npos);
    EXPECT_TRUE(run.out.empty());
  }
}

TEST_F(CliTest, MissingFileAndNoFilesFoundExitWithTwo) {
  CliRun missing = Cli({(dir / "site/none.htm")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("The chosen file does not exist"), std::string::npos);
  EXPECT_TRUE(missing.out.empty());

  std::string notes = Page("notes.txt", "");
  CliRun none = Cli({"--all-files", "--filter", notes});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("No files found.\n\nWas your filter option set correctly?"),
            std::string::npos);
}

TEST_F(CliTest, TestWithRowsWritesLogReportAndExitsWithOne) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  std::string page = Page("index.htm", Link(server, "/gone", "Gone"));
  std::string report = dir / "report.txt";
  CliRun run = Cli({"--report", report, page});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
  EXPECT_EQ(run.out.rfind("Start of test ", 0), 0u);
  EXPECT_NE(run.out.find("\n\nTesting: " + page + "\nResults for " + page +
                         ": URLs tested: 1. URL errors: 1.\n\nEnd of test: "),
            std::string::npos)
      << run.out;
  EXPECT_EQ(ScratchDir::ReadFile(report), "FILE: " + page +
                                              "\nhttp://127.0.0.1:" + server.PortText() +
                                              "/gone\tHTTP Code 404 Not Found\tGone\n");
  EXPECT_EQ(StoredString("FileSel", "Starter"), page);

  // The same report again: the replace question is answered No without --yes.
  CliRun again = Cli({"--html", "--report", report, page});
  EXPECT_NE(again.err.find("This file already exists"), std::string::npos);
  EXPECT_EQ(ScratchDir::ReadFile(report).rfind("FILE: ", 0), 0u);
  CliRun yes = Cli({"--yes", "--html", "--report", report, page});
  EXPECT_EQ(yes.status, 1);
  EXPECT_EQ(ScratchDir::ReadFile(report).rfind("<HTML>\n<HEAD>\n<TITLE>Linkward Results", 0), 0u);
}

TEST_F(CliTest, MaskAndTimeoutApplyToThisRunOnly) {
  LoopbackServer notFound(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  std::string page = Page("index.htm", Link(notFound, "/x", "x"));
  CliRun quiet = Cli({"--mask", std::string(21, '0'), page});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(StoredString("Settings", "Filter"), "<unset>");

  LoopbackServer silent(LoopbackServer::NeverAnswer());
  std::string slow = Page("slow.htm", Link(silent, "/", "Slow"));
  std::string report = dir / "slow.txt";
  auto start = std::chrono::steady_clock::now();
  CliRun run = Cli({"--timeout", "1", "--report", report, slow});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(ScratchDir::ReadFile(report).find("Host Took Too Long to Respond"), std::string::npos);
  EXPECT_EQ(StoredString("Settings", "Timeout"), "<unset>");
}

TEST_F(CliTest, RepairRewritesFilesAndStopsWithThree) {
  LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  std::string line = Link(server, "/gone", "Gone");
  std::string page = Page("index.htm", "<p>\n" + line);
  CliRun run = Cli({"--repair", "0", page});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("All URL repairs completed"), std::string::npos);
  EXPECT_EQ(ScratchDir::ReadFile(page), "<p>\n<!--" + line.substr(0, line.size() - 1) + "-->\n");
  EXPECT_EQ(ScratchDir::ReadFile(dir / "site/index.rep"), "<p>\n" + line);

  // Type 2 removes the line and writes the list of bad URLs to the report.
  std::string other = Page("other.htm", "<p>\n" + line);
  std::string report = dir / "bad.txt";
  CliRun removed = Cli({"--repair", "2", "--report", report, other});
  EXPECT_EQ(removed.status, 1) << removed.err;
  EXPECT_EQ(ScratchDir::ReadFile(other), "<p>\n");
  EXPECT_NE(ScratchDir::ReadFile(report).find("/gone\tHTTP Code 404 Not Found\tGone"),
            std::string::npos);
}

TEST_F(CliTest, RepairStopNamesFileAndUrl) {
  // The server deletes the page while answering, so the repair cannot open it.
  std::string page;
  LoopbackServer server([&](int) {
    LoopbackServer::Script s;
    s.replyFor = [&](const std::string&) {
      ::unlink(page.c_str());
      return std::string("HTTP/1.0 500 Oops\r\n\r\n");
    };
    return s;
  });
  page = Page("index.htm", Link(server, "/", "Broken"));
  CliRun run = Cli({"--repair", "1", page});
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_NE(run.err.find("The URL Repair failed in file: " + page), std::string::npos) << run.err;
}

TEST_F(CliTest, InterruptStopsTheTestAndStillReports) {
  LoopbackServer fast(LoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  LoopbackServer silent(LoopbackServer::NeverAnswer());
  std::string page = Page("index.htm", Link(fast, "/a", "A") + Link(silent, "/b", "B"));
  std::string report = dir / "partial.txt";
  pid_t pid = Start({"--report", report, page});
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(silent.WaitForRequests(1, 10000));
  ::kill(pid, SIGINT);
  CliRun run = Finish(pid);
  EXPECT_EQ(run.status, 130);
  EXPECT_NE(run.out.find("Testing Stopped by User\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("End of test"), std::string::npos);
  std::string written = ScratchDir::ReadFile(report);
  EXPECT_NE(written.find("/a\tHTTP Code 404 Not Found\tA"), std::string::npos);
  EXPECT_EQ(written.find("/b\t"), std::string::npos);
}

}  // namespace
