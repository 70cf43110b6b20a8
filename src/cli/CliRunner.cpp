#include "CliRunner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "ProjectFile.h"
#include "TerminalFrame.h"
#include "app/LinkwardApp.h"
#include "engine/LinkwardView.h"
#include "net/SocketWnd.h"
#include "platform/AppDirs.h"
#include "platform/PollEventLoop.h"

namespace linkward {

namespace {

volatile std::sig_atomic_t g_bInterrupted = 0;

void OnInterrupt(int) {
  g_bInterrupted = 1;
}

// Ctrl-C asks the run to stop; the poll loop wakes up (no restart of the
// interrupted wait) and the stop is handled on the loop's thread.
class InterruptGuard {
 public:
  InterruptGuard() {
    g_bInterrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &m_old);
  }
  ~InterruptGuard() {
    CSocketWnd::SetInterruptCheck(nullptr);
    ::sigaction(SIGINT, &m_old, nullptr);
  }

 private:
  struct sigaction m_old {};
};

bool Interrupted() {
  return g_bInterrupted != 0;
}

// Whether a report can be written at path without asking: a regular file
// that may be replaced (only with --yes, else the replace question would be
// answered No) and written to, or a new file that can be created there.
// Touches nothing that exists. On failure *why says what is wrong.
bool ReportWritable(const std::string& path, bool replace, std::string* why) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      *why = "is not a regular file";
    } else if (!replace) {
      *why = "already exists (--yes replaces it)";
    } else if (::access(path.c_str(), W_OK) != 0) {
      *why = "cannot be written to";
    } else {
      return true;
    }
    return false;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    *why = "cannot be created";
    return false;
  }
  ::close(fd);
  ::unlink(path.c_str());
  return true;
}

// The report on standard output; on a terminal its control characters
// (taken from pages) are shown escaped, like the log's. True when written.
bool WriteReportTo(CLinkwardView& view, const CliOptions& options, std::FILE* out) {
  char* bytes = nullptr;
  size_t size = 0;
  std::FILE* memory = ::open_memstream(&bytes, &size);
  if (!memory) return false;
  view.WriteReport(memory, options.reportFormat);
  std::fclose(memory);
  std::string report(bytes, size);
  std::free(bytes);
  if (::isatty(::fileno(out))) report = EscapeControls(report, "\n\t");
  std::fwrite(report.data(), 1, report.size(), out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

// The options of the command line on top of those of the project file.
// Returns 0, or the exit status of a fault (told on err).
int ReadOptions(int argc, const char* const* argv, CliOptions* options,
                std::vector<HostRule>* hostRules, std::FILE* err) {
  std::string error;
  CliOptions given;
  std::string path;  // the project file, if there is one
  if (ReadCliArgs(argc, argv, 1, &given, &error) && !given.help && !given.version) {
    path = FindProjectFile(given);
    ProjectFile project;
    if (!path.empty() && !LoadProjectFile(path, &project, &error)) {
      std::fprintf(err, "linkward-cli: %s\n", EscapeControls(error).c_str());
      return 2;
    }
    // A file that came with the pages, not one the user named, may not
    // change files on its own: a downloaded tree must not repair itself.
    if (!path.empty() && given.configPath.empty()) {
      for (const std::string& arg : project.args) {
        if (arg == "--repair" || arg == "--yes") {
          std::fprintf(err,
                       "linkward-cli: %s: \"%s\" is taken only from a file named with --config\n",
                       EscapeControls(path).c_str(), arg.c_str() + 2);
          return 2;
        }
      }
    }
    std::vector<const char*> args{argv[0]};
    for (const std::string& arg : project.args) args.push_back(arg.c_str());
    args.insert(args.end(), argv + 1, argv + argc);
    given = CliOptions();
    if (ReadCliArgs(static_cast<int>(args.size()), args.data(), 1, &given, &error))
      *hostRules = std::move(project.hostRules);
  }
  if (error.empty() && !CheckCliOptions(given, &error) && !path.empty())
    error += " (the options of " + path + " included)";
  if (!error.empty()) {
    std::fprintf(err, "linkward-cli: %s\n\n%s", EscapeControls(error).c_str(), CLI_USAGE);
    return 2;
  }
  *options = std::move(given);
  return 0;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  CliOptions options;
  std::vector<HostRule> hostRules;
  if (int status = ReadOptions(argc, argv, &options, &hostRules, err)) return status;
  if (options.help || options.version) {
    std::fputs("linkward-cli, Linkward Version " LINKWARD_VERSION "\n", out);
    if (options.help) std::fprintf(out, "\n%s", CLI_USAGE);
    return 0;
  }

  if (options.repairType == RepairType::RemoveLine && options.reportPath != "-") {
    // RemoveLine (type 2) removes lines from the pages; their list must be writable first.
    std::string why;
    if (!ReportWritable(options.reportPath, options.yes, &why)) {
      std::fprintf(err, "linkward-cli: the report %s %s; no file was tested or repaired\n",
                   EscapeControls(options.reportPath).c_str(), why.c_str());
      return 2;
    }
  }

  CLinkwardApp app;
  app.m_settingsNotice = [err](const std::string& text) {
    std::fprintf(err, "linkward-cli: %s\n", EscapeControls(text).c_str());
  };
  app.InitSettings();
  int status = 0;
  {
    CPollEventLoop loop;
    TerminalFrame frame(options, out, err, ::isatty(::fileno(err)) != 0);
    CLinkwardView view(*app.m_pSettings, frame, loop, appdirs::RuntimeDir());
    frame.ListRows(&view.Rows());
    if (options.hasMask) view.FilterMask() = options.mask;
    if (options.hasTimeout) view.SetWaitLimit(options.timeoutSeconds);
    if (options.full) {
      // The stored choices, with this run's own on top.
      FullCheckOptions full = view.GetFullCheckOptions();
      full.enabled = true;
      full.root = options.root;
      if (options.jobs != 0) full.maxTransfers = options.jobs;
      if (options.perHost != 0) full.maxPerHost = options.perHost;
      full.caFile = options.caFile;
      full.skipPatterns.insert(full.skipPatterns.end(), options.excludes.begin(),
                               options.excludes.end());
      if (!options.siteUrl.empty()) full.siteUrl = options.siteUrl;
      full.cleanUrls = options.cleanUrls;
      if (!options.indexNames.empty()) full.indexNames = options.indexNames;
      full.checkFragments = full.checkFragments || options.checkFragments;
      if (options.hasUserAgent) full.userAgent = options.userAgent;
      if (options.maxWaitSeconds >= 0) full.maxWaitMs = options.maxWaitSeconds * 1000;
      if (options.hasAccept) full.acceptCodes = options.acceptCodes;
      full.hostRules = hostRules;
      if (options.maxAgeSeconds >= 0) full.maxAgeSeconds = options.maxAgeSeconds;
      full.readHistory = !options.noCache;
      full.suggestArchive = options.suggestArchive;
      if (!options.archiveEndpoint.empty()) full.archiveEndpoint = options.archiveEndpoint;
      view.SetFullCheckOptions(full);
      view.SetReportGroup(options.reportGroup);
    }

    InterruptGuard guard;
    CSocketWnd::SetInterruptCheck(Interrupted);
    view.SetCancelCheck(Interrupted);  // a repair stops before the next file
    view.OnSelectFiles();
    if (!view.IsTestRunning()) {
      status = 2;  // the chosen file does not exist, no file was found, or no scratch directory
    } else {
      loop.RunUntil([&] { return Interrupted() || !view.IsTestRunning(); });
      bool stopped = false;
      if (view.IsTestRunning()) {
        view.OnStopTest();
        stopped = true;
      }
      frame.ClearLiveLine();
      status = view.Rows().GetItemCount() > 0 ? 1 : 0;
      const bool toStdout = options.reportPath == "-";
      bool reportFailed = false;
      // RemoveLine writes its report after the repair; a stopped test has no repair.
      if (!options.reportPath.empty() &&
          (options.repairType != RepairType::RemoveLine || stopped)) {
        if (toStdout) {
          reportFailed = !WriteReportTo(view, options, out);
        } else {
          view.OnExport();
          reportFailed = !view.ReportWritten();
        }
      }
      if (!stopped && options.repairType != RepairType::None) {
        if (view.UnclassifiedCode()) frame.AnswerNextQuestionYes();
        view.OnRepair();
        if (frame.RepairStopped()) status = 3;
        if (options.repairType == RepairType::RemoveLine) {
          if (toStdout) {
            reportFailed = !WriteReportTo(view, options, out);
          } else {
            reportFailed = !view.ReportWritten();
          }
        }
      }
      if (reportFailed) {
        std::fprintf(err, "linkward-cli: the report was not written to %s\n",
                     EscapeControls(options.reportPath).c_str());
        status = 4;
      }
      if (stopped) status = 130;
    }
  }
  app.ExitInstance();
  appdirs::RemoveRuntimeDirIfEmpty();
  return status;
}

}  // namespace linkward
