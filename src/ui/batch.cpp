#include "ui/batch.h"

#include <cstdio>
#include <cstring>

#include "master/console.h"
#include "master/master_link.h"
#include "platform/paths.h"
#include "programming/program_master.h"
#include "programming/program_target.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "ui/console_log_view.h"
#include "ui/message_box.h"

const char* UsageText() {
  return "Usage:\n"
         "  korvane [--settings FILE] [HEXFILE]\n"
         "      Opens the windows; a HEX file named here is programmed after a confirmation.\n"
         "  korvane [--settings FILE] --program-target HEXFILE [--restore-speed=yes|no]\n"
         "      Programs the target chip from HEXFILE through the configured master.\n"
         "  korvane [--settings FILE] --program-master [--restore-speed=yes|no]\n"
         "      Loads the programmer software into the configured master.\n"
         "\n"
         "Options:\n"
         "  --settings FILE        use FILE instead of Korvane.inf beside the program\n"
         "  --restore-speed=yes|no answer to \"Change baudrate back to ...\" (default yes)\n"
         "  --help                 show this text\n"
         "  --version              show the version\n"
         "\n"
         "Without windows the log goes to standard output and message boxes to\n"
         "standard error. Exit status: 0 success, 1 failure, 2 usage error.\n";
}

std::string WithoutQuotes(const std::string& argument) {
  std::string out;
  for (char c : argument)
    if (c != '"') out += c;
  return out;
}

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine cl;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto takeValue = [&](std::string& into) {
      if (i + 1 >= argc) {
        cl.error = "option " + arg + " needs a value";
        return;
      }
      into = argv[++i];
    };
    if (arg == "--settings") {
      takeValue(cl.settingsFile);
    } else if (arg.rfind("--settings=", 0) == 0) {
      cl.settingsFile = arg.substr(11);
    } else if (arg == "--program-target") {
      cl.programTarget = true;
      takeValue(cl.hexFile);
    } else if (arg == "--program-master") {
      cl.programMaster = true;
    } else if (arg == "--restore-speed=yes") {
      cl.restoreSpeed = true;
    } else if (arg == "--restore-speed=no") {
      cl.restoreSpeed = false;
    } else if (arg == "--help" || arg == "-h") {
      cl.help = true;
    } else if (arg == "--version") {
      cl.version = true;
    } else if (arg.size() > 1 && arg[0] == '-' && !cl.hexArgument) {
      cl.error = "unknown option " + arg;
    } else if (!cl.hexArgument) {
      // The first plain argument is a HEX file for the windows; later ones
      // are ignored.
      cl.hexArgument = true;
      cl.hexFile = WithoutQuotes(arg);
    }
    if (!cl.error.empty()) break;
  }
  if (cl.error.empty() && cl.programTarget && cl.programMaster)
    cl.error = "--program-target and --program-master can't be combined";
  if (cl.error.empty() && cl.programTarget && cl.hexFile.empty()) cl.error = "--program-target needs a HEX file";
  if (cl.error.empty() && cl.hexArgument && (cl.programTarget || cl.programMaster))
    cl.error = "unexpected argument " + cl.hexFile;
  return cl;
}

void SetProgramDirectory() {
  ProgramDirectory = FolderOf(ExecutablePath());
  if (ProgramDirectory.empty()) ProgramDirectory = CurrentFolder();
}

int RunBatch(const CommandLine& options) {
  SetProgramDirectory();
  ChooseSettingsPath(options.settingsFile);
  LoadSettings();
  BatchAnswerYes = options.restoreSpeed;
  MessageBoxBackend = nullptr;

  ConsoleLogView view(stdout);
  AttachLogView(&view);

  if (options.programTarget) ProgramTarget(options.hexFile);
  if (options.programMaster) ProgramMaster();

  // The exit sequence, without windows: the window geometry stays as loaded.
  // The speed offer comes before saving, since it is the only place where a
  // switch made by Program Master can be undone; the pause that lets a
  // window show its answer is not needed here. A master that could not be
  // put back counts as a failure too.
  if (SpeedRestorePending()) OfferSpeedRestore();
  CloseMaster();
  const bool failed = ProcedureFailed;
  SaveSettings();
  FinishConsoleLog(view);
  AttachLogView(nullptr);
  return failed ? 1 : 0;
}
