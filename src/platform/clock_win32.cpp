#include "platform/clock.h"

#include <windows.h>
#include <mmsystem.h>

namespace {
bool g_periodRaised = false;
}

int64_t MonotonicMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<int64_t>(now.QuadPart / frequency.QuadPart * 1000 +
                              now.QuadPart % frequency.QuadPart * 1000 / frequency.QuadPart);
}

void SleepMs(int64_t ms) {
  if (!g_periodRaised) {
    timeBeginPeriod(1);
    g_periodRaised = true;
  }
  // Sleep takes a 32-bit count; split absurdly long waits.
  while (ms > 0) {
    const DWORD chunk = ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(ms);
    Sleep(chunk);
    ms -= chunk;
  }
}
