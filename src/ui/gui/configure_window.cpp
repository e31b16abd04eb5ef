#include "ui/gui/configure_window.h"

#include <algorithm>
#include <cctype>

#include "master/port_scan.h"
#include "settings/settings.h"
#include "ui/gui/app.h"

namespace {

const char* const kMicromiteSpeeds[] = {"4800", "9600", "19200", "38400", "57600", "115200", "230400"};
const char* const kArduinoSpeeds[] = {"-b1", "-b2", "-b3", "-b4"};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void OpenConfigureWindow() {
  // An open window is dropped without its closing steps.
  TkDestroyWindow(kConfigureWindow);
  const int w = kConfigureWindow;
  if (!TkOpenWindow(w, Settings.ConfigWindowX, Settings.ConfigWindowY, Settings.ConfigWindowWidth,
                    Settings.ConfigWindowHeight, "Configure", TkWindowStyle::Sizable))
    return;

  TkAddGroupBox(w, kGeneralGroup, 10, 10, 150, 250, "General settings:");
  TkAddGroupBox(w, kMicromiteGroup, 170, 10, 150, 250, "Micromite settings:");
  TkAddGroupBox(w, kArduinoGroup, 330, 10, 150, 250, "Arduino settings:");
  TkAddOptionButton(w, kPic16Option, 20, 30, 130, 25, "PIC16F1455 Master");
  TkAddOptionButton(w, kMicromiteOption, 20, 60, 130, 25, "MicroMite Master");
  TkAddOptionButton(w, kArduinoOption, 20, 90, 130, 25, "Arduino Master");
  TkAddLabel(w, kPortLabel, 20, 130, 100, 25, "Port = " + Settings.ComPort, TkAlign::Left);
  TkAddListBox(w, kPortList, 20, 160, 100, 60);
  TkAddLabel(w, kMicromiteSpeedLabel, 180, 30, 100, 25, "Speed = " + Settings.MicromiteSpeed, TkAlign::Left);
  TkAddListBox(w, kMicromiteSpeedList, 180, 50, 100, 60);
  TkAddLabel(w, kPgdLabel, 180, 130, 80, 25, "PGD", TkAlign::Right);
  TkAddLabel(w, kPgcLabel, 180, 160, 80, 25, "PGC", TkAlign::Right);
  TkAddLabel(w, kMclrLabel, 180, 190, 80, 25, "MCLR", TkAlign::Right);
  TkAddLabel(w, kLineDelayLabel, 180, 220, 80, 25, "LineDelay (x10)", TkAlign::Right);
  TkAddSpinField(w, kPgdField, 260, 130, 60, 25, 1, 100);
  TkAddSpinField(w, kPgcField, 260, 160, 60, 25, 1, 100);
  TkAddSpinField(w, kMclrField, 260, 190, 60, 25, 1, 100);
  TkAddSpinField(w, kLineDelayField, 260, 220, 60, 25, 10, 30);
  TkAddLabel(w, kArduinoSpeedLabel, 340, 30, 100, 25, "Speed = " + Settings.ArduinoSpeed, TkAlign::Left);
  TkAddListBox(w, kArduinoSpeedList, 340, 50, 100, 60);
  TkAddButton(w, kOkButton, 380, 265, 100, 25, "OK");

  for (const char* s : kMicromiteSpeeds) TkListAdd(kMicromiteSpeedList, s);
  for (const char* s : kArduinoSpeeds) TkListAdd(kArduinoSpeedList, s);

  const std::string device = Lower(Settings.MasterDevice);
  if (device == "micromite")
    TkSetChecked(kMicromiteOption, true);
  else if (device == "arduino")
    TkSetChecked(kArduinoOption, true);
  else
    TkSetChecked(kPic16Option, true);

  TkSetSpinValue(kPgdField, Settings.PgdPin);
  TkSetSpinValue(kPgcField, Settings.PgcPin);
  TkSetSpinValue(kMclrField, Settings.MclrPin);
  TkSetSpinValue(kLineDelayField, Settings.LineDelay / 10);
  TkFocusControl(kPic16Option);

  // Drawn before the scan holds up the interface.
  TkWorkOffEvents();
  ScanComPorts();
  if (!TkWindowExists(kConfigureWindow)) return;
  for (const std::string& port : PortList) TkListAdd(kPortList, port);
}

void CloseConfigureWindow() {
  if (!TkWindowExists(kConfigureWindow)) return;
  int x = Settings.ConfigWindowX, y = Settings.ConfigWindowY;
  int width = Settings.ConfigWindowWidth, height = Settings.ConfigWindowHeight;
  TkWindowOuterPosition(kConfigureWindow, x, y);
  TkWindowInnerSize(kConfigureWindow, width, height);
  Settings.ConfigWindowX = x;
  Settings.ConfigWindowY = y;
  Settings.ConfigWindowWidth = width;
  Settings.ConfigWindowHeight = height;
  Settings.PgdPin = TkGetSpinValue(kPgdField);
  Settings.PgcPin = TkGetSpinValue(kPgcField);
  Settings.MclrPin = TkGetSpinValue(kMclrField);
  Settings.LineDelay = TkGetSpinValue(kLineDelayField) * 10;
  WriteStatusLine();
  TkDestroyWindow(kConfigureWindow);
}

void HandleConfigureEvent(const TkEvent& event) {
  if (event.window != kConfigureWindow || !TkWindowExists(kConfigureWindow)) return;
  switch (event.kind) {
    case TkEventKind::Close:
      CloseConfigureWindow();
      return;
    case TkEventKind::Click:
      if (event.control == kOkButton) CloseConfigureWindow();
      return;
    case TkEventKind::Select:
      break;
    default:
      return;
  }
  switch (event.control) {
    case kPortList:
      if (TkListSelection(kPortList) < 0) return;
      Settings.ComPort = TkGetText(kPortList);
      TkSetText(kPortLabel, "Port = " + Settings.ComPort);
      break;
    case kMicromiteSpeedList:
      if (TkListSelection(kMicromiteSpeedList) < 0) return;
      Settings.MicromiteSpeed = TkGetText(kMicromiteSpeedList);
      Settings.SavedMicromiteSpeed = Settings.MicromiteSpeed;
      TkSetText(kMicromiteSpeedLabel, "Speed = " + Settings.MicromiteSpeed);
      break;
    case kArduinoSpeedList:
      if (TkListSelection(kArduinoSpeedList) < 0) return;
      Settings.ArduinoSpeed = TkGetText(kArduinoSpeedList);
      TkSetText(kArduinoSpeedLabel, "Speed = " + Settings.ArduinoSpeed);
      break;
    case kMicromiteOption:
      Settings.MasterDevice = "micromite";
      break;
    case kArduinoOption:
      Settings.MasterDevice = "Arduino";
      break;
    case kPic16Option:
      Settings.MasterDevice = "PIC16F1455";
      break;
    default:
      break;
  }
}
