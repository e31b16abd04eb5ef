#include "platform/serial_baud_posix.h"

#if defined(__linux__)
#include <asm/ioctls.h>
#include <sys/ioctl.h>

// The kernel's struct termios2 (asm/termbits.h), declared here because that
// header can't live beside <termios.h>.
namespace {
struct KernelTermios2 {
  unsigned int c_iflag, c_oflag, c_cflag, c_lflag;
  unsigned char c_line;
  unsigned char c_cc[19];
  unsigned int c_ispeed, c_ospeed;
};
constexpr unsigned int kCbaud = 0010017;
constexpr unsigned int kBother = 0010000;
constexpr unsigned int kIbshift = 16;
}  // namespace

#define termios2 KernelTermios2
bool SetAnyBaud(int fd, int32_t baud) {
  if (baud <= 0) return false;
  KernelTermios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~(kCbaud | (kCbaud << kIbshift));
  t.c_cflag |= kBother | (kBother << kIbshift);
  t.c_ispeed = static_cast<unsigned int>(baud);
  t.c_ospeed = static_cast<unsigned int>(baud);
  if (ioctl(fd, TCSETS2, &t) != 0) return false;
  // A driver may round; a rate it can't come near is refused.
  KernelTermios2 back{};
  if (ioctl(fd, TCGETS2, &back) != 0) return false;
  const double ratio = static_cast<double>(back.c_ospeed) / baud;
  return ratio > 0.98 && ratio < 1.02;
}

int32_t CurrentBaud(int fd) {
  KernelTermios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  return static_cast<int32_t>(t.c_ospeed);
}
#undef termios2

#else
#include <termios.h>

bool SetAnyBaud(int, int32_t) { return false; }

int32_t CurrentBaud(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return 0;
  // On macOS and the BSDs speed_t holds the rate itself.
  return static_cast<int32_t>(cfgetospeed(&t));
}
#endif
