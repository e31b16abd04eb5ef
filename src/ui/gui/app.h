// The windowed program: start-up, the main window, the event loop and exit.
#pragma once
#include <string>

#include "ui/batch.h"

// Identifiers of the windows and their controls (unique across both windows).
enum WindowId { kMainWindow = 0, kConfigureWindow = 9 };
enum MainControlId {
  kLogView = 1,
  kProgramMasterButton = 5,
  kProgramTargetButton = 6,
  kConfigureButton = 7,
  kInfoButton = 8,
  kStatusLine = 36,
};

// Start-up up to the event loop: settings, log font, main window, and the
// HEX file named on the command line. False (with `error`) when no window
// can be shown.
bool StartWindowed(const CommandLine& options, std::string& error);
// One pass of the event loop: waits at most `waitMs` for an event and acts on
// it. Returns false once the main window's close request has come.
bool RunEventLoopPass(int waitMs = 5);
// The restore offer, the settings file, and closing every window.
void RunExitSequence();
// The whole windowed run; the process's exit status.
int RunWindowed(const CommandLine& options);

// The main window.
void OpenMainWindow();
std::string StatusLineText();
void WriteStatusLine();
