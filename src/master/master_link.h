// The serial connection to the master.
#pragma once
#include <cstdint>
#include <string>

struct SerialPort;

// Opens and configures any serial port (8N1, no flow control, RTS off, raw).
// nullptr when it can't be opened. Shows nothing.
SerialPort* OpenComPort(const std::string& portName, int32_t baud, int32_t inQueue, int32_t outQueue);
void CloseComPort(SerialPort* port);

// The one connection to the master: open or closed.
struct MasterLinkRecord {
  SerialPort* port = nullptr;
};
extern MasterLinkRecord MasterLink;

// True when MasterLink is open afterwards. Logs "Connected to Master at ..."
// or "Master not found!" with its "OOPS!" box.
bool OpenMaster();
// Closes the link; a link whose device went away while it was open logs
// "Master connection lost" and marks the procedure failed.
void CloseMaster();
// -1 when the link is closed; otherwise the count read (0: nothing waiting).
int32_t ReadMaster(char* buffer, int32_t capacity);
// -1 when the link is closed; otherwise the count written (0: failure).
int32_t WriteMaster(const char* bytes, int32_t count);

// The leading decimal number of a speed text ("9600 baud" gives 9600).
int32_t SpeedOf(const std::string& speedText);
