#include "platform/serial.h"

#include <windows.h>

#include "platform/text.h"

struct SerialPort {
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool gone = false;  // the port stopped answering (a USB adapter pulled out)
};

SerialPort* OpenSerialPort(const std::string& name, int32_t baud, int32_t inQueue, int32_t outQueue) {
  if (name.empty()) return nullptr;
  // "\\.\" reaches every port, COM10 and above included. Only the first 59
  // characters of the name are used.
  std::wstring wide = Utf8ToWide(name);
  if (wide.size() > 59) wide.resize(59);
  const std::wstring path = L"\\\\.\\" + wide;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (inQueue > 0 && outQueue > 0) SetupComm(h, static_cast<DWORD>(inQueue), static_cast<DWORD>(outQueue));

  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) {
    CloseHandle(h);
    return nullptr;
  }
  dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fParity = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  if (!SetCommState(h, &dcb)) {
    CloseHandle(h);
    return nullptr;
  }

  // Reads return only with all they asked for, so callers never ask for more
  // than is waiting; a write of n bytes gives up after 100 * n + 10 ms.
  COMMTIMEOUTS timeouts;
  ZeroMemory(&timeouts, sizeof timeouts);
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 100;
  timeouts.WriteTotalTimeoutConstant = 10;
  SetCommTimeouts(h, &timeouts);

  auto* port = new SerialPort;
  port->handle = h;
  return port;
}

void CloseSerialPort(SerialPort* port) {
  if (!port) return;
  CloseHandle(port->handle);
  delete port;
}

int32_t SerialBytesWaiting(SerialPort* port) {
  if (!port) return 0;
  DWORD errors = 0;
  COMSTAT status;
  ZeroMemory(&status, sizeof status);
  if (!ClearCommError(port->handle, &errors, &status)) {
    port->gone = true;
    return 0;
  }
  return status.cbInQue > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(status.cbInQue);
}

bool SerialPortGone(SerialPort* port) { return port && port->gone; }

int32_t ReadSerialPort(SerialPort* port, char* buffer, int32_t count) {
  if (!port || count <= 0) return 0;
  DWORD got = 0;
  if (!ReadFile(port->handle, buffer, static_cast<DWORD>(count), &got, nullptr)) return 0;
  return static_cast<int32_t>(got);
}

int32_t WriteSerialPort(SerialPort* port, const char* bytes, int32_t count) {
  if (!port || count <= 0) return 0;
  DWORD written = 0;
  if (!WriteFile(port->handle, bytes, static_cast<DWORD>(count), &written, nullptr)) return 0;
  return static_cast<int32_t>(written);
}

std::vector<std::string> SerialPortCandidates(int32_t maxPortNumber, const std::string&, const std::string&) {
  std::vector<std::string> names;
  for (int32_t n = 1; n >= 1 && n <= maxPortNumber; ++n) names.push_back("COM" + std::to_string(n));
  return names;
}
