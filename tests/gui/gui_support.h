// The windowed program in-process: a fixture that starts it with its own
// settings file and answers every box the test doesn't answer itself.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "ui/gui/app.h"
#include "ui/gui/toolkit.h"

struct SeenBox {
  std::string caption;
  std::string text;
};

class WindowedTest : public ::testing::Test {
 protected:
  TempFolder dir;
  std::string settingsPath;
  // Called while a box or the file dialog is up; the default answers OK/No.
  std::function<void()> onDialog;
  static std::vector<SeenBox> boxes;
  static WindowedTest* current;

  void SetUp() override;
  void TearDown() override;
  // Writes the default settings file with `replacements` ("key = value" lines
  // put in place of the lines with the same key) and starts the program.
  void Start(const std::vector<std::string>& replacements = {}, const std::vector<std::string>& args = {});
  // Runs loop passes for about `ms` milliseconds; false once the loop ended.
  bool Pump(int ms);
  std::string SettingsFileText() const;
  // Rect of a control in screen coordinates (client origin + control).
  void ScreenPoint(int window, int control, int& x, int& y);
};

// Sends real pointer and key input through the X server.
void XClickAt(int x, int y);
void XKey(const std::string& key);

// Saves the window's client area as PNG under the build folder.
void SaveScreenshot(int window, const std::string& name);
