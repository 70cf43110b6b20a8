#include "CliRunner.h"

#include <unistd.h>

#include <csignal>
#include <string>

#include "CliOptions.h"
#include "TerminalFrame.h"
#include "app/LinkwardApp.h"
#include "engine/LinkwardView.h"
#include "platform/AppDirs.h"
#include "platform/PollEventLoop.h"

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
  ~InterruptGuard() { ::sigaction(SIGINT, &m_old, nullptr); }

 private:
  struct sigaction m_old {};
};

}  // namespace

int RunCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(argc, argv, &options, &error)) {
    std::fprintf(err, "linkward-cli: %s\n\n%s", error.c_str(), CLI_USAGE);
    return 2;
  }
  if (options.help || options.version) {
    std::fputs("linkward-cli, Linkward Version " LINKWARD_VERSION "\n", out);
    if (options.help) std::fprintf(out, "\n%s", CLI_USAGE);
    return 0;
  }

  CLinkwardApp app;
  app.InitSettings();
  int status = 0;
  {
    CPollEventLoop loop;
    TerminalFrame frame(options, out, err, ::isatty(::fileno(err)) != 0);
    CLinkwardView view(*app.m_pSettings, frame, loop, appdirs::RuntimeDir());
    if (options.hasMask) view.FilterMask() = options.mask;
    if (options.hasTimeout) view.SetWaitLimit(options.timeoutSeconds);

    InterruptGuard guard;
    view.OnSelectFiles();
    if (!view.IsTestRunning()) {
      status = 2;  // the chosen file does not exist, or no file was found
    } else {
      loop.RunUntil([&] { return g_bInterrupted || !view.IsTestRunning(); });
      bool stopped = false;
      if (view.IsTestRunning()) {
        view.OnStopTest();
        stopped = true;
      }
      frame.ClearLiveLine();
      status = view.Rows().GetItemCount() > 0 ? 1 : 0;
      if (!options.reportPath.empty() && options.repairType != 2) view.OnExport();
      if (stopped) {
        status = 130;
      } else if (options.repairType >= 0) {
        if (view.UnclassifiedCode()) frame.AnswerNextQuestionYes();
        view.OnRepair();
        if (frame.RepairStopped()) status = 3;
      }
    }
  }
  app.ExitInstance();
  appdirs::RemoveRuntimeDirIfEmpty();
  return status;
}
