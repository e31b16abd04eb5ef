// Child processes: the programming tool, started without a shell.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ChildProcess;  // one running (or ended) child and its output pipe

struct ChildOptions {
  std::string file;               // bare name of the tool, as ToolFileName() gives it
  std::vector<std::string> args;  // the arguments after the program's own name
  std::string workDir;            // "" = the program's current folder
  std::string preferredFolder;    // looked in first for `file` (POSIX); Windows searches by its own rules
  bool captureOutput = true;      // standard output and error to a pipe the program reads
};

// The tool's file name on this OS: "pic32prog" or "pic32prog.exe".
const char* ToolFileName();

// True where a tool started without capture gets a console window of its own
// (Windows); elsewhere its output is best captured and shown in the log.
bool ToolHasOwnConsole();

// Starts the child. Returns nullptr when it can't be started, with the
// system's reason in `error`. With captureOutput, the child's standard output
// and standard error both go to one pipe; no other handle of the program
// reaches it except standard input.
ChildProcess* StartChild(const ChildOptions& options, std::string& error);

// True while the process has not ended, and after that for as long as bytes
// wait in its pipe.
bool ChildIsRunning(ChildProcess* child);

// Bytes waiting in the pipe; 0 when none or when it can't be asked. Never blocks.
size_t ChildBytesWaiting(ChildProcess* child);

// Reads up to `count` bytes (call with count <= ChildBytesWaiting). Returns
// the number read.
size_t ChildRead(ChildProcess* child, char* buffer, size_t count);

// Blocks until output waits, the process ends, or `timeoutMs` passes.
void ChildAwait(ChildProcess* child, int timeoutMs);

// Exit code of an ended process as a signed 32-bit value. A process killed
// by signal N gives 128 + N, as shells report it.
int32_t ChildExitCode(ChildProcess* child);

// Releases the process handle and the pipe. Does not terminate the process.
void ChildClose(ChildProcess* child);

// Starts the child in a console window of its own (captureOutput is
// ignored), waits for it to end and returns its exit code; `started` tells
// whether it could be started at all, `error` why not.
int32_t RunChildInOwnConsole(const ChildOptions& options, bool& started, std::string& error);
