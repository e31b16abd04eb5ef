// Which serial ports can be opened now.
#pragma once
#include <string>
#include <vector>

// The names the last scan could open, in order (full device paths on POSIX).
extern std::vector<std::string> PortList;

// Refills PortList; shows "OOPS!" / "No com ports found" when empty.
void ScanComPorts();

// The scan over a given device tree: the tty class folder (Linux) and the
// device folder. ScanComPorts uses "/sys/class/tty/" and "/dev/"; Windows
// ignores both.
void ScanComPortsIn(const std::string& ttyClassFolder, const std::string& deviceFolder);
