// Figures of the tool run: the CPU the program uses while the tool is
// silent, and how fast the tool's output is taken into the log.
//
//   target_run_bench FAKE_TOOL
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/clock.h"
#include "platform/process.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "ui/output_log.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string g_dir;

// The fake tool plays `script` from now on.
void UseScript(const std::string& script) {
  const std::string scriptPath = g_dir + "/script";
  std::ofstream(scriptPath, std::ios::binary | std::ios::trunc) << script;
  setenv("FAKE_PIC32PROG_SCRIPT", scriptPath.c_str(), 1);
}

// Runs the fake tool with `script`, its output taken into the log; returns
// the wall time in seconds.
double RunScript(const std::string& fakeTool, const std::string& script) {
  UseScript(script);
  OutputLog.lines.clear();
  ChildOptions options;
  options.file = fakeTool;
  options.captureOutput = true;
  std::string error;
  const int64_t t0 = MonotonicMs();
  ChildProcess* child = StartChild(options, error);
  if (!child) {
    std::fprintf(stderr, "can't start %s: %s\n", fakeTool.c_str(), error.c_str());
    std::exit(1);
  }
  RunToolIntoLog(child);
  return (MonotonicMs() - t0) / 1000.0;
}

// The same tool and script, its output read from the pipe and thrown away:
// what the pipe alone costs. Returns the wall time in seconds.
double ReadRaw(const std::string& fakeTool, const std::string& script) {
  UseScript(script);
  ChildOptions options;
  options.file = fakeTool;
  options.captureOutput = true;
  std::string error;
  const int64_t t0 = MonotonicMs();
  ChildProcess* child = StartChild(options, error);
  if (!child) std::exit(1);
  static char buffer[5000];
  while (ChildIsRunning(child)) {
    const size_t n = ChildBytesWaiting(child);
    if (n == 0) {
      ChildAwait(child, 10);
    } else {
      ChildRead(child, buffer, n < sizeof buffer ? n : sizeof buffer);
    }
  }
  ChildExitCode(child);
  ChildClose(child);
  return (MonotonicMs() - t0) / 1000.0;
}

// A tool that is only waited for, its output not taken: the CPU of the
// plainest wait.
double WaitOnly(const std::string& fakeTool, const std::string& script) {
  UseScript(script);
  ChildOptions options;
  options.file = fakeTool;
  bool started = false;
  std::string error;
  const int64_t t0 = MonotonicMs();
  RunChildInOwnConsole(options, started, error);
  return (MonotonicMs() - t0) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FAKE_TOOL\n", argv[0]);
    return 2;
  }
  const std::string fake = argv[1];
  char pattern[] = "/tmp/korvane-bench-XXXXXX";
  g_dir = mkdtemp(pattern);
  Settings = SettingsRecord();

  // 1. A tool that says nothing for 5 s.
  const double cpu0 = CpuSeconds();
  const double silentWall = RunScript(fake, "sleep 5000\nexit 0");
  const double silentCpu = CpuSeconds() - cpu0;
  std::printf("silent tool: %.2f s wall, %.4f s CPU (goal: under 0.05 s)\n", silentWall, silentCpu);
  const double cpu1 = CpuSeconds();
  WaitOnly(fake, "sleep 5000\nexit 0");
  const double waitCpu = CpuSeconds() - cpu1;
  std::printf("silent tool, only waited for: %.4f s CPU\n", waitCpu);

  // 2. 50 MiB of output in 64-byte lines, and as one line of progress
  //    characters with backspaces, as a baseline of the same size with
  //    nothing but one long line.
  const long long mib = 50;
  const std::string line = std::string(62, 'x') + "\\r\\n";
  const double empty = RunScript(fake, "exit 0");
  const double lines = RunScript(fake, "repeat " + std::to_string(mib * 1048576 / 64) + " " + line + "\nexit 0");
  const double progress = RunScript(fake, "repeat " + std::to_string(mib * 1048576 / 8) + " ...\\b\\b\\b##\nexit 0");
  const double raw = ReadRaw(fake, "repeat " + std::to_string(mib * 1048576 / 64) + " " + line + "\nexit 0");
  std::printf("log intake, %lld MiB in lines of 64 bytes: %.0f MiB/s (goal: at least 100 MiB/s)\n", mib,
              mib / (lines - empty));
  std::printf("the same bytes read from the pipe only: %.0f MiB/s\n", mib / (raw - empty));
  std::printf("figure silent_cpu_s %.4f\n", silentCpu);
  std::printf("figure silent_wait_cpu_s %.4f\n", waitCpu);
  std::printf("figure intake_mib_s %.1f\n", mib / (lines - empty));
  std::printf("figure intake_raw_mib_s %.1f\n", mib / (raw - empty));
  std::printf("log intake, %lld MiB of progress characters on one line: %.0f MiB/s\n", mib, mib / (progress - empty));
  std::printf("start and end of a run with no output: %.3f s\n", empty);
  const std::string rm = "rm -rf " + g_dir;
  return std::system(rm.c_str()) == 0 ? 0 : 1;
}
