#include "master/master_link.h"

#include "platform/serial.h"
#include "programming/target_run.h"
#include "settings/settings.h"
#include "ui/message_box.h"
#include "ui/output_log.h"

MasterLinkRecord MasterLink;

SerialPort* OpenComPort(const std::string& portName, int32_t baud, int32_t inQueue, int32_t outQueue) {
  if (portName.empty()) return nullptr;
  return OpenSerialPort(portName, baud, inQueue, outQueue);
}

void CloseComPort(SerialPort* port) { CloseSerialPort(port); }

int32_t SpeedOf(const std::string& speedText) { return ParseSettingsInteger(speedText); }

bool OpenMaster() {
  if (MasterLink.port) return true;
  SerialPort* port = OpenComPort(Settings.ComPort, SpeedOf(Settings.MicromiteSpeed), 8192, 8192);
  if (port) {
    MasterLink.port = port;
    AppendLogLine("Connected to Master at " + Settings.MicromiteSpeed);
    return true;
  }
  AppendLogLine("Master not found!");
  ProcedureFailed = true;
  ShowMessageBox("OOPS!", "Master not found! " + Settings.ComPort + ":" + Settings.MicromiteSpeed, BoxButtons::Ok);
  return false;
}

void CloseMaster() {
  if (!MasterLink.port) return;
  // The procedures keep their waits and go on to the end when the master
  // goes away mid-way; what they sent after that reached nobody, so the log
  // and the outcome must say so.
  const bool lost = SerialPortGone(MasterLink.port);
  CloseComPort(MasterLink.port);
  MasterLink.port = nullptr;
  if (lost) {
    AppendLogLine("Master connection lost");
    ProcedureFailed = true;
  }
}

int32_t ReadMaster(char* buffer, int32_t capacity) {
  if (!MasterLink.port) return -1;
  const int32_t waiting = SerialBytesWaiting(MasterLink.port);
  if (waiting <= 0 || capacity <= 0) return 0;
  return ReadSerialPort(MasterLink.port, buffer, waiting < capacity ? waiting : capacity);
}

int32_t WriteMaster(const char* bytes, int32_t count) {
  if (!MasterLink.port) return -1;
  return WriteSerialPort(MasterLink.port, bytes, count);
}
