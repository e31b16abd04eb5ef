// Helpers shared by the tests: temporary folders, files, and the fake tool.
#pragma once
#include <string>
#include <vector>

#include "ui/output_log.h"

// A fresh folder under the system's temporary folder, removed with the object.
struct TempFolder {
  TempFolder();
  ~TempFolder();
  std::string path;  // ends with "/"
  std::string File(const std::string& name) const { return path + name; }
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// Puts the fake tool into `folder` under the real tool's name.
void InstallFakeTool(const std::string& folder);

// Runs a command line through the shell; returns its exit status and output.
struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};
#ifndef _WIN32
CommandResult RunCommand(const std::string& commandLine, const std::string& stdinText = "");
#endif

// The separator of the folders in PATH.
#ifdef _WIN32
constexpr char kPathListSeparator = ';';
#include <cstdlib>
inline int setenv(const char* name, const char* value, int) { return _putenv_s(name, value); }
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
#else
constexpr char kPathListSeparator = ':';
#endif

// Resets the global log to empty with a recording view attached.
struct LogFixture {
  RecordingLogView view;
  LogFixture();
  ~LogFixture();
  std::vector<std::string> lines() const;
};

std::string ShellQuote(const std::string& s);

// ---- serial ports -------------------------------------------------------

#include "ui/message_box.h"

#ifndef _WIN32
#include <sys/types.h>

// A pseudo-terminal pair: the test holds the master side; `slave` is the
// path a program opens as its serial port. Raw from the start.
struct PtyPair {
  PtyPair();
  ~PtyPair();
  int master = -1;
  std::string slave;
  void Send(const std::string& bytes);  // to the program
  std::string Drain(int settleMs = 20);  // everything the program wrote
  void Hangup();                         // closes the master side: the device is gone
};

// One line of the simulator's log.
struct SimEvent {
  double t = 0;       // seconds, monotonic clock
  std::string kind;   // open, close, rx, tx, lost, speed, saved, unplug
  int baud = 0;       // rx: the port's speed
  std::string data;   // rx/tx/lost: the bytes; speed: the new speed; saved: "N program"
};

// tools/micromite-sim as a child process, with its port at `port`.
struct Simulator {
  explicit Simulator(const std::vector<std::string>& options = {});
  ~Simulator();
  TempFolder dir;
  std::string port;     // symbolic link to the pty
  std::string logPath;
  pid_t pid = -1;
  void Stop();                      // ends it and waits; the log is complete afterwards
  std::vector<SimEvent> Events() const;
  std::string Received() const;     // all bytes received, in order
  int Speed(int initial) const;     // the console speed after the last "speed" event
};
#endif  // !_WIN32

// Records the message boxes shown and answers Yes/No questions with `answer`.
struct BoxRecorder {
  BoxRecorder();
  ~BoxRecorder();
  std::vector<std::string> shown;  // "caption: text"
  BoxAnswer answer = BoxAnswer::Yes;
};

// Groups received bytes into the writes they came from: bytes closer than
// `gapMs` to the previous ones belong to the same burst.
struct Burst {
  double t = 0;
  int baud = 0;
  std::string bytes;
};
#ifndef _WIN32
std::vector<Burst> Bursts(const std::vector<SimEvent>& events, double gapMs = 30);
#endif

// Escapes control bytes for readable test failure messages.
std::string Visible(const std::string& bytes);

// The real korvane binary in batch mode, run in `dir` with its settings
// file dir/Korvane.inf and `dir` first on PATH (where InstallFakeTool puts
// the tool). `env` is put before the command ("A=1 B=2").
#ifndef _WIN32
CommandResult RunKorvane(const TempFolder& dir, const std::string& args, const std::string& env = "");
#endif

// A settings file with the given lines after the group headers they name:
// {"micromite", "LineDelay = 100"}.
void WriteSettings(const TempFolder& dir, const std::vector<std::pair<std::string, std::string>>& keys);

// The stdout of a batch run with the elapsed seconds written as "S".
std::string WithoutSeconds(const std::string& out);
