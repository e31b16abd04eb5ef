#include "programming/program_target.h"

#include "programming/target_run.h"
#include "settings/settings.h"
#include "ui/output_log.h"

namespace {
size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }
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
    RunTargetProgrammer(hexPath);
  }
  AppendLogLine("");
  AppendLogLine("");
  AppendLogLine("");
  RefreshLog();
}
