// Time of one log refresh in the real main window, for a short and a long
// log: each round replaces the last line and adds one, as a running tool's
// output does, then refreshes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/gui/app.h"
#include "ui/gui/toolkit.h"
#include "ui/output_log.h"

namespace {

double MeasureMs(size_t lines, int rounds) {
  ClearLog();
  for (size_t i = 0; i < lines; ++i)
    AppendLogLine("Programming flash memory: row " + std::to_string(i) + " of the target, 0x1D00" +
                  std::to_string(i % 10000));
  RefreshLog();
  std::vector<double> times;
  for (int r = 0; r < rounds; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    ReplaceLastLogLine("Programming flash memory: " + std::to_string(r) + "%");
    AppendLogLine("Verify " + std::to_string(r));
    RefreshLog();
    const auto t1 = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const char* settings = argc > 1 ? argv[1] : "/tmp/korvane-bench.inf";
  char a0[] = "korvane", a1[] = "--settings";
  std::string path = settings;
  char* args[] = {a0, a1, path.data()};
  const CommandLine options = ParseCommandLine(3, args);
  std::string error;
  if (!StartWindowed(options, error)) {
    std::fprintf(stderr, "log_refresh_bench: %s\n", error.c_str());
    return 1;
  }
  const double small = MeasureMs(100, 200);
  const double large = MeasureMs(100000, 200);
  std::printf("refresh, 100 lines:     %.3f ms (median of 200)\n", small);
  std::printf("refresh, 100000 lines:  %.3f ms (median of 200)\n", large);
  std::printf("ratio 100000/100:       %.2f\n", large / small);
  TkCloseAllWindows();
  return 0;
}
