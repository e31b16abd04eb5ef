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
CommandResult RunCommand(const std::string& commandLine, const std::string& stdinText = "");

// Resets the global log to empty with a recording view attached.
struct LogFixture {
  RecordingLogView view;
  LogFixture();
  ~LogFixture();
  std::vector<std::string> lines() const;
};

std::string ShellQuote(const std::string& s);
