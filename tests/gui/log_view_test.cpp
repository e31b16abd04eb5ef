// The log view with much text and text outside ASCII, on whatever toolkit
// backend the build has.
#include <gtest/gtest.h>

#include "gui_support.h"
#include "ui/output_log.h"

namespace {

using LogViewTest = WindowedTest;

// A control's default text limit (64 KB on some systems) must never cut the
// log off.
TEST_F(LogViewTest, ALongLogIsShownWhole) {
  Start();
  ClearLog();
  std::string expected;
  const std::string line(70, '#');
  for (int i = 0; i < 4000; ++i) {  // about 300 KB
    AppendLogLine(std::to_string(i) + line);
    expected += (i ? "\n" : "") + std::to_string(i) + line;
  }
  RefreshLog();
  EXPECT_EQ(TkLogLength(kLogView), expected.size());
  EXPECT_TRUE(TkGetText(kLogView) == expected) << "the view holds " << TkGetText(kLogView).size() << " bytes";
  EXPECT_EQ(OutputLog.view->LineCount(), 4000u);
  size_t start = 1, end = 2, caret = 0;
  TkLogSelection(kLogView, start, end, caret);
  EXPECT_EQ(start, end);
  EXPECT_EQ(caret, expected.size());
  EXPECT_TRUE(TkLogEndVisible(kLogView));
}

// Offsets into the view stay right after characters of two, three and four
// bytes: a replaced last line after them is cut and rewritten exactly.
TEST_F(LogViewTest, NonAsciiLinesAreRebuiltExactly) {
  Start();
  ClearLog();
  const std::vector<std::string> lines = {"caf\xC3\xA9", "\xE2\x82\xAC 5", "\xF0\x9F\x94\x8C plug", "progress"};
  for (const std::string& l : lines) AppendLogLine(l);
  RefreshLog();
  ReplaceLastLogLine("progress \xC3\xA9t\xC3\xA9");
  AppendLogLine("Success!");
  RefreshLog();
  const std::string expected =
      "caf\xC3\xA9\n\xE2\x82\xAC 5\n\xF0\x9F\x94\x8C plug\nprogress \xC3\xA9t\xC3\xA9\nSuccess!";
  EXPECT_EQ(TkGetText(kLogView), expected);
  size_t start = 1, end = 2, caret = 0;
  TkLogSelection(kLogView, start, end, caret);
  EXPECT_EQ(caret, expected.size());
  EXPECT_EQ(OutputLog.view->LineCount(), 5u);
}

}  // namespace
