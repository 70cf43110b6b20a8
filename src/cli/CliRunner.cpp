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
#include "repair/RepairPass.h"
#include "repair/RepairRestore.h"

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

// --restore: the backups of the walk put back, each page named.
int RunRestore(const CliOptions& options, std::FILE* out, std::FILE* err) {
  struct stat st;
  if (IsRepairByproduct(options.file)) {
    std::fprintf(err, "linkward-cli: give the page, not its backup or copy: %s\n",
                 EscapeControls(options.file).c_str());
    return 2;
  }
  if (::stat(options.file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fputs("The chosen file does not exist\n", err);
    return 2;
  }
  StringList files, problems;
  BuildFileList(files, options.file, options.choices, &problems);
  for (const std::string& problem : problems)
    std::fprintf(err, "%s\n", EscapeControls(problem).c_str());
  const RestoreCount count = RestoreBackups(files, [&](const std::string& line) {
    std::fprintf(out, "%s\n", EscapeControls(line).c_str());
  });
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "linkward-cli: the list of restored files could not be written\n");
    return 7;
  }
  if (count.restored + count.unchanged + count.refused == 0) {
    std::fputs("linkward-cli: no backup was found\n", err);
    return 2;
  }
  return count.refused > 0 ? 3 : 0;
}

// The files of rows' groups, and how many of them the repair has done.
std::pair<int, int> FilesDone(const CResultRows& rows) {
  int files = 0, done = 0;
  for (int i = 0; i < rows.GetItemCount(); ++i) {
    if (i > 0 && rows.GetItemText(i, COL_FILE) == rows.GetItemText(i - 1, COL_FILE)) continue;
    ++files;
    if (FileDoneMark(rows.GetItemData(i)) == 1) ++done;
  }
  return {files, done};
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

  if (options.restore) return RunRestore(options, out, err);

  if (options.repairType == RepairType::RemoveLine && !options.dryRun &&
      options.reportPath != "-" && !options.reportPath.empty()) {
    // RemoveLine (type 2) removes lines from the pages; their list must be writable first.
    std::string why;
    if (!ReportWritable(options.reportPath, options.yes, &why)) {
      std::fprintf(err, "linkward-cli: the report %s %s; no file was tested or repaired\n",
                   EscapeControls(options.reportPath).c_str(), why.c_str());
      return 2;
    }
  }

  if (options.full && IsCrawlAddress(options.file) && options.repairType != RepairType::None) {
    std::fprintf(err, "linkward-cli: %s\n", CRAWL_REPAIR_TEXT);
    return 2;
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
      CrawlOptions crawl;
      crawl.scope = options.scope;
      crawl.maxDepth = options.depth;
      crawl.maxPages = options.maxPages;
      crawl.ignoreRobots = options.ignoreRobots;
      view.SetCrawlOptions(crawl);
    }

    InterruptGuard guard;
    CSocketWnd::SetInterruptCheck(Interrupted);
    view.SetCancelCheck(Interrupted);  // a repair stops before the next file
    // The repair's backups and copies are not pages to test.
    view.SetLeaveOutRepairByproducts(options.repairType != RepairType::None);
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
      if (options.full && status == 1) {
        // Every listed row Not Verified: the servers told nothing, 5.
        const CResultRows& rows = view.Rows();
        bool allUnverified = true;
        for (int row = 0; row < rows.GetItemCount() && allUnverified; ++row)
          allUnverified = rows.GetItemDetails(row).cls == CheckClass::NotVerified;
        if (allUnverified) status = 5;
      }
      const bool toStdout = options.reportPath == "-";
      bool reportFailed = false;
      // RemoveLine writes its report after the repair; a stopped test has no repair.
      const bool repairs = !options.dryRun && options.repairType != RepairType::None;
      if (!options.reportPath.empty() &&
          (options.repairType != RepairType::RemoveLine || stopped || !repairs)) {
        if (toStdout) {
          reportFailed = !WriteReportTo(view, options, out);
        } else {
          view.OnExport();
          reportFailed = !view.ReportWritten();
        }
      }
      if (!stopped && options.dryRun) {
        const RepairPreview preview = PreviewRepair(view.Rows(), options.repairType);
        for (const std::string& note : preview.notes)
          std::fprintf(err, "%s\n", EscapeControls(note, "\n").c_str());
        const std::string diff = ::isatty(::fileno(out)) ? EscapeControls(preview.diff, "\n\t")
                                                          : preview.diff;
        std::fwrite(diff.data(), 1, diff.size(), out);
        if (!preview.complete) status = 3;
      }
      if (!stopped && repairs) {
        if (view.UnclassifiedCode()) frame.AnswerNextQuestionYes();
        view.OnRepair();
        if (frame.RepairStopped()) status = 3;
        if (view.LastRepairEnd() == RepairEnd::Cancelled) {
          const auto [files, done] = FilesDone(view.Rows());
          std::fprintf(err,
                       "linkward-cli: the repair was interrupted by Ctrl-C: %d of %d files were "
                       "repaired, the others are unchanged\n",
                       done, files);
          stopped = true;
        }
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
      if (status <= 1 && view.NotTestedCount() > 0) {
        std::fprintf(err, "linkward-cli: %d file(s) or directories could not be tested; the log "
                          "names them\n", view.NotTestedCount());
        status = 6;
      }
      if (stopped) status = 130;
    }
    // A log lost to a full disk or a closed pipe is not passed off as written.
    if ((std::fflush(out) != 0 || std::ferror(out)) && status != 2) {
      std::fprintf(err, "linkward-cli: the log could not be written to standard output\n");
      status = 7;
    }
  }
  app.ExitInstance();
  appdirs::RemoveRuntimeDirIfEmpty();
  return status;
}

}  // namespace linkward
