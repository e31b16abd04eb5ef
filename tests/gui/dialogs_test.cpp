#include <gtest/gtest.h>

#include "platform/paths.h"
#include "gui_support.h"
#include "settings/settings.h"
#include "ui/gui/configure_window.h"
#include "ui/gui/dialogs.h"

namespace {

using DialogsTest = WindowedTest;

TEST(HexDialogStart, FolderAndNameFromTheLastFile) {
  struct Case {
    const char* folder;
    const char* file;
    const char* startFolder;
    const char* startName;
  };
#ifdef _WIN32
  const Case cases[] = {
      {"", "*.hex", "", ""},
      {"C:\\chips\\", "blink.hex", "C:\\chips", "blink.hex"},
      {"C:\\chips\\", "what?.hex", "C:\\chips", ""},
      {"C:\\my chips\\", "*.hex", "C:\\my chips", ""},
      {"C:/chips/", "blink.hex", "", ""},  // "/" only: neither folder nor name
      {"", "blink.hex", "", "blink.hex"},
      {"\\", "blink.hex", "", ""},  // a "\\" in the first place does not count
      {"C:\\", "a|b.hex", "C:", ""},
      {"C:\\ann\\", "", "C:\\ann", ""},
  };
#else
  const Case cases[] = {
      {"", "*.hex", "", ""},
      {"/home/ann/chips/", "blink.hex", "/home/ann/chips", "blink.hex"},
      {"/home/ann/chips/", "what?.hex", "/home/ann/chips", ""},
      {"/home/ann/chips/", "*.hex", "/home/ann/chips", ""},
      {"C:\\chips\\", "blink.hex", "", ""},
      {"", "blink.hex", "", "blink.hex"},
      {"", "/blink.hex", "", ""},
      {"/", "blink.hex", "", ""},
      {"/home/ann/", "a|b.hex", "/home/ann", ""},
      {"/home/ann/", "tab\there.hex", "/home/ann", ""},
      {"/home/ann/", "", "/home/ann", ""},
  };
#endif
  for (const Case& c : cases) {
    const HexDialogStart s = HexDialogStartFrom(c.folder, c.file);
    EXPECT_EQ(s.folder, c.startFolder) << c.folder << c.file;
    EXPECT_EQ(s.name, c.startName) << c.folder << c.file;
  }
}

TEST_F(DialogsTest, InfoBoxShowsTheTwentyPiecesAsLines) {
  Start();
  onDialog = [] {
    SaveScreenshot(kTkDialogWindow, "info");
    TkAnswerDialog(TkBoxAnswer::Ok);
  };
  ShowInfo();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Info");
  const std::string text = boxes[0].text;
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t at; (at = text.find('\r', from)) != std::string::npos; from = at + 1)
    lines.push_back(text.substr(from, at - from));
  EXPECT_EQ(from, text.size()) << "the text ends with a line end";
  ASSERT_EQ(lines.size(), 25u);
  EXPECT_EQ(lines[0], "Korvane");
  EXPECT_EQ(lines[24], " ");
  const size_t blanks[] = {1, 10, 14, 19, 24};
  for (size_t b : blanks) EXPECT_EQ(lines[b], " ") << b;
  EXPECT_EQ(lines[23], "This GUI by Emberholt");
  EXPECT_EQ(lines[16], "calls the external program pic32prog.exe to progam your target chip.");
}

TEST_F(DialogsTest, ConfirmFlashAnswersWithThePathOrNothing) {
  Start();
  const std::string path = "/home/ann/my chips/a.hex";
  onDialog = [this] {
    int x = 0, y = 0, w = 0, h = 0;
    TkWindowOuterPosition(kTkDialogWindow, x, y);
    TkWindowInnerSize(kTkDialogWindow, w, h);
    std::system(("xdotool mousemove " + std::to_string(x + w / 2) + " " + std::to_string(y + 10)).c_str());
    XKey("Return");
    Pump(100);
    if (TkDialogPending()) TkAnswerDialog(TkBoxAnswer::No);
  };
  EXPECT_EQ(ConfirmFlash(path), path) << "Enter answers Yes";
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Confirm, do you want to flash: ");
  EXPECT_EQ(boxes[0].text, path + " ?");
  onDialog = [] { TkAnswerDialog(TkBoxAnswer::No); };
  EXPECT_EQ(ConfirmFlash(path), "");
}

// Every box is modal for the whole program, and puts back exactly the
// windows it disabled.
TEST_F(DialogsTest, BoxesBlockTheOtherWindows) {
  Start();
  TkClickControl(kConfigureButton);
  Pump(50);
  ASSERT_TRUE(TkWindowExists(kConfigureWindow));
  boxes.clear();

  int cx = 0, cy = 0;
  ScreenPoint(kMainWindow, kConfigureButton, cx, cy);
  bool mainEnabled = true, configEnabled = true;
  onDialog = [&] {
    mainEnabled = TkWindowEnabled(kMainWindow);
    configEnabled = TkWindowEnabled(kConfigureWindow);
    XClickAt(cx, cy);  // a real click on "Configure" while the box is up
    Pump(50);
    TkAnswerDialog(TkBoxAnswer::Ok);
  };
  ShowMessageBox("OOPS!", "No com ports found", BoxButtons::Ok);
  EXPECT_FALSE(mainEnabled);
  EXPECT_FALSE(configEnabled);
  EXPECT_TRUE(TkWindowEnabled(kMainWindow));
  EXPECT_TRUE(TkWindowEnabled(kConfigureWindow));
  onDialog = nullptr;
  Pump(100);
  EXPECT_EQ(boxes.size(), 1u) << "the click reopened the Configure window (its scan would show a box)";

  // A window disabled before the box stays disabled after it.
  TkEnableWindow(kConfigureWindow, false);
  onDialog = [] { TkAnswerDialog(TkBoxAnswer::Yes); };
  EXPECT_EQ(ShowMessageBox("micromite", "Change baudrate back to 38400 ?", BoxButtons::YesNo), BoxAnswer::Yes);
  EXPECT_TRUE(TkWindowEnabled(kMainWindow));
  EXPECT_FALSE(TkWindowEnabled(kConfigureWindow));
}

TEST_F(DialogsTest, FileDialogStartsFromTheLastFile) {
  Start();
  TempFolder chips;
  Settings.HexFolder = chips.path;
  Settings.HexFile = "blink.hex";
  TkFileDialogState seen;
  TkDialogAnswerPath = chips.File("new.hex");  // does not exist: that is allowed
  onDialog = [&] {
    seen = TkCurrentFileDialog();
    bool mainEnabled = TkWindowEnabled(kMainWindow);
    EXPECT_FALSE(mainEnabled);
    TkAnswerDialog(TkBoxAnswer::Ok);
  };
  EXPECT_EQ(ChooseHexFile(), chips.File("new.hex"));
  EXPECT_EQ(seen.title, "HEX file");
  EXPECT_EQ(seen.folder.back() == PathSeparator() ? seen.folder : seen.folder + PathSeparator(), chips.path);
  EXPECT_EQ(seen.name, "blink.hex");
  EXPECT_EQ(seen.filter, "HEX (*.hex)");

  // The defaults: no name in the field, the HEX filter, the current folder.
  Settings.HexFolder = "";
  Settings.HexFile = "*.hex";
  onDialog = [&] {
    seen = TkCurrentFileDialog();
    TkAnswerDialog(TkBoxAnswer::No);
  };
  EXPECT_EQ(ChooseHexFile(), "");
  EXPECT_EQ(seen.name, "");
  EXPECT_EQ(seen.filter, "HEX (*.hex)");

  // Cancelling, a folder that doesn't exist and a path too long for the
  // buffer all give "".
  onDialog = [] { TkAnswerDialog(TkBoxAnswer::No); };
  EXPECT_EQ(ChooseHexFile(), "");
  onDialog = [] { TkAnswerDialog(TkBoxAnswer::Ok); };
  TkDialogAnswerPath = chips.File("missing/a.hex");
  EXPECT_EQ(ChooseHexFile(), "");
  TkDialogAnswerPath = chips.File(std::string(260, 'a') + ".hex");
  EXPECT_EQ(ChooseHexFile(), "");
}

}  // namespace
