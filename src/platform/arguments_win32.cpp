#include "platform/arguments.h"

#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/text.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> args;
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide) {
    for (int i = 0; i < n; ++i) args.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return args;
  }
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  return args;
}

namespace {
bool Usable(DWORD which) {
  HANDLE h = GetStdHandle(which);
  return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}
}  // namespace

void UseParentConsole() {
  const bool out = Usable(STD_OUTPUT_HANDLE), err = Usable(STD_ERROR_HANDLE);
  if ((!out || !err) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    if (!out && std::freopen("CONOUT$", "w", stdout)) setvbuf(stdout, nullptr, _IOLBF, 4096);
    if (!err && std::freopen("CONOUT$", "w", stderr)) setvbuf(stderr, nullptr, _IONBF, 0);
  }
  // The log's bytes go out as they are: a master's "\r\n" must not become
  // "\r\r\n", and a file gets the same bytes on every system.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}
