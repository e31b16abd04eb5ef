// The program's entry: the windows, or the batch mode when asked for.
#include <cstdio>

#include "ui/batch.h"

#if KORVANE_HAVE_GUI
#include "ui/gui/app.h"
#endif

int main(int argc, char** argv) {
  const CommandLine options = ParseCommandLine(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "korvane: %s\n\n%s", options.error.c_str(), UsageText());
    return 2;
  }
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("korvane %s\n", KORVANE_VERSION);
    return 0;
  }
  if (options.programTarget || options.programMaster) return RunBatch(options);
#if KORVANE_HAVE_GUI
  return RunWindowed(options);
#else
  std::fprintf(stderr, "korvane: this build has no windows; use --program-target or --program-master\n\n%s",
               UsageText());
  return 2;
#endif
}
