// Large blocks of memory straight from the OS, for stores that grow by
// megabytes (the log of a tool that prints a lot).
#pragma once
#include <cstddef>

// A zero-filled block of `size` bytes, or nullptr. Blocks of some megabytes
// are backed by large pages where the OS offers them, so filling them costs
// a few page faults instead of thousands.
void* AllocateBlock(size_t size);
void FreeBlock(void* block, size_t size);
