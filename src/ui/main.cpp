// The program's entry: the windows, or the batch mode when asked for.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/arguments.h"
#include "ui/batch.h"

#if KORVANE_HAVE_GUI
#include "ui/gui/app.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args = ProgramArguments(argc, argv);
  std::vector<char*> argvUtf8;
  for (std::string& a : args) argvUtf8.push_back(a.data());
  argvUtf8.push_back(nullptr);
  const CommandLine options = ParseCommandLine(static_cast<int>(args.size()), argvUtf8.data());
  const bool windowed = options.error.empty() && !options.help && !options.version && !options.programTarget &&
                        !options.programMaster;
#if KORVANE_HAVE_GUI
  if (!windowed) UseParentConsole();
#else
  UseParentConsole();
#endif
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
  (void)windowed;
  std::fprintf(stderr, "korvane: this build has no windows; use --program-target or --program-master\n\n%s",
               UsageText());
  return 2;
#endif
}
