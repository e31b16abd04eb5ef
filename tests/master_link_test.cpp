// The serial connection and the command exchange, over a pseudo-terminal.
// Pseudo-terminals and the shell: the Windows build meets these roads in
// wine_test.cpp, through the real korvane.exe.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "master/command.h"
#include "master/master_link.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "platform/serial_baud_posix.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;
double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

class MasterLinkTest : public ::testing::Test {
 protected:
  PtyPair pty;
  LogFixture log;
  BoxRecorder boxes;
  void SetUp() override {
    Settings = SettingsRecord();
    Settings.ComPort = pty.slave;
    Settings.LineDelay = 100;
    ProcedureFailed = false;
  }
  void TearDown() override { CloseMaster(); }
};

TEST_F(MasterLinkTest, WaitingBytesAreReadUpToTheCapacityAndTheRestStaysQueued) {
  ASSERT_TRUE(OpenMaster());
  char buffer[8192];
  EXPECT_EQ(ReadMaster(buffer, 5120), 0);  // nothing waiting: at once
  std::string sent;
  for (int i = 0; i < 6000; ++i) sent += static_cast<char>('a' + i % 26);
  pty.Send(sent);
  SleepMs(50);
  ASSERT_EQ(ReadMaster(buffer, 5120), 5120);
  std::string got(buffer, 5120);
  ASSERT_EQ(ReadMaster(buffer, 5120), 880);
  got.append(buffer, 880);
  EXPECT_EQ(got, sent);
  EXPECT_EQ(ReadMaster(buffer, 5120), 0);

  // The same through the command exchange: the rest begins the next reply.
  pty.Send(sent);
  SleepMs(50);
  const std::string first = SendCommand("", 1);
  const std::string second = SendCommand("", 1);
  EXPECT_EQ(first.size(), 5120u);
  EXPECT_EQ(first + second, sent);
}

TEST_F(MasterLinkTest, RepliesAreWhatArrivedByTheEndOfTheWaitCutAtANul) {
  ASSERT_TRUE(OpenMaster());
  pty.Send("early echo\r\n");  // arrived before the exchange: part of its reply
  SleepMs(20);
  EXPECT_EQ(SendCommand("A\r", 5), "early echo\r\n");
  EXPECT_EQ(pty.Drain(), "A\r");

  pty.Send(std::string("ab\0cd", 5));
  SleepMs(20);
  EXPECT_EQ(SendCommand("", 5), "ab");
  EXPECT_EQ(pty.Drain(), "");  // an empty text sends nothing

  // Every byte value passes both ways unchanged.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  pty.Send(all);
  SleepMs(20);
  EXPECT_EQ(SendCommand(all, 5), all);
  EXPECT_EQ(pty.Drain(), all);
}

TEST_F(MasterLinkTest, EachExchangeWaitsAtLeastItsWait) {
  ASSERT_TRUE(OpenMaster());
  struct Case {
    int64_t delay;
    double expected;
  };
  const Case cases[] = {{0, 100}, {1, 1}, {37, 37}, {250, 250}};
  for (const Case& c : cases) {
    const auto t0 = Clock::now();
    SendCommand("x", c.delay);
    EXPECT_GE(MsSince(t0), c.expected) << "delay " << c.delay;
  }
  Settings.LineDelay = 130;  // 0 follows LineDelay as it is now
  const auto t0 = Clock::now();
  SendCommand("", 0);
  EXPECT_GE(MsSince(t0), 130);
}

TEST_F(MasterLinkTest, OpenMasterUsesTheLeadingNumberOfTheSpeedAndOpensOnce) {
  Settings.MicromiteSpeed = "9600 baud";
  ASSERT_TRUE(OpenMaster());
  EXPECT_EQ(CurrentBaud(pty.master), 9600);
  EXPECT_TRUE(OpenMaster());  // already open: nothing logged, nothing changed
  EXPECT_EQ(log.lines(), std::vector<std::string>{"Connected to Master at 9600 baud"});
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_FALSE(ProcedureFailed);
}

TEST_F(MasterLinkTest, ThePortIsRawEightNoneOneWithoutFlowControl) {
  const int32_t rates[] = {9600, 38400, 115200, 250000};
  for (int32_t rate : rates) {
    SerialPort* port = OpenComPort(pty.slave, rate, 8192, 8192);
    ASSERT_NE(port, nullptr) << rate;
    EXPECT_EQ(CurrentBaud(pty.master), rate);
    termios t{};
    ASSERT_EQ(tcgetattr(pty.master, &t), 0);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    CloseComPort(port);
  }
}

TEST_F(MasterLinkTest, APortThatCannotBeOpenedGivesOneLineAndOneBox) {
  TempFolder dir;
  WriteFile(dir.File("plain"), "not a terminal");
  SerialPort* holder = OpenComPort(pty.slave, 38400, 8192, 8192);  // held elsewhere
  ASSERT_NE(holder, nullptr);
  struct Case {
    std::string port, speed;
  };
  const Case cases[] = {
      {dir.File("missing"), "38400"}, {dir.File("plain"), "38400"}, {"", "38400"},
      {pty.slave, "38400"},           {dir.File("plain"), "abc"},
  };
  for (const Case& c : cases) {
    ClearLog();
    boxes.shown.clear();
    ProcedureFailed = false;
    Settings.ComPort = c.port;
    Settings.MicromiteSpeed = c.speed;
    EXPECT_FALSE(OpenMaster()) << c.port;
    EXPECT_EQ(MasterLink.port, nullptr);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Master not found!"});
    EXPECT_EQ(boxes.shown, std::vector<std::string>{"OOPS!: Master not found! " + c.port + ":" + c.speed});
    EXPECT_TRUE(ProcedureFailed);
  }
  CloseComPort(holder);
  Settings.ComPort = pty.slave;
  Settings.MicromiteSpeed = "38400";
  EXPECT_TRUE(OpenMaster());  // free again once the other holder let go
}

TEST_F(MasterLinkTest, AClosedLinkReadsAndWritesMinusOneAndStillWaits) {
  char buffer[16];
  EXPECT_EQ(ReadMaster(buffer, 16), -1);
  EXPECT_EQ(WriteMaster("x", 1), -1);
  ASSERT_TRUE(OpenMaster());
  CloseMaster();
  EXPECT_EQ(ReadMaster(buffer, 16), -1);
  EXPECT_EQ(WriteMaster("x", 1), -1);
  const auto t0 = Clock::now();
  EXPECT_EQ(SendCommand("RUN\r\n", 120), "");
  EXPECT_GE(MsSince(t0), 120);
  EXPECT_EQ(pty.Drain(), "");
}

TEST_F(MasterLinkTest, AVanishedDeviceNeitherHangsNorFails) {
  ASSERT_TRUE(OpenMaster());
  pty.Send("pending");
  SleepMs(20);
  pty.Hangup();  // the cable is pulled
  char buffer[64];
  const auto t0 = Clock::now();
  EXPECT_LE(ReadMaster(buffer, 64), 7);  // what had arrived may still be read
  EXPECT_EQ(ReadMaster(buffer, 64), 0);
  EXPECT_EQ(WriteMaster("OPTION BAUDRATE 115200\r\n", 24), 0);
  EXPECT_EQ(SendCommand("NEW\r", 10), "");
  EXPECT_LT(MsSince(t0), 1000);
  CloseMaster();
  EXPECT_EQ(MasterLink.port, nullptr);
}

TEST_F(MasterLinkTest, AWriteTheDeviceDoesNotTakeGivesUpAfterItsTimeOut) {
  ASSERT_TRUE(OpenMaster());
  // Fill the line towards the device until it takes nothing more: nobody
  // reads the other end.
  const int other = open(pty.slave.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(other, 0);
  const std::string block(256, 'z');
  for (int round = 0; round < 5; ++round) {  // the kernel moves some along at first
    while (write(other, block.data(), block.size()) > 0) {
    }
    SleepMs(30);
  }
  close(other);
  const auto t0 = Clock::now();
  EXPECT_EQ(WriteMaster("abc", 3), 0);
  const double took = MsSince(t0);
  EXPECT_GE(took, 310);  // 100 ms a byte + 10 ms
  EXPECT_LT(took, 2000);
}

}  // namespace
#endif  // !_WIN32
