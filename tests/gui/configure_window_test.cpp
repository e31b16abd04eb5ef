#include <gtest/gtest.h>

#include "gui_support.h"
#include "master/port_scan.h"
#include "settings/settings.h"
#include "ui/gui/configure_window.h"

namespace {

class ConfigureWindowTest : public WindowedTest {
 protected:
  void Open() {
    TkClickControl(kConfigureButton);
    Pump(50);
    ASSERT_TRUE(TkWindowExists(kConfigureWindow));
  }
  void CloseWithOk() {
    TkClickControl(kOkButton);
    Pump(50);
    ASSERT_FALSE(TkWindowExists(kConfigureWindow));
  }
};

TEST_F(ConfigureWindowTest, OpensWithEveryControlInPlace) {
  Start();
  Open();
  int w = 0, h = 0, x = 0, y = 0;
  TkWindowInnerSize(kConfigureWindow, w, h);
  TkWindowOuterPosition(kConfigureWindow, x, y);
  EXPECT_EQ(std::vector<int>({x, y, w, h}), std::vector<int>({200, 200, 492, 295}));
  struct Expect {
    int id, x, y, w, h;
    const char* text;
  };
  const Expect controls[] = {
      {kGeneralGroup, 10, 10, 150, 250, "General settings:"},
      {kMicromiteGroup, 170, 10, 150, 250, "Micromite settings:"},
      {kArduinoGroup, 330, 10, 150, 250, "Arduino settings:"},
      {kPic16Option, 20, 30, 130, 25, "PIC16F1455 Master"},
      {kMicromiteOption, 20, 60, 130, 25, "MicroMite Master"},
      {kArduinoOption, 20, 90, 130, 25, "Arduino Master"},
      {kPortLabel, 20, 130, 100, 25, "Port = com4"},
      {kPortList, 20, 160, 100, 60, ""},
      {kMicromiteSpeedLabel, 180, 30, 100, 25, "Speed = 38400"},
      {kMicromiteSpeedList, 180, 50, 100, 60, ""},
      {kPgdLabel, 180, 130, 80, 25, "PGD"},
      {kPgcLabel, 180, 160, 80, 25, "PGC"},
      {kMclrLabel, 180, 190, 80, 25, "MCLR"},
      {kLineDelayLabel, 180, 220, 80, 25, "LineDelay (x10)"},
      {kPgdField, 260, 130, 60, 25, "3"},
      {kPgcField, 260, 160, 60, 25, "2"},
      {kMclrField, 260, 190, 60, 25, "4"},
      {kLineDelayField, 260, 220, 60, 25, "15"},
      {kArduinoSpeedLabel, 340, 30, 100, 25, "Speed = -b3"},
      {kArduinoSpeedList, 340, 50, 100, 60, ""},
      {kOkButton, 380, 265, 100, 25, "OK"},
  };
  for (const Expect& c : controls) {
    int cx, cy, cw, ch;
    ASSERT_TRUE(TkControlRect(c.id, cx, cy, cw, ch)) << c.id;
    EXPECT_EQ(std::vector<int>({cx, cy, cw, ch}), std::vector<int>({c.x, c.y, c.w, c.h})) << c.id;
    EXPECT_EQ(TkGetText(c.id), c.text) << c.id;
  }
  EXPECT_EQ(TkListCount(kMicromiteSpeedList), 7);
  EXPECT_EQ(TkListCount(kArduinoSpeedList), 4);
  for (int list : {kPortList, kMicromiteSpeedList, kArduinoSpeedList}) EXPECT_EQ(TkListSelection(list), -1);
  EXPECT_TRUE(TkIsChecked(kMicromiteOption));

  // Tab walks the option buttons, lists, fields and the button in creation order.
  TkFocusControl(kPic16Option);
  int x0 = 0, y0 = 0;
  ScreenPoint(kConfigureWindow, kOkButton, x0, y0);
  std::system(("xdotool mousemove " + std::to_string(x0) + " " + std::to_string(y0 - 40)).c_str());
  std::vector<int> order;
  for (int i = 0; i < 12; ++i) {
    XKey("Tab");
    Pump(20);
    order.push_back(TkFocusedControl());
  }
  // Within the radio group one stop is enough; what matters is the order.
  std::vector<int> compact;
  for (int id : order)
    if (compact.empty() || compact.back() != id) compact.push_back(id);
  const std::vector<int> cycle = {kPortList, kMicromiteSpeedList, kPgdField, kPgcField, kMclrField,
                                  kLineDelayField, kArduinoSpeedList, kOkButton};
  auto at = std::find(compact.begin(), compact.end(), kPortList);
  ASSERT_NE(at, compact.end());
  std::vector<int> seen(at, std::min(compact.end(), at + static_cast<long>(cycle.size())));
  EXPECT_EQ(seen, cycle);

  SaveScreenshot(kConfigureWindow, "configure");
}

TEST_F(ConfigureWindowTest, MasterDeviceSpellings) {
  Start();
  struct Case {
    const char* stored;
    int selected;
  };
  const Case cases[] = {
      {"Arduino", kArduinoOption},   {"arduino", kArduinoOption}, {"micromite", kMicromiteOption},
      {"MICROMITE", kMicromiteOption}, {"PIC16F1455", kPic16Option}, {"", kPic16Option},
      {"pickit", kPic16Option},
  };
  for (const Case& c : cases) {
    Settings.MasterDevice = c.stored;
    Open();
    for (int option : {kPic16Option, kMicromiteOption, kArduinoOption})
      EXPECT_EQ(TkIsChecked(option), option == c.selected) << c.stored << " " << option;
    CloseWithOk();
    EXPECT_EQ(Settings.MasterDevice, c.stored) << "only a click changes it";
    EXPECT_EQ(TkGetText(kStatusLine), std::string("Programming using ") + c.stored + " on com4");
  }
  // A click on the option already selected stores its own spelling.
  Settings.MasterDevice = "MICROMITE";
  Open();
  TkClickControl(kMicromiteOption);
  Pump(20);
  EXPECT_EQ(Settings.MasterDevice, "micromite");
  const std::pair<int, const char*> clicks[] = {
      {kArduinoOption, "Arduino"}, {kPic16Option, "PIC16F1455"}, {kMicromiteOption, "micromite"}};
  for (auto [option, stored] : clicks) {
    TkClickControl(option);
    Pump(20);
    EXPECT_EQ(Settings.MasterDevice, stored);
    EXPECT_TRUE(TkIsChecked(option));
  }
}

TEST_F(ConfigureWindowTest, FieldsAreClampedAndTakenOnClosing) {
  Start();
  struct Case {
    int lineDelay, pin;
    int shownDelay, shownPin;
    int storedDelay, storedPin;
  };
  const Case cases[] = {
      {150, 0, 15, 1, 150, 1},
      {155, 150, 15, 100, 150, 100},
      {400, 3, 30, 3, 300, 3},
      {100, 100, 10, 100, 100, 100},
  };
  for (const Case& c : cases) {
    Settings.LineDelay = c.lineDelay;
    Settings.PgdPin = c.pin;
    Open();
    EXPECT_EQ(TkGetSpinValue(kLineDelayField), c.shownDelay) << c.lineDelay;
    EXPECT_EQ(TkGetSpinValue(kPgdField), c.shownPin) << c.pin;
    CloseWithOk();
    EXPECT_EQ(Settings.LineDelay, c.storedDelay) << c.lineDelay;
    EXPECT_EQ(Settings.PgdPin, c.storedPin) << c.pin;
  }
  // Typed text that is no number in range still closes with a value in range.
  Open();
  TkSetText(kPgcField, "250");
  TkSetText(kMclrField, "-4");
  CloseWithOk();
  EXPECT_EQ(Settings.PgcPin, 100);
  EXPECT_EQ(Settings.MclrPin, 1);
}

TEST_F(ConfigureWindowTest, ListChoicesApplyAtOnceAndStay) {
  Start({"uM SerialSpeed = 38400"});
  Open();
  TkSelectListItem(kMicromiteSpeedList, 5);
  Pump(20);
  EXPECT_EQ(Settings.MicromiteSpeed, "115200");
  EXPECT_EQ(Settings.SavedMicromiteSpeed, "115200");
  EXPECT_EQ(TkGetText(kMicromiteSpeedLabel), "Speed = 115200");
  TkSelectListItem(kArduinoSpeedList, 3);
  Pump(20);
  EXPECT_EQ(Settings.ArduinoSpeed, "-b4");
  EXPECT_EQ(TkGetText(kArduinoSpeedLabel), "Speed = -b4");
  TkRequestClose(kConfigureWindow);
  Pump(20);
  EXPECT_FALSE(TkWindowExists(kConfigureWindow));
  EXPECT_EQ(Settings.MicromiteSpeed, "115200") << "the window can't cancel";
  EXPECT_EQ(Settings.SavedMicromiteSpeed, "115200");
}

TEST_F(ConfigureWindowTest, ReopeningDropsTheOpenWindowWithoutItsClosingSteps) {
  Start();
  Open();
  TkClickControl(kArduinoOption);
  TkSetSpinValue(kPgdField, 42);
  TkResizeWindow(kConfigureWindow, 520, 320);
  Pump(20);
  // The main window's button works while the Configure window is open.
  Open();
  EXPECT_EQ(Settings.MasterDevice, "Arduino");
  EXPECT_EQ(Settings.PgdPin, 3);
  EXPECT_EQ(TkGetSpinValue(kPgdField), 3);
  EXPECT_TRUE(TkIsChecked(kArduinoOption));
  EXPECT_EQ(Settings.ConfigWindowWidth, 492);
  int w = 0, h = 0;
  TkWindowInnerSize(kConfigureWindow, w, h);
  EXPECT_EQ(w, 492);
  EXPECT_EQ(TkGetText(kStatusLine), "Programming using micromite on com4") << "no closing steps ran";
  TkResizeWindow(kConfigureWindow, 520, 320);
  CloseWithOk();
  EXPECT_EQ(Settings.ConfigWindowWidth, 520);
  EXPECT_EQ(Settings.ConfigWindowHeight, 320);
  EXPECT_EQ(TkGetText(kStatusLine), "Programming using Arduino on com4");
}

TEST_F(ConfigureWindowTest, NoPortFoundLeavesTheListEmpty) {
  Start({"Max port no = 0", "comport = com7"});
  Open();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().caption, "OOPS!");
  EXPECT_EQ(boxes.back().text, "No com ports found");
  EXPECT_EQ(TkListCount(kPortList), 0);
  CloseWithOk();
  EXPECT_EQ(Settings.ComPort, "com7");
}

}  // namespace
