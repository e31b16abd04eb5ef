// Baud rates that have no B-constant, on Linux through termios2 / BOTHER.
// Kept apart from <termios.h>: the kernel's termios2 definitions clash with it.
#pragma once
#include <cstdint>

// Sets input and output speed of the open tty `fd` to `baud`. False where
// the OS or the driver refuses it (always false outside Linux).
bool SetAnyBaud(int fd, int32_t baud);

// The output speed of the tty `fd` in baud, whatever way it was set; 0 when
// it can't be told. On a Linux pty master it gives the slave's speed.
int32_t CurrentBaud(int fd);
