// The Configure window: master kind, port, speeds, pins and line delay.
#pragma once
#include "ui/gui/toolkit.h"

enum ConfigureControlId {
  kOkButton = 10,
  kArduinoSpeedLabel = 15,
  kArduinoSpeedList = 16,
  kPortLabel = 17,
  kPortList = 18,
  kMicromiteSpeedLabel = 19,
  kMicromiteSpeedList = 20,
  kPgdField = 21,
  kPgcField = 22,
  kMclrField = 23,
  kLineDelayField = 24,
  kMicromiteOption = 25,
  kArduinoOption = 26,
  kPic16Option = 27,
  kPgdLabel = 28,
  kPgcLabel = 29,
  kMclrLabel = 30,
  kLineDelayLabel = 31,
  kGeneralGroup = 33,
  kMicromiteGroup = 34,
  kArduinoGroup = 35,
};

// Builds the window from Settings (an open one is dropped first, without its
// closing steps), scans the ports and fills the port list.
void OpenConfigureWindow();
// Acts on one event of the Configure window.
void HandleConfigureEvent(const TkEvent& event);
// The closing steps: geometry, pins and delay into Settings, status line,
// then the window goes.
void CloseConfigureWindow();
