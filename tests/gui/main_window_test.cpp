#include <gtest/gtest.h>

#include "gui_support.h"
#include "platform/clock.h"
#include "settings/settings.h"
#include "ui/gui/configure_window.h"
#include "ui/output_log.h"

namespace {

struct Rect {
  int x, y, w, h;
  bool operator==(const Rect&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Rect& r) {
  return o << r.x << "," << r.y << " " << r.w << "x" << r.h;
}
Rect ControlRect(int control) {
  Rect r{-1, -1, -1, -1};
  TkControlRect(control, r.x, r.y, r.w, r.h);
  return r;
}

using MainWindowTest = WindowedTest;

TEST_F(MainWindowTest, DefaultSettingsOpenTheTabledWindow) {
  Start();
  int x = 0, y = 0, w = 0, h = 0;
  ASSERT_TRUE(TkWindowOuterPosition(kMainWindow, x, y));
  ASSERT_TRUE(TkWindowInnerSize(kMainWindow, w, h));
  EXPECT_EQ(Rect(x, y, w, h), Rect(200, 200, 700, 287));

  struct Expect {
    int id;
    Rect rect;
    const char* text;
  };
  const Expect controls[] = {
      {kConfigureButton, {10, 10, 90, 20}, "Configure"},
      {kProgramMasterButton, {110, 10, 110, 20}, "Program Master"},
      {kProgramTargetButton, {240, 10, 110, 20}, "Program Target"},
      {kInfoButton, {370, 10, 20, 20}, "?"},
      {kLogView, {10, 35, 680, 242}, ""},
      {kStatusLine, {400, 15, 250, 20}, "Programming using micromite on com4"},
  };
  for (const Expect& c : controls) {
    EXPECT_EQ(ControlRect(c.id), c.rect) << c.id;
    EXPECT_EQ(TkGetText(c.id), c.text) << c.id;
  }
  EXPECT_TRUE(boxes.empty()) << "no argument: no question";
  // A log as a run leaves it, for the screenshot.
  for (const char* line : {"Programming slave device", "Connected to Master at 38400", "Baud Rate changed to 115200",
                           "RUN\r\n", "-d ascii:com4 \"/home/ann/chips/blink.hex\"",
                           "Programmer for Microchip PIC32 microcontrollers, Version 2.0.220",
                           "    Processor: MX170F256B", "Program flash: ##################### done",
                           " Verify flash: #################### done", "", "Success!",
                           "Programming completed in 9.342 seconds"})
    AppendLogLine(line);
  RefreshLog();
  SaveScreenshot(kMainWindow, "main");
  std::printf("log font: %s\n", TkLogFontName().c_str());
}

TEST_F(MainWindowTest, ResizeMovesOnlyTheLogView) {
  Start();
  TkResizeWindow(kMainWindow, 800, 400);
  Pump(50);
  EXPECT_EQ(ControlRect(kLogView), Rect(10, 35, 780, 355));
  EXPECT_EQ(ControlRect(kInfoButton), Rect(370, 10, 20, 20));
  EXPECT_EQ(ControlRect(kStatusLine), Rect(400, 15, 250, 20));
}

// While a procedure refreshes the log, clicks, close and size requests are
// served by the toolkit but never reach the program.
TEST_F(MainWindowTest, EventsMetDuringARefreshAreDropped) {
  Start();
  int x = 0, y = 0;
  ScreenPoint(kMainWindow, kInfoButton, x, y);

  // The real click reaches the program when nothing runs...
  XClickAt(x, y);
  Pump(100);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Info");

  // ...and is dropped when it arrives while a run refreshes.
  boxes.clear();
  AppendLogLine("Programming slave device");
  XClickAt(x, y);
  TkClickControl(kProgramTargetButton);
  TkRequestClose(kMainWindow);
  TkResizeWindow(kMainWindow, 800, 400);
  RefreshLog();
  EXPECT_TRUE(Pump(200)) << "the close request ended the program";
  EXPECT_TRUE(boxes.empty()) << "a click started an action";
  int w = 0, h = 0;
  TkWindowInnerSize(kMainWindow, w, h);
  EXPECT_EQ(Rect(0, 0, w, h), Rect(0, 0, 800, 400)) << "the window itself is resized";
  EXPECT_EQ(ControlRect(kLogView), Rect(10, 35, 680, 242)) << "its size event was dropped";
  EXPECT_EQ(TkGetText(kLogView), "Programming slave device");
}

TEST_F(MainWindowTest, ExitWritesTheDefaultFileByteForByte) {
  std::remove(settingsPath.c_str());
  std::vector<std::string> none;
  Start();
  std::remove(settingsPath.c_str());
  // As loaded with no file at all, apart from the short scan.
  Settings.MaxPortNumber = 32;
  TkRequestClose(kMainWindow);
  EXPECT_FALSE(Pump(1000));
  RunExitSequence();
  EXPECT_FALSE(TkWindowExists(kMainWindow));
  EXPECT_EQ(SettingsFileText(), ReadFile(KORVANE_TEST_DATA "/default-Korvane.inf"));
  EXPECT_TRUE(boxes.empty()) << "nothing to restore: no question";
}

TEST_F(MainWindowTest, GeometryAtExitIsWhereTheNextStartOpens) {
  Start({"MainX = 120", "MainY = 90", "MainW = 640", "MainH = 300"});
  int x = 0, y = 0, w = 0, h = 0;
  TkWindowOuterPosition(kMainWindow, x, y);
  TkWindowInnerSize(kMainWindow, w, h);
  EXPECT_EQ(Rect(x, y, w, h), Rect(120, 90, 640, 300));
  TkResizeWindow(kMainWindow, 810, 420);
  TkRequestClose(kMainWindow);
  EXPECT_FALSE(Pump(1000));
  RunExitSequence();
  const std::string text = SettingsFileText();
  for (const char* line : {"MainX = 120\r\n", "MainY = 90\r\n", "MainW = 810\r\n", "MainH = 420\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(MainWindowTest, ClosingWithConfigureOpenSavesOnlyTheImmediateChoices) {
  Start();
  TkClickControl(kConfigureButton);
  Pump(100);
  ASSERT_TRUE(TkWindowExists(kConfigureWindow));
  TkClickControl(kArduinoOption);
  TkSelectListItem(kArduinoSpeedList, 0);
  TkSetSpinValue(kPgdField, 9);
  TkSetSpinValue(kLineDelayField, 20);
  TkResizeWindow(kConfigureWindow, 600, 350);
  Pump(50);
  TkRequestClose(kMainWindow);
  EXPECT_FALSE(Pump(1000));
  RunExitSequence();
  EXPECT_FALSE(TkWindowExists(kConfigureWindow));
  const std::string text = SettingsFileText();
  for (const char* line : {"Master Device = Arduino\r\n", "A SerialSpeed = -b1\r\n", "PGD = 3\r\n",
                           "LineDelay = 150\r\n", "ConfigW = 492\r\n", "ConfigH = 295\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

// The log view shows the log's lines joined by line breaks after each
// refresh, with its end in view, whatever changed in between.
TEST_F(MainWindowTest, LogViewFollowsTheLog) {
  Start();
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    std::string shown;
  };
  const Case cases[] = {
      {"empty", {}, ""},
      {"one empty line", {""}, ""},
      {"empty then Success!", {"", "Success!"}, "\nSuccess!"},
      {"Success! then empty", {"Success!", ""}, "Success!\n"},
      {"reply with CR LF pairs", {"RUN", "> RUN\r\nStarting\r\n> "}, "RUN\n> RUN\nStarting\n> "},
      {"lone CR and LF", {"a\rb\nc"}, "a\nb\nc"},
      {"line ending in a lone CR", {"RUN\r", "> ", "\r"}, "RUN\n> \n\n"},
  };
  for (const Case& c : cases) {
    ClearLog();
    for (const std::string& l : c.lines) AppendLogLine(l);
    RefreshLog();
    EXPECT_EQ(TkGetText(kLogView), c.shown) << c.name;
    size_t start = 1, end = 2, caret = 0;
    TkLogSelection(kLogView, start, end, caret);
    EXPECT_EQ(start, end) << c.name << ": nothing selected";
    EXPECT_EQ(caret, c.shown.size()) << c.name << ": caret after the last character";
    EXPECT_EQ(OutputLog.view->LineCount(), c.lines.empty() ? 0u : 1 + std::count(c.shown.begin(), c.shown.end(), '\n'))
        << c.name;
  }

  // Appends stay unseen until the refresh; a replaced last line and lines
  // after it are rebuilt, earlier lines stay.
  ClearLog();
  for (int i = 0; i < 300; ++i) AppendLogLine("line " + std::to_string(i));
  RefreshLog();
  const std::string before = TkGetText(kLogView);
  AppendLogLine("");
  AppendLogLine("x");
  EXPECT_EQ(TkGetText(kLogView), before) << "not yet refreshed";
  ReplaceLastLogLine("Success!");
  RefreshLog();
  // A rebuilt line after one that ends in "\r" still has one break before it.
  AppendLogLine("Verify\r");
  AppendLogLine("");
  RefreshLog();
  ReplaceLastLogLine("done");
  RefreshLog();
  const std::string shown = TkGetText(kLogView);
  EXPECT_TRUE(shown.ends_with("line 299\n\nSuccess!\nVerify\ndone")) << shown.substr(shown.size() - 40);
  ClearLog();
  for (int i = 0; i < 300; ++i) AppendLogLine("line " + std::to_string(i));
  AppendLogLine("");
  AppendLogLine("Success!");
  RefreshLog();
  std::string expected;
  for (int i = 0; i < 300; ++i) expected += "line " + std::to_string(i) + "\n";
  expected += "\nSuccess!";
  EXPECT_EQ(TkGetText(kLogView), expected);
  EXPECT_TRUE(TkLogEndVisible(kLogView));

  // What the user types is gone after the next refresh.
  int x = 0, y = 0;
  ScreenPoint(kMainWindow, kLogView, x, y);
  XClickAt(x, y);
  XKey("ctrl+Home");
  XKey("x y z");
  Pump(50);
  EXPECT_NE(TkGetText(kLogView), expected) << "typing reached the view";
  RefreshLog();
  EXPECT_EQ(TkGetText(kLogView), expected);
  EXPECT_EQ(OutputLog.lines[OutputLog.lines.size() - 1], "Success!");
}

}  // namespace

namespace {

// The speed offer at exit comes only for an exactly spelled "micromite" whose
// speed was switched; it is followed by a second's pause, and the answer is
// what gets saved.
TEST_F(MainWindowTest, ExitOffersTheSpeedBackOnlyWhenSwitched) {
  struct Case {
    const char* device;
    const char* speed;
    bool asked;
  };
  const Case cases[] = {
      {"micromite", "115200", true},
      {"micromite", "38400", false},
      {"Micromite", "115200", false},
      {"Arduino", "115200", false},
  };
  for (const Case& c : cases) {
    Start({std::string("Master Device = ") + c.device});
    Settings.MicromiteSpeed = c.speed;
    Settings.SavedMicromiteSpeed = "38400";
    boxes.clear();
    onDialog = [] { TkAnswerDialog(TkBoxAnswer::No); };
    TkRequestClose(kMainWindow);
    EXPECT_FALSE(Pump(1000));
    const int64_t t0 = MonotonicMs();
    RunExitSequence();
    const int64_t took = MonotonicMs() - t0;
    if (c.asked) {
      ASSERT_EQ(boxes.size(), 1u) << c.device;
      EXPECT_EQ(boxes[0].caption, "micromite");
      EXPECT_EQ(boxes[0].text, "Change baudrate back to 38400 ?");
      EXPECT_GE(took, 1000) << "the last lines stay a second";
    } else {
      EXPECT_TRUE(boxes.empty()) << c.device << " " << c.speed;
      EXPECT_LT(took, 1000);
    }
    EXPECT_NE(SettingsFileText().find(std::string("uM SerialSpeed = ") + c.speed + "\r\n"), std::string::npos)
        << "declined: the switched speed is saved";
    TearDown();
    SetUp();
  }
}

TEST_F(MainWindowTest, HexFileOnTheCommandLineIsConfirmedFirst) {
  const std::string hex = dir.File("my chips/a.hex");
  onDialog = [] { TkAnswerDialog(TkBoxAnswer::No); };
  Start({"Master Device = Arduino"}, {hex, "second.hex"});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Confirm, do you want to flash: ");
  EXPECT_EQ(boxes[0].text, hex + " ?");
  EXPECT_TRUE(OutputLog.lines.empty()) << "No: nothing is programmed";
  TearDown();
  SetUp();

  onDialog = [] { TkAnswerDialog(TkBoxAnswer::Yes); };
  Start({"Master Device = Arduino"}, {hex});
  ASSERT_GE(OutputLog.lines.size(), 4u);
  EXPECT_EQ(OutputLog.lines[0], "Programming slave device");
  EXPECT_EQ(Settings.HexFile, "a.hex");
  EXPECT_EQ(TkGetText(kLogView).substr(0, 24), "Programming slave device") << "the log was refreshed";
  EXPECT_TRUE(Pump(20)) << "the loop starts afterwards";
}

}  // namespace
