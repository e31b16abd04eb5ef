#include "platform/text.h"

std::string AnsiToUtf8(const std::string& bytes) { return bytes; }
