// One exchange with a Micromite's console.
#pragma once
#include <cstdint>
#include <string>

// Writes `text` (nothing when empty), waits `delayMs` (0: LineDelay) and
// returns what has arrived by then, at most 5120 bytes, cut at a NUL.
std::string SendCommand(const std::string& text, int64_t delayMs);
