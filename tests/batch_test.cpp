// Pseudo-terminals and the shell: the Windows build meets these roads in
// wine_test.cpp, through the real korvane.exe.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <regex>

#include "settings/settings.h"
#include "test_support.h"

namespace {

// The windowless mode, run as scripts run it: the real binary, the fake tool
// found on PATH, a settings file of the test's own.
class BatchTest : public ::testing::Test {
 protected:
  TempFolder tool;
  TempFolder work;
  void SetUp() override {
    InstallFakeTool(tool.path);
    WriteFile(work.File("Korvane.inf"),
              "[Windows]\r\nMainX = 31\r\nMainW = 640\r\n[General]\r\nMaster Device = Arduino\r\ncomport = ttyUSB3\r\n");
  }
  CommandResult Korvane(const std::string& args, const std::string& script = "") {
    std::string env = "PATH=" + ShellQuote(tool.path) + ":/usr/bin:/bin FAKE_PIC32PROG_RECORD=" +
                      ShellQuote(work.File("record"));
    if (!script.empty()) {
      WriteFile(work.File("script"), script);
      env += " FAKE_PIC32PROG_SCRIPT=" + ShellQuote(work.File("script"));
    }
    return RunCommand("cd " + ShellQuote(work.path) + " && env " + env + " " + ShellQuote(KORVANE_BINARY) + " " + args);
  }
};

TEST_F(BatchTest, ProgramsATargetAndKeepsTheSettings) {
  const CommandResult r = Korvane("--settings Korvane.inf --program-target " + ShellQuote(work.File("my app.hex")),
                                  "out Programmer\\n\nout Flash: ...\\b\\b\\b###\\n\nexit 0");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::regex expected(
      "Programming slave device\n"
      "-d ascii:ttyUSB3 \"" + work.File("my app.hex") + "\"\n"
      "Programmer\nFlash: ###\n\nSuccess!\n"
      "Programming completed in [0-9]+\\.[0-9]{3} seconds\n\n\n\n");
  EXPECT_TRUE(std::regex_match(r.out, expected)) << r.out;
  EXPECT_NE(ReadFile(work.File("record")).find("arg: " + work.File("my app.hex") + "\n"), std::string::npos);

  // The file now holds the HEX file's folder and name, and the window
  // geometry as it was loaded; it reads back to the same record.
  const std::string saved = ReadFile(work.File("Korvane.inf"));
  EXPECT_NE(saved.find("MainX = 31\r\nMainY = 200\r\nMainW = 640\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("HEX File = my app.hex\r\nHEX Folder = " + work.path + "\r\n"), std::string::npos) << saved;
  ProgramDirectory = work.path;
  ChooseSettingsPath(work.File("Korvane.inf"));
  LoadSettings();
  SaveSettings();
  EXPECT_EQ(ReadFile(work.File("Korvane.inf")), saved);
}

TEST_F(BatchTest, ExitStatusFollowsTheOutcome) {
  struct Case {
    const char* name;
    std::string args;
    std::string script;
    int status;
    const char* inOut;
    const char* inErr;
  };
  const Case cases[] = {
      {"tool fails", "--settings Korvane.inf --program-target a.hex", "err No target found.\\n\nexit -1", 1,
       "Error code: 255\n", ""},
      {"tool missing", "--settings Korvane.inf --program-target a.hex", "", 1, "Could not start pic32prog: ", ""},
      {"help", "--help", "", 0, "Usage:", ""},
      {"version", "--version", "", 0, "korvane ", ""},
      {"unknown option", "--frobnicate", "", 2, "", "unknown option --frobnicate"},
      {"missing HEX file", "--program-target", "", 2, "", "needs a value"},
      {"both procedures", "--program-target a.hex --program-master", "", 2, "", "can't be combined"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name) == "tool missing") unlink((tool.path + "pic32prog").c_str());
    const CommandResult r = Korvane(c.args, c.script);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE(r.out.find(c.inOut), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
  }
}

}  // namespace
#endif  // !_WIN32
