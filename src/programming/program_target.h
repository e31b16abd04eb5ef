#pragma once
#include <string>

// The folder part of a HEX path (up to and including its last "\" or "/")
// and the file part after it.
std::string HexFolderPart(const std::string& hexPath);
std::string HexFilePart(const std::string& hexPath);

// The whole Program Target action for one HEX file; "" (a cancelled file
// choice) only ends the log with three empty lines.
void ProgramTarget(const std::string& hexPath);
