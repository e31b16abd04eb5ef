// The port scan over a fake device tree whose devices are pseudo-terminals.
// Pseudo-terminals: the Windows build probes COM ports, which wine_test.cpp
// reaches through korvane.exe.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <unistd.h>

#include "master/master_link.h"
#include "master/port_scan.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

class PortScanTest : public ::testing::Test {
 protected:
  TempFolder tree;
  PtyPair usb9, usb10, acm0, console;
  std::string sys, dev;
  BoxRecorder boxes;

  void SetUp() override {
    Settings = SettingsRecord();
    sys = tree.File("sys/class/tty/");
    dev = tree.File("dev/");
    MakeDir(tree.File("sys"));
    MakeDir(tree.File("sys/class"));
    MakeDir(sys);
    MakeDir(dev);
    // Serial devices have a "device" link in the tty class; consoles don't.
    for (const char* name : {"ttyUSB10", "ttyUSB9", "ttyUSB2", "ttyACM0", "ttyACM1"}) Device(name, true);
    Device("tty0", false);
    Device("ttyS5", false);
    Link("ttyUSB10", usb10.slave);
    Link("ttyUSB9", usb9.slave);
    WriteFile(dev + "ttyUSB2", "a plain file, not a terminal");
    Link("ttyACM0", acm0.slave);
    // ttyACM1 has no device node at all.
    Link("tty0", console.slave);
    Link("ttyS5", console.slave);
  }
  static void MakeDir(const std::string& path) { mkdir(path.c_str(), 0755); }
  void Device(const std::string& name, bool withLink) {
    MakeDir(sys + name);
    if (!withLink) return;
    EXPECT_EQ(symlink(("../../devices/" + name).c_str(), (sys + name + "/device").c_str()), 0);
  }
  void Link(const std::string& name, const std::string& target) {
    EXPECT_EQ(symlink(target.c_str(), (dev + name).c_str()), 0);
  }
  double Scan() {
    const auto t0 = std::chrono::steady_clock::now();
    ScanComPortsIn(sys, dev);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  }
};

TEST_F(PortScanTest, ListsTheDevicesThatOpenInNaturalOrder) {
  SerialPort* held = OpenComPort(dev + "ttyACM0", 38400, 8192, 8192);  // another program has it
  ASSERT_NE(held, nullptr);
  PortList = {"stale"};
  const double took = Scan();
  EXPECT_EQ(PortList, (std::vector<std::string>{dev + "ttyUSB9", dev + "ttyUSB10"}));
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_GE(took, 5 * 20);  // five candidates, 20 ms after each probe

  // The probes leave nothing open; a second scan starts afresh.
  CloseComPort(held);
  Scan();
  EXPECT_EQ(PortList, (std::vector<std::string>{dev + "ttyACM0", dev + "ttyUSB9", dev + "ttyUSB10"}));
  SerialPort* again = OpenComPort(dev + "ttyUSB10", 38400, 8192, 8192);
  EXPECT_NE(again, nullptr);
  CloseComPort(again);
}

TEST_F(PortScanTest, MaxPortNumberLimitsTheCandidates) {
  SerialPort* held = OpenComPort(dev + "ttyACM0", 38400, 8192, 8192);
  ASSERT_NE(held, nullptr);
  struct Case {
    int32_t max;
    std::vector<std::string> found;
  };
  const Case cases[] = {
      {3, {}},  // ttyACM0, ttyACM1, ttyUSB2: none opens
      {4, {"ttyUSB9"}},
      {0, {}},
      {-7, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max);
    Settings.MaxPortNumber = c.max;
    boxes.shown.clear();
    PortList = {"stale"};
    Scan();
    std::vector<std::string> expected;
    for (const std::string& name : c.found) expected.push_back(dev + name);
    EXPECT_EQ(PortList, expected);
    EXPECT_EQ(boxes.shown, expected.empty() ? std::vector<std::string>{"OOPS!: No com ports found"}
                                            : std::vector<std::string>{});
  }
  CloseComPort(held);
}

}  // namespace
#endif  // !_WIN32
