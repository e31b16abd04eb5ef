// The file choice, the flash confirmation, the info text and the message
// boxes of the windowed program.
#pragma once
#include <string>

#include "ui/message_box.h"

// The file dialog's start from HexFolder and HexFile: split at the last "/"
// (one in the first position doesn't count); the name only when it is a
// plain file name.
struct HexDialogStart {
  std::string folder;  // "" : the system's default
  std::string name;    // "" : the name field starts empty
};
HexDialogStart HexDialogStartFrom(const std::string& hexFolder, const std::string& hexFile);

// The path of the HEX file the user picks, or "" on cancel.
std::string ChooseHexFile();
// `path` when the user answers Yes, else "".
std::string ConfirmFlash(const std::string& path);
// The help and credits box.
void ShowInfo();
std::string InfoText();

// Every message box of the program, through the toolkit's modal box.
BoxAnswer WindowMessageBox(const std::string& caption, const std::string& text, BoxButtons buttons);
