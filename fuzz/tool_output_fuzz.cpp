// The tool's output, cut into reads at places the input chooses: the log is
// the same as when the bytes that each read keeps (up to its first NUL) come
// in one read.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "programming/target_run.h"
#include "ui/output_log.h"

namespace {
std::vector<std::string> Feed(const std::vector<std::string>& reads) {
  OutputLog.lines.clear();
  AppendLogLine("");
  ToolOutputReader reader;
  for (const std::string& r : reads) reader.Take(r.data(), r.size());
  return OutputLog.lines.Copy();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte seeds the cut points; the rest is the output.
  uint32_t seed = data[0] * 2654435761u + 1;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<std::string> reads;
  std::string kept;
  for (size_t pos = 0; pos < bytes.size();) {
    seed = seed * 1103515245u + 12345u;
    const size_t len = 1 + (seed >> 16) % 64;
    const std::string read = bytes.substr(pos, len);
    reads.push_back(read);
    kept += read.substr(0, read.find('\0'));
    pos += len;
  }
  if (Feed(reads) != Feed({kept})) std::abort();
  return 0;
}
