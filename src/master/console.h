// Micromite console operations shared by the procedures and the exit.
#pragma once
#include <cstdint>
#include <string>

// Ctrl-C with the given wait; returns the reply.
std::string SendBreak(int64_t delayMs);
// Moves the master and MasterLink to 115200 baud when they are not there.
// False only when the port could not be opened again after the switch.
bool SwitchTo115200(bool logReply);
// Asks whether to put a switched Micromite back to its configured speed.
void OfferSpeedRestore();
// True when the exit (or the end of Program Target) should offer the restore:
// a "micromite" master whose speed differs from the configured one.
bool SpeedRestorePending();
