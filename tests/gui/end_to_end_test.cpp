// The real program under the X server, driven with xdotool.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/clock.h"
#include "test_support.h"

namespace {

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// The id of the first window with exactly this title, waiting up to 10 s.
std::string WaitForWindow(const std::string& title) {
  for (int i = 0; i < 100; ++i) {
    const CommandResult r = RunCommand("xdotool search --name " + ShellQuote("^" + title + "$") + " 2>/dev/null");
    const std::string id = Trim(r.out.substr(0, r.out.find('\n')));
    if (!id.empty()) return id;
    SleepMs(100);
  }
  return "";
}

struct Geometry {
  int x = -1, y = -1, w = -1, h = -1;
};
Geometry WindowGeometry(const std::string& id) {
  const CommandResult r = RunCommand("xdotool getwindowgeometry --shell " + id);
  Geometry g;
  std::sscanf(r.out.c_str(), "WINDOW=%*d\nX=%d\nY=%d\nWIDTH=%d\nHEIGHT=%d", &g.x, &g.y, &g.w, &g.h);
  return g;
}

TEST(EndToEnd, StartsConfirmsDeclinesAndSavesOnClose) {
  TempFolder dir;
  const std::string settings = dir.File("Korvane.inf");
  const std::string out = dir.File("out.txt");
  // A HEX argument with blanks reaches the confirmation whole; a second one is ignored.
  const std::string command = ShellQuote(KORVANE_BINARY) + " --settings " + ShellQuote(settings) + " " +
                              ShellQuote(dir.path + "my chips/a.hex") + " second.hex >" + out + " 2>&1 & echo $!";
  const std::string pid = Trim(RunCommand(command).out);
  ASSERT_FALSE(pid.empty());

  const std::string main = WaitForWindow("Korvane!");
  ASSERT_FALSE(main.empty()) << ReadFile(out);
  const std::string confirm = WaitForWindow("Confirm, do you want to flash: ");
  ASSERT_FALSE(confirm.empty());
  const Geometry m = WindowGeometry(main);
  EXPECT_EQ(m.x, 200);
  EXPECT_EQ(m.y, 200);
  EXPECT_EQ(m.w, 700);
  EXPECT_EQ(m.h, 287);

  // "No": the box's second button, at its bottom right.
  const Geometry b = WindowGeometry(confirm);
  RunCommand("xdotool mousemove " + std::to_string(b.x + b.w - 56) + " " + std::to_string(b.y + b.h - 28) +
             " click 1");
  for (int i = 0; i < 50 && !Trim(RunCommand("xdotool search --name '^Confirm' 2>/dev/null").out).empty(); ++i)
    SleepMs(100);
  EXPECT_TRUE(Trim(RunCommand("xdotool search --name '^Confirm' 2>/dev/null").out).empty());

  // The close box's request ends the program through its exit sequence.
  ASSERT_EQ(RunCommand(ShellQuote(KORVANE_X_CLOSE) + " " + main).status, 0);
  int status = -1;
  for (int i = 0; i < 100; ++i) {
    const CommandResult r = RunCommand("kill -0 " + pid + " 2>/dev/null");
    if (r.status != 0) break;
    SleepMs(100);
  }
  const CommandResult gone = RunCommand("kill -0 " + pid + " 2>/dev/null");
  EXPECT_NE(gone.status, 0) << "still running";
  (void)status;
  EXPECT_EQ(ReadFile(settings), ReadFile(KORVANE_TEST_DATA "/default-Korvane.inf")) << ReadFile(out);
}

TEST(EndToEnd, WithoutADisplayItSaysSoAndFails) {
  TempFolder dir;
  const CommandResult r = RunCommand("env -u DISPLAY " + ShellQuote(KORVANE_BINARY) + " --settings " +
                                     ShellQuote(dir.File("Korvane.inf")));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("display"), std::string::npos) << r.err;
  EXPECT_EQ(r.status, 1) << "a crash is not a clean failure";
}

}  // namespace

namespace {

// With a window manager the frame lies around the client area: the stored
// position is the frame's, and a window opened with it has its frame there.
TEST(EndToEnd, StoredPositionIsTheFramesUnderAWindowManager) {
  if (RunCommand("command -v openbox").status != 0) GTEST_SKIP() << "no window manager (openbox) installed";
  TempFolder dir;
  WriteFile(dir.File("Korvane.inf"), ReadFile(KORVANE_TEST_DATA "/default-Korvane.inf"));
  const CommandResult r = RunCommand("xvfb-run -a sh " + ShellQuote(KORVANE_TEST_SOURCE "/frame_round_trip.sh") +
                                     " " + ShellQuote(KORVANE_BINARY) + " " + ShellQuote(KORVANE_X_CLOSE) + " " +
                                     ShellQuote(dir.path));
  std::vector<std::string> frames;
  size_t at = 0;
  while ((at = r.out.find("frame ", at)) != std::string::npos) {
    frames.push_back(r.out.substr(at, r.out.find('\n', at) - at));
    at += 6;
  }
  ASSERT_EQ(frames.size(), 3u) << r.out << r.err;
  EXPECT_EQ(frames[0], "frame 200 200") << "opened with the default position";
  EXPECT_EQ(frames[2], frames[1]) << "reopened where it was closed";
  const std::string x = frames[1].substr(6, frames[1].find(' ', 6) - 6);
  const std::string y = frames[1].substr(frames[1].find(' ', 6) + 1);
  EXPECT_NE(r.out.find("MainX = " + x + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("MainY = " + y + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("client 640x300"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("MainW = 640\nMainH = 300"), std::string::npos) << r.out;
}

}  // namespace
