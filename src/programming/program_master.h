#pragma once
#include <string>
#include <vector>

// "PGD = 3 : PGC = 2 : MCLR = 4" from the configured pins.
std::string PinLine();

// Loads the programmer software into the configured master.
void ProgramMaster();
