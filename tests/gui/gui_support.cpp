#include "gui_support.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>

#include <map>

#include "platform/paths.h"
#include "platform/text.h"
#endif

#include "platform/clock.h"
#include "settings/settings.h"
#include "ui/message_box.h"
#include "ui/output_log.h"

std::vector<SeenBox> WindowedTest::boxes;
WindowedTest* WindowedTest::current = nullptr;


void WindowedTest::SetUp() {
  boxes.clear();
  current = this;
  TkDialogShownHook = [] {
    SeenBox box{TkCurrentBoxCaption(), TkCurrentBoxText()};
    WindowedTest::boxes.push_back(box);
    if (WindowedTest::current && WindowedTest::current->onDialog) {
      WindowedTest::current->onDialog();
      // A failed assertion inside must not leave the box up for ever.
      if (TkDialogPending()) TkAnswerDialog(TkBoxAnswer::No);
    } else {
      // OK for an OK box, No for a question, cancel for the file dialog.
      TkAnswerDialog(TkBoxAnswer::No);
    }
  };
  settingsPath = dir.File("Korvane.inf");
}

void WindowedTest::TearDown() {
  AttachLogView(nullptr);
  TkCloseAllWindows();
  TkDialogShownHook = nullptr;
  MessageBoxBackend = nullptr;
  MainWindowGeometrySource = nullptr;
  OutputLog.lines.clear();
  OutputLog.firstStale = 0;
  current = nullptr;
}

void WindowedTest::Start(const std::vector<std::string>& replacements, const std::vector<std::string>& args) {
  std::string text = ReadFile(KORVANE_TEST_DATA "/default-Korvane.inf");
  // Tests keep the port scan short.
  std::vector<std::string> all = {"Max port no = 1"};
  all.insert(all.end(), replacements.begin(), replacements.end());
  for (const std::string& r : all) {
    const std::string key = r.substr(0, r.find(" ="));
    const size_t at = text.find("\r\n" + key + " =");
    ASSERT_NE(at, std::string::npos) << key;
    const size_t end = text.find("\r\n", at + 2);
    text.replace(at + 2, end - at - 2, r);
  }
  WriteFile(settingsPath, text);
  std::vector<std::string> argv = {"korvane", "--settings", settingsPath};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  const CommandLine options = ParseCommandLine(static_cast<int>(pointers.size()), pointers.data());
  ASSERT_EQ(options.error, "");
  std::string error;
  ASSERT_TRUE(StartWindowed(options, error)) << error << " (run the GUI tests under xvfb-run -a)";
}

bool WindowedTest::Pump(int ms) {
  const int64_t until = MonotonicMs() + ms;
  while (MonotonicMs() < until)
    if (!RunEventLoopPass(5)) return false;
  return true;
}

std::string WindowedTest::SettingsFileText() const { return ReadFile(settingsPath); }

#ifdef _WIN32

namespace {
HWND TopWindow(int window) {
  const wchar_t* title = window == kMainWindow ? L"Korvane!" : window == kConfigureWindow ? L"Configure" : nullptr;
  return title ? FindWindowW(nullptr, title) : GetForegroundWindow();
}
}  // namespace

void WindowedTest::ScreenPoint(int window, int control, int& x, int& y) {
  int cx = 0, cy = 0, cw = 0, ch = 0;
  ASSERT_TRUE(TkControlRect(control, cx, cy, cw, ch));
  HWND h = TopWindow(window);
  ASSERT_NE(h, nullptr);
  POINT p{cx + cw / 2, cy + ch / 2};
  ClientToScreen(h, &p);
  x = p.x;
  y = p.y;
}

// Real input through the window system's own queue.
void XClickAt(int x, int y) {
  SetCursorPos(x, y);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
  SleepMs(100);
}

// Keys by their xdotool names: "Tab", "ctrl+Home", "x y z" (one after another).
void XKey(const std::string& keys) {
  static const std::map<std::string, WORD> named = {
      {"Tab", VK_TAB},      {"Return", VK_RETURN}, {"Home", VK_HOME}, {"End", VK_END}, {"ctrl", VK_CONTROL},
      {"shift", VK_SHIFT},  {"alt", VK_MENU},      {"Escape", VK_ESCAPE}, {"space", VK_SPACE},
      {"Up", VK_UP},        {"Down", VK_DOWN}};
  size_t start = 0;
  while (start < keys.size()) {
    size_t end = keys.find(' ', start);
    if (end == std::string::npos) end = keys.size();
    const std::string combo = keys.substr(start, end - start);
    start = end + 1;
    std::vector<WORD> held;
    size_t from = 0;
    for (;;) {
      const size_t plus = combo.find('+', from);
      const std::string name = combo.substr(from, plus == std::string::npos ? std::string::npos : plus - from);
      auto it = named.find(name);
      if (it != named.end())
        held.push_back(it->second);
      else if (name.size() == 1)
        held.push_back(static_cast<WORD>(VkKeyScanW(static_cast<wchar_t>(name[0])) & 0xFF));
      if (plus == std::string::npos) break;
      from = plus + 1;
    }
    std::vector<INPUT> in;
    for (WORD vk : held) {
      INPUT i = {};
      i.type = INPUT_KEYBOARD;
      i.ki.wVk = vk;
      in.push_back(i);
    }
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
      INPUT i = {};
      i.type = INPUT_KEYBOARD;
      i.ki.wVk = *it;
      i.ki.dwFlags = KEYEVENTF_KEYUP;
      in.push_back(i);
    }
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
  }
  SleepMs(100);
}

void SaveScreenshot(int window, const std::string& name) {
  MakeFolders(KORVANE_SCREENSHOT_DIR "/");
  const std::string ppm = std::string(KORVANE_SCREENSHOT_DIR "/") + name + "-win32.ppm";
  ASSERT_TRUE(TkSaveScreenshot(window, ppm)) << name;
}

#else

void WindowedTest::ScreenPoint(int window, int control, int& x, int& y) {
  int wx = 0, wy = 0, cx = 0, cy = 0, cw = 0, ch = 0;
  ASSERT_TRUE(TkWindowOuterPosition(window, wx, wy));
  ASSERT_TRUE(TkControlRect(control, cx, cy, cw, ch));
  // Without a window manager the outer frame is the client area.
  x = wx + cx + cw / 2;
  y = wy + cy + ch / 2;
}

void XClickAt(int x, int y) {
  const std::string cmd = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  SleepMs(100);  // the X server delivers the click to the program's queue
}

void XKey(const std::string& key) {
  const std::string cmd = "xdotool key " + key;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  SleepMs(100);
}

void SaveScreenshot(int window, const std::string& name) {
  const std::string ppm = std::string(KORVANE_SCREENSHOT_DIR "/") + name + ".ppm";
  const std::string png = std::string(KORVANE_SCREENSHOT_DIR "/") + name + ".png";
  std::system("mkdir -p '" KORVANE_SCREENSHOT_DIR "'");
  ASSERT_TRUE(TkSaveScreenshot(window, ppm)) << name;
  const std::string cmd = "convert " + ShellQuote(ppm) + " -strip" + " " + ShellQuote(png) + " && rm -f " + ShellQuote(ppm);
  std::system(cmd.c_str());
}

#endif  // _WIN32
