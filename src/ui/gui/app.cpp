#include "ui/gui/app.h"

#include <cstdio>

#include "master/console.h"
#include "master/port_scan.h"
#include "platform/clock.h"
#include "programming/program_master.h"
#include "programming/program_target.h"
#include "settings/settings.h"
#include "ui/gui/configure_window.h"
#include "ui/gui/dialogs.h"
#include "ui/gui/log_view_window.h"
#include "ui/gui/toolkit.h"
#include "ui/message_box.h"
#include "ui/output_log.h"

namespace {

struct AppRecord {
  bool quit = false;
  WindowLogView logView{kLogView};
  bool logViewAttached = false;
};

AppRecord App;

bool MainWindowGeometry(int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
  int ox, oy, w, h;
  if (!TkWindowOuterPosition(kMainWindow, ox, oy) || !TkWindowInnerSize(kMainWindow, w, h)) return false;
  x = ox;
  y = oy;
  width = w;
  height = h;
  return true;
}

void PlaceLogView() {
  int width = 0, height = 0;
  if (!TkWindowInnerSize(kMainWindow, width, height)) return;
  TkMoveControl(kLogView, 10, 35, width - 20, height - 35 - 10);
}

void HandleMainEvent(const TkEvent& event) {
  switch (event.kind) {
    case TkEventKind::Click:
      switch (event.control) {
        case kConfigureButton:
          OpenConfigureWindow();
          break;
        case kProgramMasterButton:
          ProgramMaster();
          break;
        case kProgramTargetButton:
          ProgramTarget(ChooseHexFile());
          break;
        case kInfoButton:
          ShowInfo();
          break;
        default:
          break;
      }
      break;
    case TkEventKind::Size: {
      // A minimised window keeps its log view as it was.
      int width = 0, height = 0;
      if (TkWindowInnerSize(kMainWindow, width, height) && width > 0 && height > 0) PlaceLogView();
      break;
    }
    case TkEventKind::Close:
      App.quit = true;
      break;
    default:
      break;
  }
}

}  // namespace

std::string StatusLineText() {
  return "Programming using " + Settings.MasterDevice + " on " + Settings.ComPort;
}

void WriteStatusLine() { TkSetText(kStatusLine, StatusLineText()); }

void OpenMainWindow() {
  const int w = kMainWindow;
  if (!TkOpenWindow(w, Settings.MainWindowX, Settings.MainWindowY, Settings.MainWindowWidth,
                    Settings.MainWindowHeight, "Korvane!", TkWindowStyle::Sizable))
    return;
  TkAddButton(w, kConfigureButton, 10, 10, 90, 20, "Configure");
  TkAddButton(w, kProgramMasterButton, 110, 10, 110, 20, "Program Master");
  TkAddButton(w, kProgramTargetButton, 240, 10, 110, 20, "Program Target");
  TkAddButton(w, kInfoButton, 370, 10, 20, 20, "?");
  TkAddLogView(w, kLogView, 10, 35, Settings.MainWindowWidth - 20, Settings.MainWindowHeight - 35 - 10);
  TkAddLabel(w, kStatusLine, 400, 15, 250, 20, "", TkAlign::Left);
  TkSetFont(kLogView, TkFont::Log);
  WriteStatusLine();
  AttachLogView(&App.logView);
  App.logViewAttached = true;
}

bool StartWindowed(const CommandLine& options, std::string& error) {
  if (!TkOpenDisplay(error)) return false;
  OutputLog.lines.clear();
  OutputLog.firstStale = 0;
  PortList.clear();
  App.quit = false;
  SetProgramDirectory();
  ChooseSettingsPath(options.settingsFile);
  LoadSettings();
  MessageBoxBackend = WindowMessageBox;
  MainWindowGeometrySource = MainWindowGeometry;
  OpenMainWindow();
  if (!TkWindowExists(kMainWindow)) {
    error = "can't open the main window";
    return false;
  }
  if (options.hexArgument) {
    const std::string path = ConfirmFlash(options.hexFile);
    if (!path.empty()) ProgramTarget(path);
  }
  return true;
}

bool RunEventLoopPass(int waitMs) {
  TkEvent event;
  if (TkWaitEvent(waitMs, event)) {
    if (event.window == kMainWindow)
      HandleMainEvent(event);
    else if (event.window == kConfigureWindow)
      HandleConfigureEvent(event);
  }
  return !App.quit;
}

void RunExitSequence() {
  if (SpeedRestorePending()) {
    OfferSpeedRestore();
    SleepMs(1000);
  }
  SaveSettings();
  SleepMs(50);
  // The Configure window goes without its closing steps.
  AttachLogView(nullptr);
  App.logViewAttached = false;
  TkCloseAllWindows();
  MainWindowGeometrySource = nullptr;
  MessageBoxBackend = nullptr;
}

int RunWindowed(const CommandLine& options) {
  std::string error;
  if (!StartWindowed(options, error)) {
    std::fprintf(stderr, "korvane: %s\n", error.c_str());
    if (App.logViewAttached) {
      AttachLogView(nullptr);
      App.logViewAttached = false;
    }
    MessageBoxBackend = nullptr;
    MainWindowGeometrySource = nullptr;
    return 1;
  }
  while (RunEventLoopPass(5)) {
  }
  RunExitSequence();
  return 0;
}
