#include "platform/free_memory.h"

#include <malloc.h>

namespace nolt::platform {

void keepFreeMemoryForReuse() {
  ::mallopt(M_ARENA_MAX, 1);
  // Blocks up to the largest the allocator allows come from the arena, where freed ones are
  // kept, rather than from a mapping of their own, which is returned as soon as it is freed.
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
  ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptFreeMemory));
}

void releaseFreeMemory(std::size_t kept) {
  // Free bytes of every arena, whether or not their pages were given back before.
  if (::mallinfo2().fordblks > kept) ::malloc_trim(0);
}

}  // namespace nolt::platform
