#include "platform/serial.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/clock.h"
#include "platform/serial_baud_posix.h"

// The OS keeps received bytes in the line discipline's buffer (4 KB on
// Linux) and behind it; a Windows driver offers one input queue of the size
// the program asks for. To give callers the same picture, bytes the kernel
// holds are moved into `queue`, up to its size, whenever the waiting count is
// asked for; reads are served from there.
struct SerialPort {
  int fd = -1;
  std::string queue;
  size_t queueLimit = 4096;
  bool gone = false;  // the device went away (unplugged, pty closed)
};

namespace {

speed_t SpeedConstant(int32_t baud) {
  switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
#ifdef B460800
    case 460800: return B460800;
#endif
#ifdef B500000
    case 500000: return B500000;
#endif
#ifdef B576000
    case 576000: return B576000;
#endif
#ifdef B921600
    case 921600: return B921600;
#endif
#ifdef B1000000
    case 1000000: return B1000000;
#endif
#ifdef B1500000
    case 1500000: return B1500000;
#endif
#ifdef B2000000
    case 2000000: return B2000000;
#endif
    default: return B0;
  }
}

void Release(int fd) {
  ioctl(fd, TIOCNXCL);  // a pty outlives our descriptor; leave it openable
  flock(fd, LOCK_UN);
  close(fd);
}

// Moves what the kernel holds into the port's queue, up to its limit.
void Drain(SerialPort* port) {
  // A full line-discipline buffer (4095 bytes in raw mode on Linux) has
  // throttled the line; what waits behind it moves in a moment after it has
  // been read. Only then is a short wait worth it.
  constexpr int kFullLineDiscipline = 4095;
  constexpr int kRefillWaitMs = 10;
  bool tookFullBuffer = false;
  while (!port->gone && port->queue.size() < port->queueLimit) {
    int available = 0;
    if (ioctl(port->fd, FIONREAD, &available) != 0) {
      if (errno == EINTR) continue;
      port->gone = true;
      return;
    }
    if (available <= 0) {
      // Nothing waits; tell a quiet line from one that has hung up.
      const bool refill = tookFullBuffer;
      tookFullBuffer = false;
      pollfd p{port->fd, POLLIN, 0};
      const int r = poll(&p, 1, refill ? kRefillWaitMs : 0);
      if (r > 0 && (p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN)) port->gone = true;
      if (refill && r > 0 && (p.revents & POLLIN)) continue;  // count again, once
      return;
    }
    char chunk[4096];
    const size_t room = port->queueLimit - port->queue.size();
    const size_t want = std::min({static_cast<size_t>(available), room, sizeof chunk});
    const ssize_t n = read(port->fd, chunk, want);
    if (n > 0) {
      port->queue.append(chunk, static_cast<size_t>(n));
      tookFullBuffer = available >= kFullLineDiscipline;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      // EIO and the like: hung up. 0 or EAGAIN: nothing after all.
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) port->gone = true;
      return;
    }
  }
}

}  // namespace

SerialPort* OpenSerialPort(const std::string& name, int32_t baud, int32_t inQueue, int32_t outQueue) {
  if (name.empty() || baud <= 0) return nullptr;
  const std::string path = name.find('/') != std::string::npos ? name : "/dev/" + name;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  termios t{};
  if (tcgetattr(fd, &t) != 0) {  // not a terminal device
    close(fd);
    return nullptr;
  }
  // Exclusive, as on Windows: another program holding the port (or another
  // open of it in this one) makes it count as absent. TIOCEXCL keeps out
  // programs that don't use flock; it doesn't bind root, flock does.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  ioctl(fd, TIOCEXCL);

  cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
#ifdef CRTSCTS
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  const speed_t constant = SpeedConstant(baud);
  if (constant != B0) {
    cfsetispeed(&t, constant);
    cfsetospeed(&t, constant);
  }
  bool ok = tcsetattr(fd, TCSANOW, &t) == 0;
  if (ok && constant == B0) ok = SetAnyBaud(fd, baud);
  if (!ok) {
    Release(fd);
    return nullptr;
  }
  // RTS held off; a pty has no modem lines and refuses, which is fine.
  int rts = TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &rts);
  (void)outQueue;

  auto* port = new SerialPort;
  port->fd = fd;
  if (inQueue > 0 && outQueue > 0) port->queueLimit = static_cast<size_t>(inQueue);
  return port;
}

void CloseSerialPort(SerialPort* port) {
  if (!port) return;
  Release(port->fd);
  delete port;
}

int32_t SerialBytesWaiting(SerialPort* port) {
  if (!port) return 0;
  Drain(port);
  return static_cast<int32_t>(port->queue.size());
}

int32_t ReadSerialPort(SerialPort* port, char* buffer, int32_t count) {
  if (!port || count <= 0) return 0;
  if (port->queue.size() < static_cast<size_t>(count)) Drain(port);
  const size_t n = std::min(port->queue.size(), static_cast<size_t>(count));
  std::copy_n(port->queue.data(), n, buffer);
  port->queue.erase(0, n);
  return static_cast<int32_t>(n);
}

int32_t WriteSerialPort(SerialPort* port, const char* bytes, int32_t count) {
  if (!port || count <= 0 || port->gone) return 0;
  // The same limit as the Windows write time-outs: 100 ms a byte + 10 ms.
  const int64_t deadline = MonotonicMs() + 100 * static_cast<int64_t>(count) + 10;
  int32_t done = 0;
  while (done < count) {
    const ssize_t n = write(port->fd, bytes + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      if (errno == EIO || errno == ENXIO || errno == ENODEV) port->gone = true;
      break;
    }
    const int64_t left = deadline - MonotonicMs();
    if (left <= 0) break;
    pollfd p{port->fd, POLLOUT, 0};
    const int r = poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 1000)));
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      port->gone = true;
      break;
    }
  }
  return done;
}

std::vector<std::string> SerialPortCandidates(int32_t maxPortNumber, const std::string& ttyClassFolder,
                                              const std::string& deviceFolder) {
  std::vector<std::string> names;
  if (maxPortNumber < 1) return names;
  auto withSlash = [](std::string f) {
    if (!f.empty() && f.back() != '/') f += '/';
    return f;
  };
  const std::string ttyClass = withSlash(ttyClassFolder);
  const std::string devices = withSlash(deviceFolder);
#if defined(__APPLE__)
  const std::string listed = devices;
#else
  const std::string listed = ttyClass;
#endif
  if (DIR* dir = opendir(listed.c_str())) {
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
#if defined(__APPLE__)
      if (name.rfind("cu.", 0) != 0) continue;
#else
      // Only entries backed by a device: virtual consoles and ptys have none.
      struct stat st{};
      if (lstat((ttyClass + name + "/device").c_str(), &st) != 0) continue;
#endif
      names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  if (names.size() > static_cast<size_t>(maxPortNumber)) names.resize(static_cast<size_t>(maxPortNumber));
  for (std::string& name : names) name = devices + name;
  return names;
}
