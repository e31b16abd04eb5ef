// The program's command line and its console.
#pragma once
#include <string>
#include <vector>

// The command-line arguments as UTF-8, the program's own name first. On
// Windows they are read from the wide command line by CommandLineToArgvW's
// rules, so that paths outside the ANSI code page arrive whole; elsewhere
// they are argv as given.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Standard output and error for the windowless modes. A windowed Windows
// program has none of its own: when it was started from a console without
// redirection, its output goes to that console; and both streams pass bytes
// unchanged (no "\n" to "\r\n"). Nothing to do elsewhere.
void UseParentConsole();
