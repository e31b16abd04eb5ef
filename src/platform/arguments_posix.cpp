#include "platform/arguments.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  return args;
}

void UseParentConsole() {}
