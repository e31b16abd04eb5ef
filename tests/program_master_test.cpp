// Program Master: the upload to a Micromite and the tool branch.
// Pseudo-terminals and the shell: the Windows build meets these roads in
// wine_test.cpp, through the real korvane.exe.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <chrono>

#include "master/master_link.h"
#include "programming/program_master.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

const std::string kPins = "PGD = 3 : PGC = 2 : MCLR = 4";

// The master program file's lines as the master receives them, and the
// progress they give. The waits don't matter here, so LineDelay is 1 and the
// master is a bare pseudo-terminal that never answers.
TEST(ProgramMasterFileTest, LinesAreSentByteForByteByTheLineRules) {
  struct Case {
    const char* name;
    std::string file;
    std::vector<std::string> sent;  // the program lines, pin line included
    std::string progress;
  };
  const Case cases[] = {
      {"empty", "", {"", kPins}, "***.."},
      {"one line", "A", {"A", kPins}, "***.."},
      {"five lines", "L1\r\nL2\r\nL3\r\nL4\r\nL5\r\n", {"L1", kPins, "L3", "L4", "L5"}, "***...."},
      {"CR, LF and CR LF", "A\rB\nC\r\nD\n\rE", {"A", kPins, "C", "D", "", "E"}, "***...."},
      {"byte-order mark", "\xEF\xBB\xBF" "A\r\nB\r\nC\xE9\xFF\r\n", {"\xEF\xBB\xBF" "A", kPins, "C\xE9\xFF"}, "***..."},
      {"NUL ends a line", std::string("A\0B\r\nC\0D", 9), {"A", kPins, "C", "D"}, "***..."},
      {"last line without an end", "A\r\nB\r\nC\r\nD", {"A", kPins, "C", "D"}, "***..."},
      {"two line ends at the end", "A\r\nB\r\nC\r\n\r\n", {"A", kPins, "C", ""}, "***..."},
      {"tab and spaces kept", "  A\t1 \r\nB", {"  A\t1 ", kPins}, "***.."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    PtyPair pty;
    LogFixture log;
    BoxRecorder boxes;
    Settings = SettingsRecord();
    ChooseSettingsPath(dir.File("Korvane.inf"));
    WriteFile(dir.File("pic32prog.bas"), c.file);
    Settings.ComPort = pty.slave;
    Settings.LineDelay = 1;
    Settings.MicromiteSpeed = Settings.SavedMicromiteSpeed = "115200";

    ProgramMaster();

    std::string expected = "\x03\x03NEW\rAUTOSAVE\r";
    for (const std::string& line : c.sent) expected += line + "\r";
    expected += "\x1A";
    EXPECT_EQ(Visible(pty.Drain()), Visible(expected));
    const std::vector<std::string> lines = {"Program stage 1 started", "Connected to Master at 115200", "",
                                            pty.slave + "   " + kPins, "", c.progress, "",
                                            "Program Master completed"};
    EXPECT_EQ(log.lines(), lines);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(ProcedureFailed);
    EXPECT_EQ(MasterLink.port, nullptr);
  }
}

TEST(ProgramMasterFileTest, AMissingFileStopsBeforeTheUploadAndFails) {
  TempFolder dir;
  PtyPair pty;
  LogFixture log;
  BoxRecorder boxes;
  Settings = SettingsRecord();
  ChooseSettingsPath(dir.File("Korvane.inf"));
  Settings.ComPort = pty.slave;
  Settings.LineDelay = 1;
  Settings.MicromiteSpeed = Settings.SavedMicromiteSpeed = "115200";
  Settings.MasterProgramFile = "nope.bas";

  ProgramMaster();

  EXPECT_EQ(Visible(pty.Drain()), "\\x03");  // the first break only
  const std::vector<std::string> lines = {"Program stage 1 started", "Connected to Master at 115200", "",
                                          pty.slave + "   " + kPins, "Program Master failed"};
  EXPECT_EQ(log.lines(), lines);
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"Information: Couldn't open " + dir.File("nope.bas")});
  EXPECT_TRUE(ProcedureFailed);
  EXPECT_EQ(MasterLink.port, nullptr);
}

// ---- the whole program, in batch mode, against the simulated master ----

class ProgramMasterBatchTest : public ::testing::Test {
 protected:
  TempFolder dir;
  void SetUp() override {
    InstallFakeTool(dir.path);
    WriteFile(dir.File("pic32prog.bas"), "' programmer\r\nPGD = 0\r\nPRINT \"ready\"\r\n");
  }
  void Settle(const std::string& port, const std::string& speed, const std::string& device = "micromite") {
    WriteSettings(dir, {{"micromite", "uM SerialSpeed = " + speed},
                        {"micromite", "LineDelay = 100"},
                        {"General", "Master Device = " + device},
                        {"General", "comport = " + port}});
  }
};

const std::string kStored = "' programmer\r\n" + kPins + "\r\nPRINT \"ready\"\r\n";

// The time from the first byte the master receives to the port's close after
// the final Ctrl-Z, against the sum of the waits.
void ExpectPacing(const std::vector<SimEvent>& events, const std::vector<std::pair<std::string, int>>& expected,
                  double totalMs) {
  const std::vector<Burst> bursts = Bursts(events);
  ASSERT_GE(bursts.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(Visible(bursts[i].bytes), Visible(expected[i].first)) << "burst " << i;
    if (i + 1 < expected.size()) {
      // The simulator stamps bytes when it wakes up for them, a few ms late
      // on a busy machine, which shortens one gap as it lengthens the one
      // before; the exact bound on each wait is checked where it is taken
      // (MasterLinkTest.EachExchangeWaitsAtLeastItsWait). A missing or wrong
      // wait is off by a LineDelay or more.
      EXPECT_GE((bursts[i + 1].t - bursts[i].t) * 1000, expected[i].second - 10) << "after burst " << i;
    }
  }
  // The upload ends when the port closes; a reopen right after it (the
  // speed offer at exit) can hide the close, then its first byte marks it.
  const SimEvent* last = nullptr;
  for (const SimEvent& e : events)
    if (e.kind == "rx" && e.data.find('\x1A') != std::string::npos) last = &e;
  ASSERT_NE(last, nullptr);
  double end = 0;
  for (const SimEvent* e = last + 1; e < events.data() + events.size(); ++e)
    if (e->kind == "close" || e->kind == "rx") {
      end = e->t;
      break;
    }
  ASSERT_GT(end, 0);
  const double took = (end - bursts[0].t) * 1000;
  EXPECT_GE(took, totalMs - 10);
  // Within 1 %, and by less than one LineDelay on a busy machine.
  EXPECT_LE(took, totalMs * 1.01 + 40);
}

TEST_F(ProgramMasterBatchTest, AMicromiteThatAnswersIsSwitchedLoadedAndOfferedItsSpeedBack) {
  Simulator sim;
  Settle(sim.port, "38400");
  const CommandResult r = RunKorvane(dir, "--program-master --restore-speed=yes");
  sim.Stop();
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string saved = "Saved " + std::to_string(kStored.size()) + " bytes\r\n> ";
  EXPECT_EQ(Visible(r.out), Visible("Program stage 1 started\n"
                                    "Connected to Master at 38400\n"
                                    "\r\n> \n"
                                    "OPTION BAUDRATE 115200\r\n\n"
                                    "Connected to Master at 115200\n"
                                    "Baud Rate changed to 115200\n" +
                                    sim.port + "   " + kPins + "\n" +
                                    "\r\n> \n"
                                    "***...\n" +
                                    saved + "\n" +
                                    "Program Master completed\n"
                                    // The exit puts the master back to its speed.
                                    "Connected to Master at 115200\n"
                                    "OPTION BAUDRATE 38400\r\n\n"
                                    "Port Speed changed back to 38400\n"));
  EXPECT_EQ(r.err, "micromite: Change baudrate back to 38400 ?\n");
  EXPECT_NE(ReadFile(dir.File("Korvane.inf")).find("uM SerialSpeed = 38400\r\n"), std::string::npos);
  EXPECT_EQ(sim.Speed(38400), 38400);

  const std::vector<SimEvent> events = sim.Events();
  std::string stored;
  for (const SimEvent& e : events)
    if (e.kind == "saved") stored = e.data;
  EXPECT_EQ(Visible(stored), Visible(std::to_string(kStored.size()) + " " + kStored));
  ExpectPacing(events,
               {{"\x03", 200},
                {"OPTION BAUDRATE 115200\r\n", 300},
                {"\x03", 200},
                {"NEW\r", 1500},
                {"AUTOSAVE\r", 1500},
                {"' programmer\r", 100},
                {kPins + "\r", 100},
                {"PRINT \"ready\"\r", 100},
                {"\x1A", 1000}},
               (44 + 3) * 100 + 100 + 200);
}

TEST_F(ProgramMasterBatchTest, AMasterAlreadyAt115200IsLoadedWithoutASwitch) {
  Simulator sim({"--speed", "115200"});
  Settle(sim.port, "115200");
  const CommandResult r = RunKorvane(dir, "--program-master");
  sim.Stop();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Visible(r.out), Visible("Program stage 1 started\n"
                                    "Connected to Master at 115200\n"
                                    "\r\n> \n" +
                                    sim.port + "   " + kPins + "\n" +
                                    "\r\n> \n"
                                    "***...\n"
                                    "Saved " +
                                    std::to_string(kStored.size()) + " bytes\r\n> \n" +
                                    "Program Master completed\n"));
  EXPECT_EQ(r.err, "");
  ExpectPacing(sim.Events(),
               {{"\x03", 200},
                {"\x03", 200},
                {"NEW\r", 1500},
                {"AUTOSAVE\r", 1500},
                {"' programmer\r", 100},
                {kPins + "\r", 100},
                {"PRINT \"ready\"\r", 100},
                {"\x1A", 1000}},
               (44 + 3) * 100);
}

TEST_F(ProgramMasterBatchTest, NoMasterLogsThePinLineOnlyAndFails) {
  Settle(dir.File("no-such-port"), "38400");
  const CommandResult r = RunKorvane(dir, "--program-master");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Program stage 1 started\nMaster not found!\n" + dir.File("no-such-port") + "   " + kPins + "\n");
  EXPECT_EQ(r.err, "OOPS!: Master not found! " + dir.File("no-such-port") + ":38400\n");
}

TEST_F(ProgramMasterBatchTest, AReopenThatFailsAfterTheSwitchStopsTheUploadAndKeeps115200) {
  Simulator sim({"--unplug-on-baudrate"});
  Settle(sim.port, "38400");
  const CommandResult r = RunKorvane(dir, "--program-master --restore-speed=no");
  sim.Stop();
  EXPECT_EQ(r.status, 1);
  // The reply to the baud-rate command may or may not have made it out
  // before the cable went.
  EXPECT_EQ(r.out.rfind("Program stage 1 started\nConnected to Master at 38400\n\r\n> \n", 0), 0u) << Visible(r.out);
  const std::string tail = "Master not found!\nBaud Rate change failed\n" + sim.port + "   " + kPins +
                           "\nPort Speed remains at 115200\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << Visible(r.out);
  EXPECT_NE(ReadFile(dir.File("Korvane.inf")).find("uM SerialSpeed = 115200\r\n"), std::string::npos);
  EXPECT_EQ(sim.Received(), "\x03OPTION BAUDRATE 115200\r\n");
}

TEST_F(ProgramMasterBatchTest, AnUnplugDuringTheUploadRunsTheProcedureToItsEnd) {
  Simulator sim({"--speed", "115200", "--unplug-after", "2"});
  Settle(sim.port, "115200");
  WriteFile(dir.File("pic32prog.bas"), "L1\rL2\rL3\rL4\rL5\r");
  const auto t0 = std::chrono::steady_clock::now();
  const CommandResult r = RunKorvane(dir, "--program-master");
  const double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  sim.Stop();
  // The upload keeps its waits to the end; the close finds the device gone.
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(Visible(r.out), Visible("Program stage 1 started\nConnected to Master at 115200\n\r\n> \n" + sim.port +
                                    "   " + kPins + "\n\r\n> \n***....\n\nProgram Master completed\n" +
                                    "Master connection lost\n"));
  EXPECT_EQ(sim.Received(), "\x03\x03NEW\rAUTOSAVE\rL1\r" + kPins + "\r");
  EXPECT_LT(took, (44 + 5) * 100 + 3000);  // the waits, not a hang
}

TEST_F(ProgramMasterBatchTest, AHugeLineDelayWaitsInsteadOfWrappingAround) {
  Simulator sim({"--speed", "115200"});
  WriteSettings(dir, {{"micromite", "uM SerialSpeed = 115200"},
                      {"micromite", "LineDelay = 2147483647"},
                      {"General", "comport = " + sim.port}});
  // Twice the delay no longer fits 32 bits; the first break's wait must
  // still be a long one, so nothing follows it for now.
  RunKorvane(dir, "--program-master", "timeout 0.6");
  sim.Stop();
  EXPECT_EQ(Visible(sim.Received()), "\\x03");
}

TEST_F(ProgramMasterBatchTest, OtherMastersAreLoadedByTheToolAndItsFailuresCount) {
  struct Case {
    const char* device;
    const char* speed;
    const char* script;  // "" = the tool is missing
    int status;
    const char* out;
  };
  const Case cases[] = {
      {"Arduino", "-b3", "out hello\\n", 0,
       "Arduino program stage 1 started\nhello\n\nSuccess!\nProgram Master completed\n"},
      {"PIC16F1455", "-b1", "err Failed to find arduino/STK500 bootloader\\n\nexit -1", 1,
       "Arduino program stage 1 started\nFailed to find arduino/STK500 bootloader\n\nError code: 255\n"
       "Program Master completed\n"},
      // A micromite in other capitals is not taken for one.
      {"MicroMite", "-b3", "out ok\\n", 0, "Arduino program stage 1 started\nok\n\nSuccess!\nProgram Master completed\n"},
      {"Arduino", "-b4", "", 1,
       "Arduino program stage 1 started\nCould not start pic32prog: No such file or directory\n"
       "Program Master completed\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    Simulator sim;
    WriteSettings(dir, {{"Arduino", std::string("A SerialSpeed = ") + c.speed},
                        {"General", std::string("Master Device = ") + c.device},
                        {"General", "comport = " + sim.port}});
    WriteFile(dir.File("script"), c.script);
    WriteFile(dir.File("record"), "");
    const std::string env = std::string(c.script[0] ? "" : "PATH=/nonexistent ") +
                            "FAKE_PIC32PROG_SCRIPT=" + ShellQuote(dir.File("script")) +
                            " FAKE_PIC32PROG_RECORD=" + ShellQuote(dir.File("record"));
    const CommandResult r = RunKorvane(dir, "--program-master", env);
    sim.Stop();
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
    if (c.script[0]) {
      EXPECT_EQ(ReadFile(dir.File("record")), "arg: -d\narg: ascii:" + sim.port + "\narg: " + c.speed + "\ncwd: " +
                                                  dir.path.substr(0, dir.path.size() - 1) + "\n");
    }
    EXPECT_EQ(sim.Received(), "");  // the tool talks to the master, not the program
  }
}

}  // namespace
#endif  // !_WIN32
