#include "platform/memory.h"

#include <windows.h>

void* AllocateBlock(size_t size) { return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void FreeBlock(void* block, size_t /*size*/) {
  if (block) VirtualFree(block, 0, MEM_RELEASE);
}
