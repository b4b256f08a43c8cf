#include "support/salvage_run.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "base/error.h"

namespace vondrel::testing {
namespace {

using Clock = std::chrono::steady_clock;

// What the child writes to its pipe: fixed size, no allocation on the way.
struct ChildReport {
  int kind = CompactionRun::Crashed;
  int number = 0;
  jet::compact::CompactStatistics statistics;
  char description[480] = {};
};

[[noreturn]] void RunChild(int out, const std::filesystem::path& source, const std::filesystem::path& destination) {
  ChildReport report;
  try {
    report.statistics = jet::compact::CompactDatabase(source, destination);
    report.kind = CompactionRun::Compacted;
  } catch (const vondrel::Error& error) {
    report.kind = CompactionRun::Refused;
    report.number = error.number();
    std::snprintf(report.description, sizeof report.description, "%s", error.description().c_str());
  } catch (const std::exception& error) {
    report.kind = CompactionRun::Unnumbered;
    std::snprintf(report.description, sizeof report.description, "%s", error.what());
  }
  (void)!write(out, &report, sizeof report);
  _exit(0);
}

}  // namespace

std::string CompactionRun::Summary() const {
  switch (kind) {
    case Compacted: return "compacted";
    case Refused: return "refused with error " + std::to_string(number) + ": " + description;
    case Unnumbered: return "threw an exception that is not a numbered error: " + description;
    case Crashed: return "crashed: " + description;
    case TimedOut: return "timed out: " + description;
  }
  return "?";
}

CompactionRun CompactInChild(const std::filesystem::path& source, const std::filesystem::path& destination,
                             int seconds) {
  CompactionRun run;
  int fds[2];
  if (pipe(fds) != 0) {
    run.description = "pipe failed";
    return run;
  }
  std::fflush(nullptr);
  const auto started = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    RunChild(fds[1], source, destination);
  }
  close(fds[1]);
  if (child < 0) {
    close(fds[0]);
    run.description = "fork failed";
    return run;
  }
  int status = 0;
  struct rusage usage {};
  bool timed_out = false;
  while (wait4(child, &status, WNOHANG, &usage) != child) {
    if (Clock::now() - started > std::chrono::seconds(seconds)) {
      kill(child, SIGKILL);
      wait4(child, &status, 0, &usage);
      timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  run.peak_kb = usage.ru_maxrss;
  ChildReport report;
  const ssize_t got = read(fds[0], &report, sizeof report);
  close(fds[0]);
  if (timed_out) {
    run.kind = CompactionRun::TimedOut;
    run.description = "killed after " + std::to_string(seconds) + " s";
  } else if (WIFSIGNALED(status)) {
    run.kind = CompactionRun::Crashed;
    run.description = std::string("signal ") + strsignal(WTERMSIG(status));
  } else if (got != static_cast<ssize_t>(sizeof report) || WEXITSTATUS(status) != 0) {
    run.kind = CompactionRun::Crashed;
    run.description = "exit status " + std::to_string(WEXITSTATUS(status)) + " without a result";
  } else {
    run.kind = static_cast<CompactionRun::Kind>(report.kind);
    run.number = report.number;
    run.statistics = report.statistics;
    run.description = report.description;
  }
  return run;
}

}  // namespace vondrel::testing
