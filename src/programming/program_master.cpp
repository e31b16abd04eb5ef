#include "programming/program_master.h"

#include "master/command.h"
#include "master/console.h"
#include "master/master_link.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "ui/message_box.h"
#include "ui/output_log.h"

std::string PinLine() {
  return "PGD = " + std::to_string(Settings.PgdPin) + " : PGC = " + std::to_string(Settings.PgcPin) +
         " : MCLR = " + std::to_string(Settings.MclrPin);
}

std::string MasterProgramLines::ReadLine() {
  const size_t start = position;
  while (position < bytes.size()) {
    const char c = bytes[position];
    if (c == '\r' || c == '\n' || c == '\0') {
      std::string line = bytes.substr(start, position - start);
      ++position;
      if (c == '\r' && position < bytes.size() && bytes[position] == '\n') ++position;
      return line;
    }
    ++position;
  }
  return bytes.substr(start);
}

namespace {

// The upload's progress: the last log line, "*" per console command and "."
// per shown program line.
struct Progress {
  std::string line = "*";
  void Gain(char mark) {
    line += mark;
    ReplaceLastLogLine(line);
    RefreshLog();
  }
};

void UploadMasterProgram(MasterProgramLines& file, const std::string& pinLine) {
  const int64_t lineDelay = Settings.LineDelay;
  AppendLogLine(SendBreak(lineDelay * 2));
  Progress progress;
  AppendLogLine(progress.line);
  RefreshLog();
  SendCommand("NEW\r", lineDelay * 15);
  progress.Gain('*');
  SendCommand("AUTOSAVE\r", lineDelay * 15);
  progress.Gain('*');
  // The file's second line gives way to the configured pins.
  SendCommand(file.ReadLine() + "\r", lineDelay);
  progress.Gain('.');
  file.ReadLine();
  SendCommand(pinLine + "\r", lineDelay);
  progress.Gain('.');
  for (long count = 1; !file.AtEnd(); ++count) {
    SendCommand(file.ReadLine() + "\r", lineDelay);
    if (count % 2 == 1) progress.Gain('.');
  }
  file.bytes.clear();
  AppendLogLine(SendCommand(std::string(1, '\x1A'), lineDelay * 10));
  AppendLogLine("Program Master completed");
}

void ProgramMicromite() {
  AppendLogLine("Program stage 1 started");
  bool ok = OpenMaster();
  if (ok) {
    AppendLogLine(SendBreak(static_cast<int64_t>(Settings.LineDelay) * 2));
    ok = SwitchTo115200(true);
  }
  const std::string pinLine = PinLine();
  AppendLogLine(Settings.ComPort + "   " + pinLine);
  RefreshLog();
  if (ok) {
    const std::string path = SettingsFolder() + Settings.MasterProgramFile;
    MasterProgramLines file;
    if (!ReadWholeFile(path, file.bytes)) {
      ProcedureFailed = true;
      ShowMessageBox("Information", "Couldn't open " + path, BoxButtons::Ok);
      AppendLogLine("Program Master failed");
    } else {
      UploadMasterProgram(file, pinLine);
    }
  }
  CloseMaster();
}

// An Arduino or PIC16F1455 master is loaded by the tool itself.
void ProgramWithTool() {
  AppendLogLine("Arduino program stage 1 started");
  ChildOptions options;
  options.file = ToolFileName();
  options.args = {"-d", "ascii:" + Settings.ComPort};
  if (!Settings.ArduinoSpeed.empty()) options.args.push_back(Settings.ArduinoSpeed);
  options.workDir = SettingsFolder();
  options.preferredFolder = ProgramDirectory;
  std::string error;
  if (ToolHasOwnConsole()) {
    // The tool shows its progress in a console window of its own.
    options.captureOutput = false;
    bool started = false;
    const int32_t code = RunChildInOwnConsole(options, started, error);
    if (!started) {
      AppendLogLine(std::string("Could not start ") + ToolFileName() + ": " + error);
      ProcedureFailed = true;
    } else if (code != 0) {
      AppendLogLine("Error code: " + std::to_string(code));
      ProcedureFailed = true;
    }
  } else {
    // No console window to give: its output goes to the log, line by line.
    options.captureOutput = true;
    if (ChildProcess* child = StartChild(options, error)) {
      RunToolIntoLog(child);
    } else {
      AppendLogLine(std::string("Could not start ") + ToolFileName() + ": " + error);
      ProcedureFailed = true;
    }
  }
  AppendLogLine("Program Master completed");
}

}  // namespace

void ProgramMaster() {
  ProcedureFailed = false;
  ClearLog();
  if (Settings.MasterDevice == "micromite")
    ProgramMicromite();
  else
    ProgramWithTool();
  RefreshLog();
}
