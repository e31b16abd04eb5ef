// The windowless mode for scripts and build systems.
#pragma once
#include <string>

struct CommandLine {
  std::string settingsFile;   // --settings FILE
  bool programTarget = false; // --program-target HEXFILE
  std::string hexFile;
  bool programMaster = false; // --program-master
  bool restoreSpeed = true;   // --restore-speed=yes|no
  bool help = false;
  bool version = false;
  bool hexArgument = false;   // windowed: a HEX file named as the first argument
  std::string error;          // a usage error, or ""
};

CommandLine ParseCommandLine(int argc, char** argv);
const char* UsageText();

// Sets ProgramDirectory from the running executable.
void SetProgramDirectory();

// Runs --program-target or --program-master and the exit sequence without
// windows. Returns the process's exit status.
int RunBatch(const CommandLine& options);

// Every double quote removed: a HEX path as the windowed program takes it.
std::string WithoutQuotes(const std::string& argument);
