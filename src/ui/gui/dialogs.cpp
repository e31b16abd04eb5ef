#include "ui/gui/dialogs.h"

#include "platform/paths.h"
#include "settings/settings.h"
#include "ui/gui/toolkit.h"

namespace {

bool PlainFileName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name) {
    if (c < 32) return false;
    switch (c) {
      case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|':
        return false;
      default:
        break;
    }
  }
  return true;
}

const char* const kInfoPieces[] = {
    "Korvane\r \r",
    "Configure - set the serialport and programming device\r",
    "For the Arduino, the default speed '-b3' is usually correct\r",
    "For the micromite, set the initial baud rate.\r",
    "The baud rate will be changed To 115200 automatically\r",
    "when programming the master.\r",
    "Micromites only: The time delay between lines\r",
    "is critical and should not be reduced below 10 (100ms)\r",
    "Set the PGD, PGC and MCLR pins to suit your circuit.\r \r",
    "Program Master - This programs your Arduino or Micromite with the\r",
    "required software . The master only needs to be\r",
    "programmed once but reprogramming will do no harm.\r \r",
    "Program Target - this starts the program on the Master then\r",
    "calls the external program pic32prog.exe to progam your target chip.\r",
    "It can be any chip that pic32prog supports and the HEX code\r",
    "does not have to be MMBasic. Anything that suits the chip is OK\r \r",
    "pic32prog by Aldermyre and Brisquell\r",
    "MMBasic by Corlatte\r",
    "MMBasic Cfunction and PIC16F1455 code by Dunvessel\r",
    "This GUI by Emberholt\r \r",
};

}  // namespace

HexDialogStart HexDialogStartFrom(const std::string& hexFolder, const std::string& hexFile) {
  const std::string initial = hexFolder + hexFile;
  HexDialogStart start;
  std::string name = initial;
  // The folder ends at the last separator of the system ("\\" on Windows).
  const size_t slash = initial.rfind(PathSeparator());
  if (slash != std::string::npos && slash > 0) {
    start.folder = initial.substr(0, slash);
    name = initial.substr(slash + 1);
  }
  if (PlainFileName(name)) start.name = name;
  return start;
}

std::string ChooseHexFile() {
  const HexDialogStart start = HexDialogStartFrom(Settings.HexFolder, Settings.HexFile);
  const std::vector<TkFileFilter> filters = {{"HEX (*.hex)", "*.hex"}, {"All files (*.*)", "*.*"}};
  TkOpenFileOptions options;
  options.pathMustExist = true;
  options.fileMustExist = false;
  options.keepCurrentFolder = true;
  options.maxPathLength = 259;
  std::string chosen;
  if (!TkOpenFileDialog("HEX file", filters, 0, start.folder, start.name, options, chosen)) return "";
  return chosen;
}

std::string ConfirmFlash(const std::string& path) {
  const BoxAnswer answer = ShowMessageBox("Confirm, do you want to flash: ", path + " ?", BoxButtons::YesNo);
  return answer == BoxAnswer::Yes ? path : "";
}

std::string InfoText() {
  std::string text;
  for (const char* piece : kInfoPieces) text += piece;
  return text;
}

void ShowInfo() { ShowMessageBox("Info", InfoText(), BoxButtons::Ok); }

BoxAnswer WindowMessageBox(const std::string& caption, const std::string& text, BoxButtons buttons) {
  const TkBoxAnswer answer =
      TkMessageBox(caption, text, buttons == BoxButtons::Ok ? TkBoxButtons::Ok : TkBoxButtons::YesNo);
  switch (answer) {
    case TkBoxAnswer::Yes:
      return BoxAnswer::Yes;
    case TkBoxAnswer::No:
      return BoxAnswer::No;
    default:
      return buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::No;
  }
}
