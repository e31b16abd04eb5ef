#include "programming/program_target.h"

#include "master/command.h"
#include "master/console.h"
#include "master/master_link.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "ui/output_log.h"

namespace {
size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

// Interrupts the Micromite, moves it to 115200 when needed and starts the
// programmer program it holds, which then serves the tool on the same port.
// Each step goes on even when the port did not open: the tool still runs and
// reports for itself.
void PrepareMicromite() {
  const int64_t lineDelay = Settings.LineDelay;
  OpenMaster();
  SendBreak(lineDelay * 4);
  SwitchTo115200(false);
  SendBreak(lineDelay * 4);
  AppendLogLine(SendCommand("RUN\r\n", lineDelay * 10));
  RefreshLog();
  CloseMaster();
}
}  // namespace

std::string HexFolderPart(const std::string& hexPath) {
  const size_t cut = LastSeparator(hexPath);
  return cut == std::string::npos ? std::string() : hexPath.substr(0, cut + 1);
}

std::string HexFilePart(const std::string& hexPath) {
  const size_t cut = LastSeparator(hexPath);
  return cut == std::string::npos ? hexPath : hexPath.substr(cut + 1);
}

void ProgramTarget(const std::string& hexPath) {
  ProcedureFailed = false;
  if (!hexPath.empty()) {
    ClearLog();
    Settings.HexFolder = HexFolderPart(hexPath);
    Settings.HexFile = HexFilePart(hexPath);
    AppendLogLine("Programming slave device");
    RefreshLog();
    if (Settings.MasterDevice == "micromite") PrepareMicromite();
    RunTargetProgrammer(hexPath);
    if (SpeedRestorePending()) OfferSpeedRestore();
  }
  AppendLogLine("");
  AppendLogLine("");
  AppendLogLine("");
  RefreshLog();
}
