// Running the programming tool against the target, with its output in the log.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct ChildProcess;

// Set when a procedure reports a failure (tool exit code not 0, a tool that
// could not start, a master not found, a file that could not be opened).
// Procedures clear it when they start; the batch mode turns it into its
// exit status.
extern bool ProcedureFailed;

// Turns the tool's console output into log lines. `pending` is the line being
// assembled; it and the other state carry over from one read to the next, so
// a line split over reads gives the same log as one read.
struct ToolOutputReader {
  std::string pending;    // PendingLine
  size_t shown = 0;       // leading bytes of `pending` the log line already holds
  bool dirty = false;     // the log line lags behind `pending`
  bool afterCr = false;   // the last character taken was a carriage return
  std::string decoded;    // scratch

  // Takes one read of k bytes: the text ends at a NUL byte, the rest of the
  // read is dropped. CR, LF and CR LF each end one line; backspace erases the
  // last character of `pending`; other characters are appended.
  void Take(const char* bytes, size_t k);
};

// "-d ascii:<ComPort> "<hexPath>"", as the log shows it.
std::string TargetParameterString(const std::string& hexPath);

// Elapsed milliseconds as the completion line writes them ("12.345").
std::string SecondsText(int32_t elapsedMs);

// Runs the tool with its output captured and shown in the log, as the target
// run does, then logs "Success!", "Error code: N" or why it could not start.
// Returns the exit code, or -1 when it could not start.
int32_t RunToolIntoLog(ChildProcess* child);

// Programs the target from one HEX file (the tool run and its report).
void RunTargetProgrammer(const std::string& hexPath);
