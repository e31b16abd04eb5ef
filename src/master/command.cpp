#include "master/command.h"

#include <cstring>

#include "master/master_link.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace {
constexpr int32_t kReplyCapacity = 5120;
}

std::string SendCommand(const std::string& text, int64_t delayMs) {
  if (delayMs == 0) delayMs = Settings.LineDelay;
  // Bytes go out as they are: the program's text is already the 8-bit text
  // the master reads. A text longer than one write can take goes in pieces.
  size_t sent = 0;
  while (sent < text.size()) {
    const size_t piece = text.size() - sent < (1u << 30) ? text.size() - sent : (1u << 30);
    if (WriteMaster(text.data() + sent, static_cast<int32_t>(piece)) <= 0) break;
    sent += piece;
  }
  // The master gets this long to answer; there is no prompt detection.
  SleepMs(delayMs);
  char reply[kReplyCapacity];
  const int32_t n = ReadMaster(reply, kReplyCapacity);
  if (n <= 0) return "";
  const void* nul = std::memchr(reply, 0, static_cast<size_t>(n));
  const size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - reply) : static_cast<size_t>(n);
  return std::string(reply, length);
}
