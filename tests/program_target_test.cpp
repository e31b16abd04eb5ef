// Program Target through the whole program in batch mode, with the simulated
// Micromite master and the stand-in tool.
// Pseudo-terminals and the shell: the Windows build meets these roads in
// wine_test.cpp, through the real korvane.exe.
#ifndef _WIN32
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

class ProgramTargetBatchTest : public ::testing::Test {
 protected:
  TempFolder dir;
  void SetUp() override {
    InstallFakeTool(dir.path);
    WriteFile(dir.File("script"), "out hello\\r\\n");
    WriteFile(dir.File("app.hex"), ":00000001FF\n");
  }
  CommandResult Run(const std::string& port, const std::string& speed, const std::string& device,
                    const std::string& restore) {
    WriteSettings(dir, {{"micromite", "uM SerialSpeed = " + speed},
                        {"micromite", "LineDelay = 100"},
                        {"General", "Master Device = " + device},
                        {"General", "comport = " + port}});
    return RunKorvane(dir, "--program-target " + ShellQuote(dir.File("app.hex")) + " --restore-speed=" + restore,
                      "FAKE_PIC32PROG_SCRIPT=" + ShellQuote(dir.File("script")));
  }
  std::string RunLines(const std::string& port) const {
    return "-d ascii:" + port + " \"" + dir.File("app.hex") + "\"\nhello\n\nSuccess!\nProgramming completed in S seconds\n";
  }
  std::string SavedSpeed() const {
    const std::string file = ReadFile(dir.File("Korvane.inf"));
    const size_t at = file.find("uM SerialSpeed = ");
    return at == std::string::npos ? "" : file.substr(at + 17, file.find('\r', at) - at - 17);
  }
};

TEST_F(ProgramTargetBatchTest, AMicromiteThatAnswersIsSwitchedStartedAndPutBack) {
  Simulator sim;
  const CommandResult r = Run(sim.port, "38400", "micromite", "yes");
  sim.Stop();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Visible(WithoutSeconds(r.out)),
            Visible("Programming slave device\n"
                    "Connected to Master at 38400\n"
                    "Connected to Master at 115200\n"
                    "Baud Rate changed to 115200\n"
                    "RUN\r\n\n" +
                    RunLines(sim.port) +
                    "Connected to Master at 115200\n"
                    "OPTION BAUDRATE 38400\r\n\n"
                    "Port Speed changed back to 38400\n\n\n\n"));
  EXPECT_EQ(r.err, "micromite: Change baudrate back to 38400 ?\n");
  const std::vector<Burst> bursts = Bursts(sim.Events());
  const std::vector<std::pair<std::string, int>> expected = {
      {"\x03", 38400}, {"OPTION BAUDRATE 115200\r\n", 38400}, {"\x03", 115200}, {"RUN\r\n", 115200},
      {"\x03", 115200}, {"OPTION BAUDRATE 38400\r\n", 115200}};
  ASSERT_EQ(bursts.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(Visible(bursts[i].bytes), Visible(expected[i].first)) << i;
    EXPECT_EQ(bursts[i].baud, expected[i].second) << i;
  }
  EXPECT_EQ(sim.Speed(38400), 38400);
  EXPECT_EQ(SavedSpeed(), "38400");
}

TEST_F(ProgramTargetBatchTest, NoMasterStillRunsTheToolAndAsksAboutTheSpeed) {
  const std::string port = dir.File("no-such-port");
  const CommandResult r = Run(port, "38400", "micromite", "no");
  EXPECT_EQ(r.status, 1);  // the master was not found
  EXPECT_EQ(WithoutSeconds(r.out), "Programming slave device\n"
                                   "Master not found!\n"
                                   "Master not found!\n"
                                   "Baud Rate change failed\n"
                                   "\n" +
                                       RunLines(port) +
                                       "Port Speed remains at 115200\n\n\n\n"
                                       // and once more at exit
                                       "Port Speed remains at 115200\n");
  EXPECT_EQ(r.err, "OOPS!: Master not found! " + port + ":38400\nOOPS!: Master not found! " + port +
                       ":115200\nmicromite: Change baudrate back to 38400 ?\n"
                       "micromite: Change baudrate back to 38400 ?\n");
  EXPECT_EQ(SavedSpeed(), "115200");  // declined at exit: the file keeps the switched speed
}

TEST_F(ProgramTargetBatchTest, AReopenThatFailsAfterTheSwitchGoesOnToTheTool) {
  Simulator sim({"--unplug-on-baudrate"});
  const CommandResult r = Run(sim.port, "38400", "micromite", "no");
  sim.Stop();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutSeconds(r.out), "Programming slave device\n"
                                   "Connected to Master at 38400\n"
                                   "Master connection lost\n"
                                   "Master not found!\n"
                                   "Baud Rate change failed\n"
                                   "\n" +
                                       RunLines(sim.port) +
                                       "Port Speed remains at 115200\n\n\n\nPort Speed remains at 115200\n");
  EXPECT_EQ(SavedSpeed(), "115200");
}

TEST_F(ProgramTargetBatchTest, AMasterAlreadyAt115200IsStartedWithoutASwitchOrAQuestion) {
  Simulator sim({"--speed", "115200"});
  const CommandResult r = Run(sim.port, "115200", "micromite", "no");
  sim.Stop();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Visible(WithoutSeconds(r.out)), Visible("Programming slave device\n"
                                                    "Connected to Master at 115200\n"
                                                    "RUN\r\n\n" +
                                                    RunLines(sim.port) + "\n\n\n"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(sim.Received(), "\x03\x03RUN\r\n");
}

TEST_F(ProgramTargetBatchTest, AMicromiteWrittenInOtherCapitalsIsNotPrepared) {
  Simulator sim;
  const CommandResult r = Run(sim.port, "38400", "MicroMite", "no");
  sim.Stop();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(WithoutSeconds(r.out), "Programming slave device\n" + RunLines(sim.port) + "\n\n\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(sim.Received(), "");
}

}  // namespace
#endif  // !_WIN32
