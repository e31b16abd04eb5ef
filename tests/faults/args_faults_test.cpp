// Hostile input on the way to the tool: HEX paths and port names with
// blanks, quotes, shell characters and bytes outside ASCII; and descriptors
// of the program that must not reach the tool.
//
// Elsewhere: target_run_test.cpp checks one odd path and the descriptors of a
// plain target run.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <regex>
#include <set>

#include "master/master_link.h"
#include "platform/process.h"
#include "programming/program_master.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

std::set<int> OpenDescriptors() {
  std::set<int> fds;
  if (DIR* d = opendir("/proc/self/fd")) {
    const int own = dirfd(d);
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.' && std::atoi(e->d_name) != own) fds.insert(std::atoi(e->d_name));
    closedir(d);
  }
  return fds;
}

// The "fd: N -> target" lines of the fake tool's record: only 0 (standard
// input) and 1 and 2 (one pipe) may be there.
void ExpectOnlyThePipe(const std::string& record) {
  const std::regex fd("fd: ([0-9]+) -> (.*)");
  int count = 0;
  for (std::sregex_iterator it(record.begin(), record.end(), fd), end; it != end; ++it) {
    const int n = std::stoi((*it)[1]);
    EXPECT_LE(n, 2) << "leaked: " << (*it)[0];
    if (n >= 1) {
      EXPECT_EQ((*it)[2].str().rfind("pipe:", 0), 0u) << (*it)[0];
    }
    ++count;
  }
  EXPECT_EQ(count, 3) << record;
}

class ArgsFaultTest : public ::testing::Test {
 protected:
  TempFolder dir;
  TempFolder io;
  LogFixture log;
  void SetUp() override {
    Settings = SettingsRecord();
    ChooseSettingsPath(dir.File("Korvane.inf"));
    ProgramDirectory = dir.path;
    InstallFakeTool(dir.path);
    setenv("FAKE_PIC32PROG_RECORD", io.File("record").c_str(), 1);
    WriteFile(io.File("script"), "fds\nexit 0");
    setenv("FAKE_PIC32PROG_SCRIPT", io.File("script").c_str(), 1);
  }
  void TearDown() override {
    CloseMaster();
    unsetenv("FAKE_PIC32PROG_SCRIPT");
    unsetenv("FAKE_PIC32PROG_RECORD");
  }
  std::string Record() const { return ReadFile(io.File("record")); }
};

// Expected: the tool gets the port and the path byte for byte, each as one
// argument, with no shell in between; the log's parameter line shows them
// as formed: -d ascii:PORT "PATH".
TEST_F(ArgsFaultTest, OddPathsAndPortNamesReachTheToolByteForByte) {
  struct Case {
    const char* name;
    std::string port, hex;
  };
  const Case cases[] = {
      {"blanks", "/dev/my port", "/tmp/my hex files/app 1.hex"},
      {"leading and trailing blanks", " ttyUSB0 ", " /tmp/app.hex "},
      {"double and single quotes", "tty\"USB'0", "/tmp/\"quoted\" it's.hex"},
      {"shell characters", "$(id);`id`|&", "/tmp/$HOME/*.hex;rm -rf x &"},
      {"UTF-8", "/dev/ttyÜSB0", "/tmp/Gerät/prüfung-€.hex"},
      {"bytes that are no UTF-8", "tty\xe9", "/tmp/caf\xe9\xff.hex"},
      {"backslashes and a tab", "COM\\4", "C:\\hex\\a\tb.hex"},
      {"a path that looks like an option", "ttyS0", "-b3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(io.File("record"), "");
    Settings.ComPort = c.port;
    OutputLog.lines.clear();
    RunTargetProgrammer(c.hex);
    const std::string record = Record();
    EXPECT_EQ(Visible(record.substr(0, record.find("cwd: "))),
              Visible("arg: -d\narg: ascii:" + c.port + "\narg: " + c.hex + "\n"));
    const std::vector<std::string> lines = log.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(Visible(lines[0]), Visible("-d ascii:" + c.port + " \"" + c.hex + "\""));
  }
}

// The same through the program's own command line, in batch mode: the HEX
// path given as one argument reaches the tool as one argument.
TEST_F(ArgsFaultTest, TheCommandLinePassesAnOddHexPathOnWhole) {
  const std::string hex = dir.File("my \"odd\" hex's $(id) Gerät\xe9.hex");
  WriteFile(hex, ":00000001FF\n");
  // UTF-8 with its mark, as the program writes the file.
  WriteFile(dir.File("Korvane.inf"),
            "\xEF\xBB\xBF\r\n[General]\r\nMaster Device = Arduino\r\ncomport = /dev/odd port\xc3\xa9\r\n");
  const CommandResult r = RunKorvane(dir, "--program-target " + ShellQuote(hex),
                                     "FAKE_PIC32PROG_SCRIPT=" + ShellQuote(io.File("script")) +
                                         " FAKE_PIC32PROG_RECORD=" + ShellQuote(io.File("record")));
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string record = Record();
  EXPECT_EQ(Visible(record.substr(0, record.find("cwd: "))),
            Visible("arg: -d\narg: ascii:/dev/odd port\xc3\xa9\narg: " + hex + "\n"));
  EXPECT_NE(r.out.find("-d ascii:/dev/odd port\xc3\xa9 \"" + hex + "\"\n"), std::string::npos) << Visible(r.out);
  ExpectOnlyThePipe(record);
}

// Expected: with the master's port open in the program and a terminal that
// the test opened without close-on-exec, the tool still inherits only
// standard input and its pipe: in the target run and in Program Master's
// tool branch (with an odd port name and speed option, passed on whole).
TEST_F(ArgsFaultTest, NoDescriptorButThePipeAndStandardInputReachTheTool) {
  PtyPair leaky;  // the test's own terminal, opened without O_CLOEXEC
  PtyPair masterPort;
  BoxRecorder boxes;
  Settings.ComPort = masterPort.slave;
  Settings.MicromiteSpeed = Settings.SavedMicromiteSpeed = "115200";
  ASSERT_TRUE(OpenMaster());

  RunTargetProgrammer("/tmp/app.hex");
  ExpectOnlyThePipe(Record());

  WriteFile(io.File("record"), "");
  Settings.MasterDevice = "Arduino";
  Settings.ComPort = "/dev/odd port";
  Settings.ArduinoSpeed = "-b3 x";
  ProgramMaster();
  const std::string record = Record();
  EXPECT_EQ(Visible(record.substr(0, record.find("cwd: "))), Visible("arg: -d\narg: ascii:/dev/odd port\narg: -b3 x\n"));
  ExpectOnlyThePipe(record);
}

// Expected: every descriptor the program opens (the serial port, the tool's
// pipe) is close-on-exec, so no child of any kind inherits it, whatever the
// way it is started.
TEST_F(ArgsFaultTest, EveryDescriptorTheProgramOpensIsCloseOnExec) {
  PtyPair masterPort;
  LogFixture quiet;
  Settings.ComPort = masterPort.slave;
  Settings.MicromiteSpeed = Settings.SavedMicromiteSpeed = "115200";
  const std::set<int> before = OpenDescriptors();
  ASSERT_TRUE(OpenMaster());
  WriteFile(io.File("script"), "sleep 300\nexit 0");
  ChildOptions options;
  options.file = ToolFileName();
  options.preferredFolder = dir.path;
  std::string error;
  ChildProcess* child = StartChild(options, error);
  ASSERT_NE(child, nullptr) << error;
  const std::set<int> after = OpenDescriptors();
  int opened = 0;
  for (int fd : after) {
    if (before.count(fd)) continue;
    ++opened;
    const int flags = fcntl(fd, F_GETFD);
    EXPECT_TRUE(flags >= 0 && (flags & FD_CLOEXEC)) << "descriptor " << fd << " is inherited by children";
  }
  EXPECT_GE(opened, 2) << "the port and the pipe";
  while (ChildIsRunning(child)) ChildAwait(child, 50);
  ChildExitCode(child);
  ChildClose(child);
}

}  // namespace
