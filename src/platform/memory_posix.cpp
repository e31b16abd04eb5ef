#include "platform/memory.h"

#include <sys/mman.h>

void* AllocateBlock(size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  if (size >= (4u << 20)) madvise(p, size, MADV_HUGEPAGE);
#endif
  return p;
}

void FreeBlock(void* block, size_t size) {
  if (block) munmap(block, size);
}
