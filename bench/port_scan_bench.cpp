// The time of a Linux port scan over a fake device tree of N devices backed
// by pseudo-terminals, against the same scan of an empty tree.
//
//   port_scan_bench [N]      (default 16)
//
// Prints "figure NAME VALUE" lines: scan_empty_ms, scan_ms, scan_per_device_ms
// (the scan less the empty one, per probed device; each probe includes the
// 20 ms pause that follows it), open_close_ms (one open and close of a
// device, without the pause).
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "master/master_link.h"
#include "master/port_scan.h"
#include "settings/settings.h"
#include "ui/message_box.h"

namespace {

BoxAnswer Quiet(const std::string&, const std::string&, BoxButtons) { return BoxAnswer::Ok; }

double Milliseconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

struct Tree {
  std::string root, sys, dev;
};

Tree MakeTree(const std::string& base, const std::vector<std::string>& slaves) {
  Tree t{base, base + "/sys/", base + "/dev/"};
  mkdir(t.root.c_str(), 0755);
  mkdir(t.sys.c_str(), 0755);
  mkdir(t.dev.c_str(), 0755);
  for (size_t i = 0; i < slaves.size(); ++i) {
    const std::string name = "ttyUSB" + std::to_string(i);
    mkdir((t.sys + name).c_str(), 0755);
    if (symlink(("../../devices/" + name).c_str(), (t.sys + name + "/device").c_str()) != 0) std::perror("symlink");
    if (symlink(slaves[i].c_str(), (t.dev + name).c_str()) != 0) std::perror("symlink");
  }
  return t;
}

double MedianScan(const Tree& t, int rounds) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    ScanComPortsIn(t.sys, t.dev);
    times.push_back(Milliseconds(t0));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 16;
  MessageBoxBackend = Quiet;
  Settings = SettingsRecord();
  Settings.MaxPortNumber = n + 1;

  std::vector<int> masters;
  std::vector<std::string> slaves;
  for (int i = 0; i < n; ++i) {
    const int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0 || grantpt(m) != 0 || unlockpt(m) != 0) {
      std::perror("posix_openpt");
      return 1;
    }
    masters.push_back(m);
    slaves.push_back(ptsname(m));
  }
  char pattern[] = "/tmp/korvane-scan-XXXXXX";
  const std::string base = mkdtemp(pattern);
  const Tree empty = MakeTree(base + "/empty", {});
  const Tree full = MakeTree(base + "/full", slaves);

  const double emptyMs = MedianScan(empty, 5);
  const double fullMs = MedianScan(full, 5);
  if (PortList.size() != static_cast<size_t>(n)) {
    std::fprintf(stderr, "the scan found %zu of %d devices\n", PortList.size(), n);
    return 1;
  }
  // One open and close without the pause.
  std::vector<double> opens;
  for (int i = 0; i < 50; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    SerialPort* p = OpenComPort(full.dev + "ttyUSB0", 38400, 1024, 1024);
    CloseComPort(p);
    opens.push_back(Milliseconds(t0));
  }
  std::sort(opens.begin(), opens.end());
  std::printf("port scan of %d pty devices: %.1f ms; of an empty tree: %.2f ms\n", n, fullMs, emptyMs);
  std::printf("figure scan_devices %d\n", n);
  std::printf("figure scan_empty_ms %.3f\n", emptyMs);
  std::printf("figure scan_ms %.3f\n", fullMs);
  std::printf("figure scan_per_device_ms %.3f\n", (fullMs - emptyMs) / n);
  std::printf("figure open_close_ms %.3f\n", opens[opens.size() / 2]);
  for (int m : masters) close(m);
  const std::string rm = "rm -rf " + base;
  return std::system(rm.c_str()) == 0 ? 0 : 1;
}
