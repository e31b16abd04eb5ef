// The Windows build of the program (korvane.exe) run under Wine, against the
// Windows build of the stand-in tool, the simulated Micromite on a pty that
// Wine maps to a COM port, and a real window on the X server.
//
// KORVANE_WINE_EXE and KORVANE_WINE_TOOL name korvane.exe and
// fake-pic32prog.exe of a Windows build; without them these tests are
// skipped. WINEPREFIX, when set, is the Wine prefix to use, KORVANE_WINE the
// Wine loader.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/clock.h"
#include "platform/paths.h"
#include "test_support.h"

namespace {

struct WineSetup {
  std::string exe, tool, prefix, wine;
};

bool FindWine(WineSetup& w) {
  const char* exe = std::getenv("KORVANE_WINE_EXE");
  const char* tool = std::getenv("KORVANE_WINE_TOOL");
  if (!exe || !*exe || !tool || !*tool) return false;
  w.exe = exe;
  w.tool = tool;
  const char* prefix = std::getenv("WINEPREFIX");
  w.prefix = prefix && *prefix ? prefix : "/tmp/korvane-wine-" + std::to_string(getuid());
  // Debian keeps the 64-bit loader off PATH.
  const char* loader = std::getenv("KORVANE_WINE");
  w.wine = loader && *loader ? loader : FileExists("/usr/lib/wine/wine64") ? "/usr/lib/wine/wine64" : "wine64";
  return true;
}

// The DOS name Wine gives a Unix path (drive Z: is the root).
std::string DosPath(const std::string& path) {
  std::string out = "Z:" + path;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

class WineTest : public ::testing::Test {
 protected:
  WineSetup wine;
  TempFolder dir;  // the program's folder: korvane.exe, pic32prog.exe, Korvane.inf
  std::vector<std::string> comLinks;

  void SetUp() override {
    if (!FindWine(wine)) GTEST_SKIP() << "no Windows build given (KORVANE_WINE_EXE, KORVANE_WINE_TOOL)";
    // Without a window manager on the X server, Wine draws the frames itself
    // and puts the whole window where Windows would.
    static bool unmanaged = false;
    if (!unmanaged) {
      unmanaged = true;
      RunCommand("env " + Env() + " " + ShellQuote(wine.wine) +
                 " reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /t REG_SZ /d N /f");
    }
    // Copies, not links: the program finds the tool beside its own file.
    RunCommand("cp " + ShellQuote(wine.exe) + " " + ShellQuote(dir.File("korvane.exe")) + " && cp " +
               ShellQuote(wine.tool) + " " + ShellQuote(dir.File("pic32prog.exe")));
  }
  void TearDown() override {
    for (const std::string& link : comLinks) unlink(link.c_str());
  }

  std::string Env() const {
    return "WINEPREFIX=" + ShellQuote(wine.prefix) + " WINEDEBUG=-all WINEDLLOVERRIDES=" +
           ShellQuote("winemenubuilder.exe=d;mscoree=d;mshtml=d");
  }

  // Makes COMn of the Wine prefix the device `target`.
  void MapComPort(int n, const std::string& target) {
    const std::string link = wine.prefix + "/dosdevices/com" + std::to_string(n);
    unlink(link.c_str());
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
    comLinks.push_back(link);
  }

  CommandResult Run(const std::string& args, const std::string& env = "") {
    return RunCommand("cd " + ShellQuote(dir.path) + " && env " + Env() + " " + env + " " + ShellQuote(wine.wine) + " korvane.exe --settings " +
                      ShellQuote(DosPath(dir.File("Korvane.inf"))) + " " + args);
  }

  std::string Settings() const { return ReadFile(dir.File("Korvane.inf")); }
  std::string SavedValue(const std::string& key) const {
    const std::string file = Settings();
    const size_t at = file.find(key + " = ");
    if (at == std::string::npos) return "";
    const size_t from = at + key.size() + 3;
    return file.substr(from, file.find('\r', from) - from);
  }
};

// ---- The target run ---------------------------------------------------------

TEST_F(WineTest, TargetRunShowsTheToolsOutputAndResult) {
  struct Case {
    const char* script;
    int status;
    const char* lines;  // after the parameter line
  };
  const Case cases[] = {
      {"out abc\\r\\ndef\\r\\n", 0, "abc\ndef\n\nSuccess!\n"},
      {"out x\\ny\\n", 0, "x\ny\n\nSuccess!\n"},  // a lone LF ends a line, as on Linux
      {"out 10%\\r20%\\r", 0, "10%\n20%\n\nSuccess!\n"},
      {"out ab\\bc\\r\\n", 0, "ac\n\nSuccess!\n"},
      {"out a\\0b\\r\\n", 0, "a\nSuccess!\n"},
      {"out oops\\r\\n\nexit 1", 1, "oops\n\nError code: 1\n"},
      // All 32 bits set: the Windows exit code itself, not a shell's 255.
      {"exit -1", 1, "\nError code: -1\n"},
  };
  // A folder with a blank in its name: the path reaches the tool as one argument.
  MakeFolders(dir.File("my chips/"));
  const std::string hex = DosPath(dir.File("my chips/app.hex"));
  WriteFile(dir.File("my chips/app.hex"), ":00000001FF\n");
  WriteSettings(dir, {{"General", "Master Device = Arduino"}, {"General", "comport = COM7"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    WriteFile(dir.File("script"), c.script);
    WriteFile(dir.File("record"), "");
    const CommandResult r = Run("--program-target " + ShellQuote(hex),
                                "FAKE_PIC32PROG_SCRIPT=" + ShellQuote(DosPath(dir.File("script"))) +
                                    " FAKE_PIC32PROG_RECORD=" + ShellQuote(DosPath(dir.File("record"))));
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(Visible(WithoutSeconds(r.out)), Visible("Programming slave device\n-d ascii:COM7 \"" + hex + "\"\n" +
                                                      c.lines + "Programming completed in S seconds\n\n\n\n"));
    const std::string record = ReadFile(dir.File("record"));
    EXPECT_EQ(record.substr(0, record.find("cwd: ")), "arg: -d\narg: ascii:COM7\narg: " + hex + "\n");
  }
  EXPECT_EQ(SavedValue("HEX Folder"), DosPath(dir.File("my chips/")));
  EXPECT_EQ(SavedValue("HEX File"), "app.hex");
}

TEST_F(WineTest, ANonAsciiPathOnTheCommandLineArrivesWhole) {
  // Outside every ANSI code page at once: only the wide command line holds it.
  const std::string name = "ch\xC3\xADp \xE2\x82\xAC \xD0\x96.hex";
  WriteFile(dir.File(name), ":00000001FF\n");
  WriteFile(dir.File("script"), "out ok\\r\\n");
  WriteSettings(dir, {{"General", "Master Device = Arduino"}, {"General", "comport = COM7"}});
  const CommandResult r = Run("--program-target " + ShellQuote(DosPath(dir.File(name))),
                              "FAKE_PIC32PROG_SCRIPT=" + ShellQuote(DosPath(dir.File("script"))));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("-d ascii:COM7 \"" + DosPath(dir.File(name)) + "\"\n"), std::string::npos) << r.out;
  EXPECT_EQ(SavedValue("HEX File"), name);
}

TEST_F(WineTest, AMissingToolGivesTheParameterLineAndTheTime) {
  unlink(dir.File("pic32prog.exe").c_str());
  WriteFile(dir.File("app.hex"), ":00000001FF\n");
  WriteSettings(dir, {{"General", "Master Device = Arduino"}, {"General", "comport = COM7"}});
  const CommandResult r = Run("--program-target " + ShellQuote(DosPath(dir.File("app.hex"))));
  EXPECT_EQ(r.status, 1);
  const std::string out = WithoutSeconds(r.out);
  EXPECT_EQ(out.rfind("Programming slave device\n-d ascii:COM7 \"" + DosPath(dir.File("app.hex")) + "\"\n", 0), 0u)
      << out;
  EXPECT_EQ(out.find("Success!"), std::string::npos);
  EXPECT_EQ(out.find("Error code"), std::string::npos);
  EXPECT_NE(out.find("Programming completed in S seconds\n"), std::string::npos);
}

// ---- The serial port and both procedures, against the simulated Micromite -----

TEST_F(WineTest, ProgramTargetSwitchesStartsAndRestoresAMicromiteOnAComPort) {
  // COM10 and above take the same road as COM1 to COM9.
  for (int n : {5, 12}) {
    SCOPED_TRACE(n);
    const std::string port = "COM" + std::to_string(n);
    Simulator sim;
    MapComPort(n, sim.port);
    WriteFile(dir.File("app.hex"), ":00000001FF\n");
    WriteFile(dir.File("script"), "out hello\\r\\n");
    WriteSettings(dir, {{"micromite", "uM SerialSpeed = 38400"},
                        {"micromite", "LineDelay = 100"},
                        {"General", "Master Device = micromite"},
                        {"General", "comport = " + port}});
    const CommandResult r = Run("--program-target " + ShellQuote(DosPath(dir.File("app.hex"))) + " --restore-speed=yes",
                                "FAKE_PIC32PROG_SCRIPT=" + ShellQuote(DosPath(dir.File("script"))));
    sim.Stop();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Visible(WithoutSeconds(r.out)),
              Visible("Programming slave device\n"
                      "Connected to Master at 38400\n"
                      "Connected to Master at 115200\n"
                      "Baud Rate changed to 115200\n"
                      "RUN\r\n\n"
                      "-d ascii:" + port + " \"" + DosPath(dir.File("app.hex")) + "\"\nhello\n\nSuccess!\n"
                      "Programming completed in S seconds\n"
                      "Connected to Master at 115200\n"
                      "OPTION BAUDRATE 38400\r\n\n"
                      "Port Speed changed back to 38400\n\n\n\n"));
    EXPECT_EQ(r.err, "micromite: Change baudrate back to 38400 ?\n");
    const std::vector<Burst> bursts = Bursts(sim.Events());
    const std::vector<std::pair<std::string, int>> expected = {
        {"\x03", 38400},  {"OPTION BAUDRATE 115200\r\n", 38400}, {"\x03", 115200}, {"RUN\r\n", 115200},
        {"\x03", 115200}, {"OPTION BAUDRATE 38400\r\n", 115200}};
    ASSERT_EQ(bursts.size(), expected.size()) << Visible(sim.Received());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(Visible(bursts[i].bytes), Visible(expected[i].first)) << i;
      EXPECT_EQ(bursts[i].baud, expected[i].second) << i;
    }
    EXPECT_EQ(SavedValue("uM SerialSpeed"), "38400");
  }
}

TEST_F(WineTest, ProgramMasterUploadsTheProgramOverAComPort) {
  Simulator sim({"--speed", "115200"});
  MapComPort(6, sim.port);
  WriteFile(dir.File("pic32prog.bas"), "' programmer\r\nPGD = 0\r\nPRINT \"ready\"\r\nEND\r\n");
  WriteSettings(dir, {{"micromite", "uM SerialSpeed = 115200"},
                      {"micromite", "LineDelay = 20"},
                      {"micromite", "PGD = 7"},
                      {"General", "Master Device = micromite"},
                      {"General", "comport = COM6"}});
  const CommandResult r = Run("--program-master");
  sim.Stop();
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string out = r.out;
  EXPECT_EQ(out.rfind("Program stage 1 started\nConnected to Master at 115200\n", 0), 0u) << Visible(out);
  EXPECT_NE(out.find("COM6   PGD = 7 : PGC = 2 : MCLR = 4\n"), std::string::npos) << Visible(out);
  EXPECT_NE(out.find("\n***...\n"), std::string::npos) << Visible(out);
  const std::string tail = "> \nProgram Master completed\n";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << Visible(out);
  std::string stored;
  for (const SimEvent& e : sim.Events())
    if (e.kind == "saved") stored = e.data;
  EXPECT_NE(stored.find("' programmer\r\nPGD = 7 : PGC = 2 : MCLR = 4\r\nPRINT \"ready\"\r\nEND"), std::string::npos)
      << Visible(stored);
  EXPECT_EQ(sim.Received().rfind("\x03\x03NEW\rAUTOSAVE\r' programmer\r", 0), 0u) << Visible(sim.Received());
}

TEST_F(WineTest, AnAbsentComPortIsReportedOnce) {
  WriteSettings(dir, {{"General", "Master Device = micromite"}, {"General", "comport = COM31"}});
  const CommandResult r = Run("--program-master");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Program stage 1 started\nMaster not found!\nCOM31   PGD = 3 : PGC = 2 : MCLR = 4\n");
  EXPECT_EQ(r.err, "OOPS!: Master not found! COM31:38400\n");
}

TEST_F(WineTest, ProgramMasterHandsAnArduinoToTheToolInItsFolder) {
  WriteFile(dir.File("script"), "out hello\\n");
  WriteFile(dir.File("record"), "");
  WriteSettings(dir, {{"Arduino", "A SerialSpeed = -b2"},
                      {"General", "Master Device = Arduino"},
                      {"General", "comport = COM9"}});
  const CommandResult r = Run("--program-master", "FAKE_PIC32PROG_SCRIPT=" + ShellQuote(DosPath(dir.File("script"))) +
                                                      " FAKE_PIC32PROG_RECORD=" +
                                                      ShellQuote(DosPath(dir.File("record"))));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Arduino program stage 1 started\nProgram Master completed\n");
  EXPECT_EQ(ReadFile(dir.File("record")), "arg: -d\narg: ascii:COM9\narg: -b2\ncwd: " +
                                              DosPath(dir.path.substr(0, dir.path.size() - 1)) + "\n");
}

// ---- The main window ----------------------------------------------------------

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r\n");
  const size_t b = s.find_last_not_of(" \t\r\n");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// The X window of a top-level window with this title, or "".
std::string XWindow(const std::string& title, int waitMs, const std::string& endedFile) {
  const int64_t until = MonotonicMs() + waitMs;
  do {
    if (FileExists(endedFile)) return "";
    const std::string found = Trim(RunCommand("xdotool search --name " + ShellQuote("^" + title + "$")).out);
    if (!found.empty()) return found.substr(0, found.find('\n'));
    SleepMs(100);
  } while (MonotonicMs() < until);
  return "";
}

struct XGeometry {
  int x = 0, y = 0, width = 0, height = 0;
};

XGeometry GeometryOf(const std::string& window) {
  XGeometry g;
  std::istringstream in(RunCommand("xwininfo -id " + window).out);
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, colon));
    const int value = std::atoi(line.c_str() + colon + 1);
    if (key == "Absolute upper-left X") g.x = value;
    if (key == "Absolute upper-left Y") g.y = value;
    if (key == "Width") g.width = value;
    if (key == "Height") g.height = value;
  }
  return g;
}

std::string WithGeometry(std::string file, int x, int y, int w, int h) {
  auto set = [&](const std::string& key, int value) {
    const size_t at = file.find(key + " = ");
    const size_t end = file.find('\r', at);
    file.replace(at, end - at, key + " = " + std::to_string(value));
  };
  set("MainX", x);
  set("MainY", y);
  set("MainW", w);
  set("MainH", h);
  return file;
}

TEST_F(WineTest, TheMainWindowOpensWhereTheSettingsSayAndAClosedWindowSavesThem) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  const std::string golden = ReadFile(std::string(KORVANE_TEST_DATA) + "/default-Korvane.inf");
  struct Case {
    const char* name;
    std::string input;  // "" = no settings file
    int width, height;
    std::string saved;
  };
  const Case cases[] = {
      {"defaults", "", 700, 287, golden},
      {"moved and sized", WithGeometry(golden, 320, 150, 800, 400), 800, 400, WithGeometry(golden, 320, 150, 800, 400)},
  };
  std::vector<std::pair<int, int>> frames;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(dir.File("Korvane.inf").c_str());
    if (!c.input.empty()) WriteFile(dir.File("Korvane.inf"), c.input);
    unlink(dir.File("status").c_str());
    const std::string command = "cd " + ShellQuote(dir.path) + " && (env " + Env() + " " + ShellQuote(wine.wine) + " korvane.exe --settings " +
                                ShellQuote(DosPath(dir.File("Korvane.inf"))) + " >out 2>err; echo $? >status) &";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string window = XWindow("Korvane!", 60000, dir.File("status"));
    ASSERT_FALSE(window.empty()) << ReadFile(dir.File("err"));
    SleepMs(300);
    // The X window is the whole window, frame included: at the stored outer
    // position, a frame of the same size around the stored client area.
    const XGeometry g = GeometryOf(window);
    const int x = c.input.empty() ? 200 : 320, y = c.input.empty() ? 200 : 150;
    EXPECT_EQ(g.x, x);
    EXPECT_EQ(g.y, y);
    frames.push_back({g.width - c.width, g.height - c.height});
    EXPECT_GE(g.width - c.width, 0);
    EXPECT_GT(g.height - c.height, 10) << "a title bar";
    // A close request, as the close box sends it.
    RunCommand(std::string(KORVANE_X_CLOSE) + " " + window);
    const int64_t until = MonotonicMs() + 30000;
    while (!FileExists(dir.File("status")) && MonotonicMs() < until) SleepMs(100);
    SleepMs(100);
    EXPECT_EQ(Trim(ReadFile(dir.File("status"))), "0");
    EXPECT_EQ(Visible(Settings()), Visible(c.saved));
  }
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], frames[1]) << "the client area, not the outer size, follows the settings";
}

// A HEX file named on the command line, in quotes because of its blanks,
// reaches the confirmation whole; Enter answers Yes and it is programmed
// before the loop starts.
TEST_F(WineTest, AHexFileOnTheCommandLineIsConfirmedAndProgrammed) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  MakeFolders(dir.File("my chips/"));
  WriteFile(dir.File("my chips/a b.hex"), ":00000001FF\n");
  WriteFile(dir.File("script"), "out done\\r\\n");
  WriteSettings(dir, {{"General", "Master Device = Arduino"}, {"General", "comport = COM7"}});
  const std::string hex = DosPath(dir.File("my chips/a b.hex"));
  const std::string command = "cd " + ShellQuote(dir.path) + " && (env " + Env() + " FAKE_PIC32PROG_SCRIPT=" +
                              ShellQuote(DosPath(dir.File("script"))) + " " + ShellQuote(wine.wine) +
                              " korvane.exe --settings " + ShellQuote(DosPath(dir.File("Korvane.inf"))) + " " +
                              ShellQuote(hex) + " second-is-ignored >out 2>err; echo $? >status) &";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string box = XWindow("Confirm, do you want to flash: ", 60000, dir.File("status"));
  ASSERT_FALSE(box.empty()) << ReadFile(dir.File("err"));
  SleepMs(300);
  RunCommand("xdotool windowfocus --sync " + box + " key Return");
  const std::string window = XWindow("Korvane!", 10000, dir.File("status"));
  ASSERT_FALSE(window.empty());
  // The run ends with three empty lines; then the loop serves the window.
  SleepMs(3000);
  RunCommand(std::string(KORVANE_X_CLOSE) + " " + window);
  const int64_t until = MonotonicMs() + 30000;
  while (!FileExists(dir.File("status")) && MonotonicMs() < until) SleepMs(100);
  SleepMs(100);
  EXPECT_EQ(Trim(ReadFile(dir.File("status"))), "0");
  EXPECT_EQ(SavedValue("HEX Folder"), DosPath(dir.File("my chips/")));
  EXPECT_EQ(SavedValue("HEX File"), "a b.hex");
}

}  // namespace
#endif
