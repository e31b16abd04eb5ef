// Which serial ports can be opened now.
#pragma once
#include <string>
#include <vector>

// The names the last scan could open, in order.
extern std::vector<std::string> PortList;

// Refills PortList; shows "OOPS!" / "No com ports found" when empty.
void ScanComPorts();
