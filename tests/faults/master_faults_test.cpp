// The master misbehaving: unplugged during Program Master's upload, during its
// speed switch, during Program Target's preparation, or never answering.
//
// What the program does then: every procedure keeps its own waits and runs
// to its end (the waits are the only pacing of the console, and the tool
// still runs and reports for itself), replies from a gone master are empty,
// and the close of the link says "Master connection lost" and marks the
// procedure failed, so that neither the log nor the exit status of the batch
// mode passes a pulled cable off as success. A master that is there but never
// answers can't be told from a slow one: its replies are empty lines and
// the procedure ends as usual. Nothing may wait more than 1 s beyond the
// procedure's own waits.
//
// Elsewhere: program_master_test.cpp runs an unplug during the upload
// through the batch mode; master_link_test.cpp covers a vanished device at
// the level of single reads and writes.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sys/stat.h>
#include <thread>

#include "master/master_link.h"
#include "programming/program_master.h"
#include "programming/program_target.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

const std::string kPins = "PGD = 3 : PGC = 2 : MCLR = 4";
constexpr int kLineDelay = 100;

struct Row {
  const char* name;
  std::vector<std::string> simOptions;
  std::string speed;  // MicromiteSpeed and SavedMicromiteSpeed at the start
  bool target;        // Program Target (else Program Master)
  // The procedure's own waits, from the waits of each step: in LineDelays,
  // plus fixed milliseconds (the 200 ms pause of a switch, the 500 ms before
  // the tool starts).
  int lineDelays;
  int fixedMs;
  std::vector<std::string> log;  // "*" matches any one line
  size_t boxes;
  bool failed;
};

void ExpectLog(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
  ASSERT_EQ(actual.size(), expected.size()) << [&] {
    std::string all;
    for (const std::string& l : actual) all += "  [" + Visible(l) + "]\n";
    return all;
  }();
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] != "*") {
      EXPECT_EQ(Visible(actual[i]), Visible(expected[i])) << "line " << i;
    }
  }
}

class MasterFaultTest : public ::testing::Test {
 protected:
  TempFolder dir;
  TempFolder io;
  void SetUp() override {
    Settings = SettingsRecord();
    ChooseSettingsPath(dir.File("Korvane.inf"));
    ProgramDirectory = dir.path;
    InstallFakeTool(dir.path);
    WriteFile(io.File("script"), "err No target found.\\n\nexit -1");
    setenv("FAKE_PIC32PROG_SCRIPT", io.File("script").c_str(), 1);
    // Five lines: the first, the pin line in place of the second, then three.
    WriteFile(dir.File("pic32prog.bas"), "L1\r\nL2\r\nL3\r\nL4\r\nL5\r\n");
    Settings.LineDelay = kLineDelay;
  }
  void TearDown() override {
    unsetenv("FAKE_PIC32PROG_SCRIPT");
    CloseMaster();
  }
  // Runs the procedure; returns how long it took in milliseconds.
  double Timed(const std::function<void()>& procedure) {
    const auto t0 = std::chrono::steady_clock::now();
    procedure();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  }
  void ExpectWithinItsWaits(double took, int lineDelays, int fixedMs) {
    const double waits = lineDelays * kLineDelay + fixedMs;
    EXPECT_GE(took, waits - 5);
    EXPECT_LE(took, waits + 1000) << "waited beyond the procedure's own waits of " << waits << " ms";
  }
};

TEST_F(MasterFaultTest, AGoneOrSilentMasterEndsTheProcedureAfterItsOwnWaits) {
  const std::string prompt = "\r\n> ";
  const std::string tool = "-d ascii:";  // the parameter line begins so
  const Row rows[] = {
      // Unplugged after the second program line of the upload: the rest goes
      // nowhere, the final reply is empty, the loss is logged at the close.
      {"Program Master, unplugged during the upload", {"--speed", "115200", "--unplug-after", "2"}, "115200", false,
       44 + 5, 0,
       {"Program stage 1 started", "Connected to Master at 115200", prompt, "*", prompt, "***....", "",
        "Program Master completed", "Master connection lost"},
       0, true},
      // Unplugged when the speed switch ends: the reopen finds no port, no
      // upload; one LineDelay and the 200 ms pause of the switch.
      {"Program Master, unplugged at the speed switch", {"--unplug-on-baudrate"}, "38400", false, 2 + 1, 200,
       {"Program stage 1 started", "Connected to Master at 38400", prompt, "*", "Master connection lost",
        "Master not found!", "Baud Rate change failed", "*"},
       1, true},
      // A master that never answers takes the whole upload; every reply is
      // empty. Nothing tells it from a slow master.
      {"Program Master, a master that never answers", {"--dead"}, "38400", false, 44 + 5 + 1, 200,
       {"Program stage 1 started", "Connected to Master at 38400", "", "", "Connected to Master at 115200",
        "Baud Rate changed to 115200", "*", "", "***....", "", "Program Master completed"},
       0, false},
      // Program Target: unplugged at the switch. Both breaks, the switch and
      // RUN keep their waits (4 + 1 + 4 + 10 LineDelays, 200 ms), then the
      // 500 ms before the tool; the restore offer (answered Yes) finds no
      // port and keeps its break and command waits (4 + 1).
      {"Program Target, unplugged at the speed switch", {"--unplug-on-baudrate"}, "38400", true, 4 + 1 + 4 + 10 + 5,
       200 + 500,
       {"Programming slave device", "Connected to Master at 38400", "Master connection lost", "Master not found!",
        "Baud Rate change failed", "", "*", "*", "*", "Error code: 255", "*", "Master not found!", "",
        "Port Speed changed back to 38400", "", "", ""},
       3, true},
      // Program Target with a master that never answers: the reply to RUN is
      // an empty line, the tool runs and reports.
      {"Program Target, a master that never answers", {"--dead", "--speed", "115200"}, "115200", true, 4 + 4 + 10,
       500,
       {"Programming slave device", "Connected to Master at 115200", "", "*", "*", "*", "Error code: 255", "*", "", "",
        ""},
       0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Simulator sim(row.simOptions);
    LogFixture log;
    BoxRecorder boxes;
    Settings.ComPort = sim.port;
    Settings.MicromiteSpeed = Settings.SavedMicromiteSpeed = row.speed;
    ProcedureFailed = false;
    const double took = Timed([&] {
      if (row.target) {
        ProgramTarget(io.File("app.hex"));
      } else {
        ProgramMaster();
      }
    });
    ExpectWithinItsWaits(took, row.lineDelays, row.fixedMs);
    std::vector<std::string> lines = log.lines();
    ExpectLog(lines, row.log);
    EXPECT_EQ(boxes.shown.size(), row.boxes);
    EXPECT_EQ(ProcedureFailed, row.failed);
    EXPECT_EQ(MasterLink.port, nullptr) << "the link is closed on every path";
  }
}

// Program Target: the device goes away at a moment of its own during the
// preparation (here during the first break's wait). The remaining steps keep
// their waits, RUN's reply is empty, the loss is logged when the link closes
// and the tool still runs.
TEST_F(MasterFaultTest, ADeviceGoneDuringProgramTargetsPreparationIsReportedAndTheToolStillRuns) {
  PtyPair pty;
  LogFixture log;
  BoxRecorder boxes;
  Settings.ComPort = pty.slave;
  Settings.MicromiteSpeed = Settings.SavedMicromiteSpeed = "115200";
  std::thread unplug([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(kLineDelay * 3 / 2));
    pty.Hangup();
  });
  const double took = Timed([&] { ProgramTarget(io.File("app.hex")); });
  unplug.join();
  ExpectWithinItsWaits(took, 4 + 4 + 10, 500);
  ExpectLog(log.lines(), {"Programming slave device", "Connected to Master at 115200", "", "Master connection lost",
                          "-d ascii:" + pty.slave + " \"" + io.File("app.hex") + "\"", "No target found.", "",
                          "Error code: 255", "*", "", "", ""});
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_TRUE(ProcedureFailed);
  EXPECT_EQ(MasterLink.port, nullptr);
}

// Port names and speeds that name no usable serial port. Expected: the open
// fails at once with one "Master not found!" line and one box, and the link
// stays closed; a speed the terminal takes although no Micromite runs at it
// opens like any other.
TEST_F(MasterFaultTest, PortNamesAndSpeedsThatNameNoPortFailAtOnce) {
  PtyPair pty;
  const std::string fifo = io.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  WriteFile(io.File("plain"), "not a terminal");
  struct Case {
    const char* name;
    std::string port, speed;
    bool opens;
  };
  const Case cases[] = {
      {"empty name", "", "38400", false},
      {"no such device", "/dev/ttyNOSUCH0", "38400", false},
      {"a device that is no terminal", "/dev/null", "38400", false},
      {"a plain file", io.File("plain"), "38400", false},
      {"a folder", io.path, "38400", false},
      {"a named pipe", fifo, "38400", false},
      {"a name of 5000 characters", "/dev/" + std::string(5000, 'x'), "38400", false},
      {"a line break in the name", pty.slave + "\n", "38400", false},
      {"speed 0", pty.slave, "0", false},
      {"a negative speed", pty.slave, "-9600", false},
      {"a speed without digits", pty.slave, "fast", false},
      // Read as 2147483647, which a pseudo-terminal takes (a real port's
      // driver refuses it, and the open fails like the cases above).
      {"a speed beyond 32 bits", pty.slave, "99999999999999", true},
      {"an odd speed the terminal takes", pty.slave, "12345 baud", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogFixture log;
    BoxRecorder boxes;
    Settings.ComPort = c.port;
    Settings.MicromiteSpeed = c.speed;
    bool opened = false;
    const double took = Timed([&] { opened = OpenMaster(); });
    EXPECT_EQ(opened, c.opens);
    EXPECT_LT(took, 1000);
    if (c.opens) {
      EXPECT_EQ(log.lines(), std::vector<std::string>{"Connected to Master at " + c.speed});
      EXPECT_TRUE(boxes.shown.empty());
    } else {
      EXPECT_EQ(log.lines(), std::vector<std::string>{"Master not found!"});
      EXPECT_EQ(boxes.shown.size(), 1u);
      EXPECT_EQ(MasterLink.port, nullptr);
    }
    CloseMaster();
  }
}

}  // namespace
