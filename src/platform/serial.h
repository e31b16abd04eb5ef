// Serial ports as the operating system offers them, in the program's terms.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SerialPort;  // one open, configured port

// Opens the port `name` and configures it: `baud`, 8 data bits, no parity,
// one stop bit, no flow control, RTS off, raw bytes both ways, exclusive
// access. The driver queues are sized only when both sizes are above 0 (where
// the OS has such a setting). nullptr when any step fails; shows nothing.
//   Windows: "\\.\" + the first 59 characters of `name`.
//   POSIX: `name` as it is when it holds a "/", else "/dev/" + `name`.
SerialPort* OpenSerialPort(const std::string& name, int32_t baud, int32_t inQueue, int32_t outQueue);
void CloseSerialPort(SerialPort* port);

// Received bytes waiting to be read; 0 when none, or when the port can't be
// asked (a device that has gone away). Never blocks.
int32_t SerialBytesWaiting(SerialPort* port);

// True once the port has shown that its device went away (unplugged, a
// pseudo-terminal whose other side closed). Reads then find nothing and
// writes take nothing.
bool SerialPortGone(SerialPort* port);

// Reads up to `count` waiting bytes without waiting for more. Returns the
// count read; 0 when nothing was read or the read failed.
int32_t ReadSerialPort(SerialPort* port, char* buffer, int32_t count);

// Writes `count` bytes; gives up after 100 ms per byte plus 10 ms. Returns
// the count written; 0 when the write failed or nothing could be written.
int32_t WriteSerialPort(SerialPort* port, const char* bytes, int32_t count);

// The ports worth probing, at most `maxPortNumber` of them, in order.
//   Windows: "COM1" to "COM<maxPortNumber>".
//   Linux: the entries of `ttyClassFolder` (normally "/sys/class/tty/") that
//   have a "device" link, as `deviceFolder` + name ("/dev/ttyUSB0").
//   macOS: the "cu.*" entries of `deviceFolder`.
// POSIX names are in natural order: ttyACM0, ttyACM1, ttyUSB2, ttyUSB10.
std::vector<std::string> SerialPortCandidates(int32_t maxPortNumber, const std::string& ttyClassFolder,
                                              const std::string& deviceFolder);

// Natural order of port names: digit runs compare by their value.
bool NaturalLess(const std::string& a, const std::string& b);
