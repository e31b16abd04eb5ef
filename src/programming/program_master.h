// The Program Master procedure: loads the programmer software into the master.
#pragma once
#include <cstddef>
#include <string>

// "PGD = 3 : PGC = 2 : MCLR = 4" from the configured pins.
std::string PinLine();

// The master program file as 8-bit lines: CR, LF and CR LF each end a line,
// and so does a NUL byte, which is dropped. No byte-order mark is taken off;
// the last line needs no line end; a read at the end gives "".
struct MasterProgramLines {
  std::string bytes;
  size_t position = 0;
  bool AtEnd() const { return position >= bytes.size(); }
  std::string ReadLine();
};

// Loads the programmer software into the configured master.
void ProgramMaster();
