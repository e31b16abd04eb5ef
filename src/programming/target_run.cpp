#include "programming/target_run.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "ui/output_log.h"

bool ProcedureFailed = false;

namespace {

constexpr size_t kReadSize = 5000;
constexpr int64_t kRepaintMs = 1000;
constexpr int kAwaitMs = 10;

// Length of the last character of `s` in bytes: a whole UTF-8 sequence when
// the tail holds one, otherwise a single byte.
size_t LastCharLength(const std::string& s) {
  const size_t n = s.size();
  size_t k = 1;
  while (k < 4 && k < n && (static_cast<unsigned char>(s[n - k]) & 0xC0) == 0x80) ++k;
  const unsigned char lead = static_cast<unsigned char>(s[n - k]);
  const size_t expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return (k > 1 && expected == k) ? k : 1;
}

}  // namespace

void ToolOutputReader::Take(const char* bytes, size_t k) {
  const void* nul = std::memchr(bytes, 0, k);
  if (nul) k = static_cast<size_t>(static_cast<const char*>(nul) - bytes);
  decoded = AnsiToUtf8(std::string(bytes, k));

  auto flush = [this] {
    if (dirty) {
      ReplaceLastLogLineTail(shown, pending.data() + shown, pending.size() - shown);
      shown = pending.size();
      dirty = false;
    }
  };
  const char* p = decoded.data();
  const char* end = p + decoded.size();
  while (p < end) {
    const char c = *p;
    if (c == '\r' || c == '\n') {
      const bool secondOfPair = c == '\n' && afterCr;
      afterCr = c == '\r';
      if (secondOfPair) {
        ++p;
        continue;
      }
      flush();
      pending.clear();
      shown = 0;
      AppendLogLine("");
      ++p;
    } else if (c == '\b') {
      afterCr = false;
      flush();
      if (!pending.empty()) {
        pending.resize(pending.size() - LastCharLength(pending));
        if (shown > pending.size()) shown = pending.size();
      }
      ++p;
    } else {
      afterCr = false;
      // A run of ordinary characters goes in at once.
      const char* q = p;
      while (q < end && *q != '\r' && *q != '\n' && *q != '\b') ++q;
      pending.append(p, static_cast<size_t>(q - p));
      dirty = true;
      p = q;
    }
  }
  flush();
}

std::string TargetParameterString(const std::string& hexPath) {
  return "-d ascii:" + Settings.ComPort + " \"" + hexPath + "\"";
}

std::string SecondsText(int32_t elapsedMs) {
  const float seconds = static_cast<float>(elapsedMs) / 1000.0f;
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(seconds));
  return text;
}

int32_t RunToolIntoLog(ChildProcess* child) {
  ToolOutputReader reader;
  char buffer[kReadSize];
  int64_t tR = MonotonicMs();
  AppendLogLine("");
  int32_t exitCode = 0;
  for (;;) {
    if (!ChildIsRunning(child)) {
      exitCode = ChildExitCode(child);
      if (exitCode != 0) {
        AppendLogLine("Error code: " + std::to_string(exitCode));
        ProcedureFailed = true;
      } else {
        AppendLogLine("Success!");
      }
      ChildClose(child);
      break;
    }
    const size_t n = ChildBytesWaiting(child);
    if (n == 0) {
      // Nothing to read: sleep on the pipe instead of spinning.
      ChildAwait(child, kAwaitMs);
    } else {
      const size_t k = ChildRead(child, buffer, n < kReadSize ? n : kReadSize);
      reader.Take(buffer, k);
    }
    // Repaint at most once a second while output flows, and at least once a
    // second while the tool is silent, so the window never freezes.
    if (MonotonicMs() - tR > kRepaintMs) {
      tR = MonotonicMs();
      RefreshLog();
    }
  }
  return exitCode;
}

void RunTargetProgrammer(const std::string& hexPath) {
  const std::string parameters = TargetParameterString(hexPath);
  SleepMs(500);
  const int64_t t0 = MonotonicMs();
  AppendLogLine(parameters);
  RefreshLog();

  ChildOptions options;
  options.file = ToolFileName();
  options.args = {"-d", "ascii:" + Settings.ComPort, hexPath};
  options.preferredFolder = ProgramDirectory;
  options.captureOutput = true;
  std::string error;
  if (ChildProcess* child = StartChild(options, error)) {
    RunToolIntoLog(child);
  } else {
    AppendLogLine(std::string("Could not start ") + ToolFileName() + ": " + error);
    ProcedureFailed = true;
  }
  const int64_t t1 = MonotonicMs();
  AppendLogLine("Programming completed in " + SecondsText(static_cast<int32_t>(t1 - t0)) + " seconds");
}
