// The Micromite console operations against the simulated master: the speed
// the program believes in must be the speed the master runs at.
// Pseudo-terminals and the shell: the Windows build meets these roads in
// wine_test.cpp, through the real korvane.exe.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <functional>

#include "master/console.h"
#include "master/master_link.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

struct Row {
  const char* name;
  std::vector<std::string> simOptions;
  std::string device, speed, saved;
  int masterSpeed;  // the simulated master's console speed at the start
  std::function<void()> action;
  BoxAnswer answer;
  // Afterwards:
  std::string speedAfter;
  int masterSpeedAfter;
  std::vector<std::string> log;  // "*" matches any line
  std::vector<std::string> boxes;
  std::string received;
};

void SwitchLogged() {
  OpenMaster();
  ClearLog();
  EXPECT_TRUE(SwitchTo115200(true));
}
void SwitchQuiet() {
  OpenMaster();
  ClearLog();
  EXPECT_TRUE(SwitchTo115200(false));
}
void SwitchFailing() {
  OpenMaster();
  ClearLog();
  EXPECT_FALSE(SwitchTo115200(true));
}
void SwitchWithoutLink() { EXPECT_TRUE(SwitchTo115200(false)); }
void Offer() {
  OfferSpeedRestore();
  EXPECT_EQ(MasterLink.port, nullptr);
}

TEST(ConsoleTest, TheSpeedStateFollowsItsTableAndTheMasterFollowsIt) {
  const std::string fast = "OPTION BAUDRATE 115200\r\n";
  const Row rows[] = {
      {"Configured, switch", {}, "micromite", "38400", "38400", 38400, SwitchLogged, BoxAnswer::Yes,
       "115200", 115200, {fast, "Connected to Master at 115200", "Baud Rate changed to 115200"}, {}, fast},
      {"Configured, switch for Program Target", {}, "micromite", "38400", "38400", 38400, SwitchQuiet,
       BoxAnswer::Yes, "115200", 115200, {"Connected to Master at 115200", "Baud Rate changed to 115200"}, {}, fast},
      {"configured at 115200, no switch", {}, "micromite", "115200", "115200", 115200, SwitchLogged,
       BoxAnswer::Yes, "115200", 115200, {}, {}, ""},
      {"Switched, restore Yes", {}, "micromite", "115200", "38400", 115200, Offer, BoxAnswer::Yes, "38400", 38400,
       {"Connected to Master at 115200", "OPTION BAUDRATE 38400\r\n", "Port Speed changed back to 38400"},
       {"micromite: Change baudrate back to 38400 ?"}, "\x03OPTION BAUDRATE 38400\r\n"},
      {"Switched, restore No", {}, "micromite", "115200", "9600", 115200, Offer, BoxAnswer::No, "115200", 115200,
       {"Port Speed remains at 115200"}, {"micromite: Change baudrate back to 9600 ?"}, ""},
      {"Configured, no offer", {}, "micromite", "38400", "38400", 38400, Offer, BoxAnswer::Yes, "38400", 38400,
       {}, {}, ""},
      {"Arduino master, no offer", {}, "Arduino", "115200", "38400", 115200, Offer, BoxAnswer::Yes, "115200",
       115200, {}, {}, ""},
      {"MicroMite in capitals, no offer", {}, "MicroMite", "115200", "38400", 115200, Offer, BoxAnswer::Yes,
       "115200", 115200, {}, {}, ""},
      // The caller's open failed and it went on: nothing reaches the master,
      // yet the program takes it to be switched.
      {"switch without an open link", {}, "micromite", "38400", "38400", 38400, SwitchWithoutLink,
       BoxAnswer::Yes, "115200", 38400, {"Connected to Master at 115200", "Baud Rate changed to 115200"}, {}, ""},
      {"reopen fails after the switch", {"--unplug-on-baudrate"}, "micromite", "38400", "38400", 38400,
       SwitchFailing, BoxAnswer::Yes, "115200", 38400, {"*", "Master connection lost", "Master not found!", "Baud Rate change failed"},
       {"OOPS!: Master not found! PORT:115200"}, fast},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> options = row.simOptions;
    options.push_back("--speed");
    options.push_back(std::to_string(row.masterSpeed));
    Simulator sim(options);
    LogFixture log;
    BoxRecorder boxes;
    boxes.answer = row.answer;
    Settings = SettingsRecord();
    Settings.ComPort = sim.port;
    Settings.LineDelay = 100;
    Settings.MasterDevice = row.device;
    Settings.MicromiteSpeed = row.speed;
    Settings.SavedMicromiteSpeed = row.saved;

    row.action();
    CloseMaster();
    sim.Stop();

    EXPECT_EQ(Settings.MicromiteSpeed, row.speedAfter);
    EXPECT_EQ(Settings.SavedMicromiteSpeed, row.saved);  // never changed by these
    EXPECT_TRUE(Settings.MicromiteSpeed == Settings.SavedMicromiteSpeed || Settings.MicromiteSpeed == "115200");
    EXPECT_EQ(sim.Speed(row.masterSpeed), row.masterSpeedAfter);
    ASSERT_EQ(log.lines().size(), row.log.size()) << Visible(log.view.text);
    for (size_t i = 0; i < row.log.size(); ++i) {
      if (row.log[i] == "*") continue;
      EXPECT_EQ(Visible(log.lines()[i]), Visible(row.log[i])) << "line " << i;
    }
    std::vector<std::string> expectedBoxes;
    for (std::string b : row.boxes) {
      const size_t at = b.find("PORT");
      if (at != std::string::npos) b.replace(at, 4, sim.port);
      expectedBoxes.push_back(b);
    }
    EXPECT_EQ(boxes.shown, expectedBoxes);
    const std::string received = sim.Received();
    // The open before a switch sends nothing; only the operation's bytes count.
    EXPECT_EQ(Visible(received), Visible(row.received));
  }
}

}  // namespace
#endif  // !_WIN32
