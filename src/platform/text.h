// Text conversions at the edges of the program. Inside, text is UTF-8.
#pragma once
#include <string>

// Bytes in the system's 8-bit code page (a tool's console output) as UTF-8.
// On POSIX the bytes already are in the locale's encoding and pass unchanged.
std::string AnsiToUtf8(const std::string& bytes);

#ifdef _WIN32
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
#endif
