#include "master/port_scan.h"

#include "master/master_link.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "settings/settings.h"
#include "ui/message_box.h"

std::vector<std::string> PortList;

namespace {
constexpr int32_t kProbeBaud = 38400;
constexpr int32_t kProbeQueue = 1024;
constexpr int64_t kProbePauseMs = 20;
}  // namespace

void ScanComPortsIn(const std::string& ttyClassFolder, const std::string& deviceFolder) {
  PortList.clear();
  // A port counts as present exactly when it can be opened and configured
  // now; one held by another program does not.
  for (const std::string& name : SerialPortCandidates(Settings.MaxPortNumber, ttyClassFolder, deviceFolder)) {
    if (SerialPort* port = OpenComPort(name, kProbeBaud, kProbeQueue, kProbeQueue)) {
      PortList.push_back(name);
      CloseComPort(port);
    }
    SleepMs(kProbePauseMs);
  }
  if (PortList.empty()) ShowMessageBox("OOPS!", "No com ports found", BoxButtons::Ok);
}

void ScanComPorts() { ScanComPortsIn("/sys/class/tty/", "/dev/"); }
