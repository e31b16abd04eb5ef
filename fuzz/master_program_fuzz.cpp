// Any bytes as a master program file: the line reader ends, never reads past
// the file, and gives back every byte that is not a line end or a NUL, in
// order.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "programming/program_master.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MasterProgramLines file;
  file.bytes.assign(reinterpret_cast<const char*>(data), size);
  std::string expected;
  for (char c : file.bytes)
    if (c != '\r' && c != '\n' && c != '\0') expected += c;

  std::string joined;
  size_t lines = 0;
  // Lines 1 and 2 are read without a test for the end, as the upload does.
  for (int i = 0; i < 2; ++i, ++lines) joined += file.ReadLine();
  while (!file.AtEnd()) {
    const size_t before = file.position;
    const std::string line = file.ReadLine();
    if (file.position <= before) std::abort();  // no progress: an endless upload
    if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) std::abort();
    joined += line;
    ++lines;
  }
  if (file.position != file.bytes.size() || joined != expected) std::abort();
  // A file never gives more lines than it has line ends, plus the last line
  // and the two always read.
  if (lines > size + 2) std::abort();
  if (!file.ReadLine().empty()) std::abort();  // a read at the end gives ""
  return 0;
}
