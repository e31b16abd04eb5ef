#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "platform/paths.h"
#include "platform/process.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

// ---- the interpreter of the tool's output --------------------------------

std::vector<std::string> Interpret(const std::vector<std::string>& reads) {
  LogFixture log;
  ToolOutputReader reader;
  AppendLogLine("");
  for (const std::string& r : reads) reader.Take(r.data(), r.size());
  return log.lines();
}

TEST(ToolOutput, CharactersBecomeLogLines) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"CR LF ends a line", "abc\r\ndef\r\n", {"abc", "def", ""}},
      {"a lone LF ends a line too", "x\ny\n", {"x", "y", ""}},
      {"CR rewrites start new lines", "10%\r20%\r", {"10%", "20%", ""}},
      {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
      {"backspace erases", "ab\bc", {"ac"}},
      {"backspace on an empty line", "\b\bx", {"x"}},
      {"trailing backspace leaves the log line", "ab\b", {"ab"}},
      {"progress bar", "...\b\b\b###", {"###"}},
      {"partly overwritten bar", "....\b\b\b\b##", {"##"}},
      {"NUL cuts the read", std::string("a\0b", 3), {"a"}},
#ifdef _WIN32
      // The tool's bytes are in the ANSI code page (Windows-1252 here).
      {"ANSI bytes become UTF-8", "caf\xE9 \xFF\n", {"caf\xC3\xA9 \xC3\xBF", ""}},
      {"backspace erases a whole character", "r\xE9\bx", {"rx"}},
#else
      {"backspace erases a whole UTF-8 character", "r\xC3\xA9\bx", {"rx"}},
      {"invalid bytes pass", "\xFF\xFE\n", {"\xFF\xFE", ""}},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Interpret({c.bytes}), c.lines);
  }
}

TEST(ToolOutput, SplitReadsGiveTheSameLogAsOneRead) {
  const std::string bytes = "Program flash: ....\b\b\b\b###\r\n\r\nVerify: r\xC3\xA9 done\r\nx\ny\r";
  const std::vector<std::string> whole = Interpret({bytes});
  for (size_t cut = 1; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(Interpret({bytes.substr(0, cut), bytes.substr(cut)}), whole);
  }
  std::vector<std::string> bytewise;
  for (char c : bytes) bytewise.emplace_back(1, c);
  EXPECT_EQ(Interpret(bytewise), whole);
}

TEST(ToolOutput, SecondsText) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, "0.000"}, {500, "0.500"}, {1005, "1.005"}, {12345, "12.345"}, {65432, "65.432"}};
  for (const auto& [ms, text] : cases) EXPECT_EQ(SecondsText(ms), text) << ms;
}

// ---- the run, with the fake tool as a real child process ------------------

class TargetRunTest : public ::testing::Test {
 protected:
  TempFolder dir;
  TempFolder io;
  LogFixture log;
  void SetUp() override {
    ProgramDirectory = dir.path;
    Settings = SettingsRecord();
    InstallFakeTool(dir.path);
#ifdef _WIN32
    // Windows looks for the tool beside the running program, then on PATH.
    const char* path = std::getenv("PATH");
    savedPath = path ? path : "";
    setenv("PATH", (dir.path + kPathListSeparator + savedPath).c_str(), 1);
#endif
    setenv("FAKE_PIC32PROG_RECORD", io.File("record").c_str(), 1);
    ProcedureFailed = false;
  }
  std::string savedPath;
  void TearDown() override {
#ifdef _WIN32
    setenv("PATH", savedPath.c_str(), 1);
#endif
    unsetenv("FAKE_PIC32PROG_SCRIPT");
    unsetenv("FAKE_PIC32PROG_RECORD");
  }
  // Runs the tool with a script; returns the log lines between the parameter
  // line and the completion line.
  std::vector<std::string> Run(const std::string& script, const std::string& hex = "/hex/app.hex") {
    WriteFile(io.File("script"), script);
    setenv("FAKE_PIC32PROG_SCRIPT", io.File("script").c_str(), 1);
    OutputLog.lines.clear();
    RunTargetProgrammer(hex);
    const auto lines = log.lines();
    EXPECT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "-d ascii:" + Settings.ComPort + " \"" + hex + "\"");
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex("Programming completed in [0-9]+\\.[0-9]{3} seconds")))
        << lines.back();
    return std::vector<std::string>(lines.begin() + 1, lines.end() - 1);
  }
};

TEST_F(TargetRunTest, OutputAndStatusLines) {
  struct Case {
    const char* name;
    std::string script;
    std::vector<std::string> lines;
    bool failed;
  };
  const Case cases[] = {
      {"success", "out abc\\r\\ndef\\r\\n\nexit 0", {"abc", "def", "", "Success!"}, false},
      {"exit 1", "out x\\n\nexit 1", {"x", "", "Error code: 1"}, true},
#ifdef _WIN32
      // All 32 bits of the exit code count.
      {"exit -1", "err \\nNo target found.\\n\nexit -1", {"", "No target found.", "", "Error code: -1"}, true},
#else
      {"exit -1", "err \\nNo target found.\\n\nexit -1", {"", "No target found.", "", "Error code: 255"}, true},
#endif
      {"stderr and stdout in the order written",
       "out Adapter: \nerr oops\\n\nout next\\n\nexit 0", {"Adapter: oops", "next", "", "Success!"}, false},
      {"no output", "exit 0", {"", "Success!"}, false},
#ifdef _WIN32
      {"access violation", "out x\ncrash", {"x", "Error code: -1073741819"}, true},
#else
      {"killed by a signal", "out x\ncrash", {"x", "Error code: 139"}, true},
#endif
      {"output after a pause", "sleep 300\nout late\\n", {"late", "", "Success!"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcedureFailed = false;
    EXPECT_EQ(Run(c.script), c.lines);
    EXPECT_EQ(ProcedureFailed, c.failed);
  }
}

TEST_F(TargetRunTest, ManyBytesArriveWholeAndInOrder) {
  // 3000 lines of 20 characters: far more than one read takes.
  const std::vector<std::string> lines = Run("repeat 3000 0123456789abcdefghi\\n\nexit 0");
  ASSERT_EQ(lines.size(), 3002u);
  for (size_t i = 0; i < 3000; ++i) ASSERT_EQ(lines[i], "0123456789abcdefghi") << i;
  EXPECT_EQ(lines[3001], "Success!");
}

TEST_F(TargetRunTest, OutputStillInThePipeWhenTheToolEndsIsRead) {
  // The tool writes and ends at once; everything must be read before the status line.
  const std::vector<std::string> lines = Run("repeat 20000 ab\\r\nexit 3");
  ASSERT_EQ(lines.size(), 20002u);
  EXPECT_EQ(lines[19999], "ab");
  EXPECT_EQ(lines[20001], "Error code: 3");
}

TEST_F(TargetRunTest, TheToolGetsItsArgumentsAndOnlyThePipe) {
  Settings.ComPort = "/dev/ttyUSB0";
#ifdef _WIN32
  // Blanks, quotes, and backslashes before a quote and at the end: one
  // argument all the same, by the rules the tool's C runtime reads it with.
  const std::string hex = "/my hex\\\\\"odd\" x\\\\";
#else
  const std::string hex = "/my hex/\"odd\" fil\xC3\xA9.hex";
#endif
  Run("fds\nexit 0", hex);
  const std::string record = ReadFile(io.File("record"));
  EXPECT_NE(record.find("arg: -d\narg: ascii:/dev/ttyUSB0\narg: " + hex + "\n"), std::string::npos) << record;
  EXPECT_NE(record.find("cwd: " + CurrentFolder().substr(0, CurrentFolder().size() - 1) + "\n"), std::string::npos)
      << record;
#ifndef _WIN32
  // Descriptors 0 (standard input), 1 and 2 (the pipe) and nothing else.
  std::regex fd("fd: ([0-9]+) -> (.*)");
  int count = 0;
  std::string pipeTarget;
  for (std::sregex_iterator it(record.begin(), record.end(), fd), end; it != end; ++it) {
    const int n = std::stoi((*it)[1]);
    EXPECT_LE(n, 2) << (*it)[0];
    if (n >= 1) {
      EXPECT_EQ((*it)[2].str().rfind("pipe:", 0), 0u) << (*it)[0];
      if (pipeTarget.empty()) pipeTarget = (*it)[2];
      EXPECT_EQ((*it)[2].str(), pipeTarget);
    }
    ++count;
  }
  EXPECT_EQ(count, 3);
#endif
}

TEST_F(TargetRunTest, AMissingToolIsReported) {
  TempFolder empty;
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", empty.path.c_str(), 1);
  ProgramDirectory = empty.path;
  const std::vector<std::string> lines = Run("exit 0");
  setenv("PATH", path.c_str(), 1);
  ASSERT_EQ(lines.size(), 1u);
#ifdef _WIN32
  EXPECT_EQ(lines[0].rfind("Could not start pic32prog.exe: ", 0), 0u) << lines[0];
#else
  EXPECT_EQ(lines[0], "Could not start pic32prog: No such file or directory");
#endif
  EXPECT_TRUE(ProcedureFailed);
}

TEST_F(TargetRunTest, TheToolIsFoundOnThePathWhenNotBesideTheProgram) {
  TempFolder empty;
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (empty.path + kPathListSeparator + dir.path).c_str(), 1);
  ProgramDirectory = empty.path;
  const std::vector<std::string> lines = Run("out ok\\n");
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(lines, (std::vector<std::string>{"ok", "", "Success!"}));
}

TEST_F(TargetRunTest, TheLogIsRepaintedWhileTheToolIsSilent) {
  Run("sleep 2300\nexit 0");
  // Two repaints of the run, at least: after the parameter line, and once a
  // second while nothing comes.
  EXPECT_GE(log.view.refreshes, 3);
}

}  // namespace
