#include "platform/serial.h"

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      size_t ie = i, je = j;
      while (ie < a.size() && digit(a[ie])) ++ie;
      while (je < b.size() && digit(b[je])) ++je;
      // Compare the values without leading zeros, then by length of the run.
      size_t ia = i, jb = j;
      while (ia + 1 < ie && a[ia] == '0') ++ia;
      while (jb + 1 < je && b[jb] == '0') ++jb;
      if (ie - ia != je - jb) return ie - ia < je - jb;
      const int c = a.compare(ia, ie - ia, b, jb, je - jb);
      if (c != 0) return c < 0;
      if (ie - i != je - j) return ie - i < je - j;
      i = ie;
      j = je;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}
