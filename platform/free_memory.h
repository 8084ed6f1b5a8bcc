// platform/free_memory.h - memory a server has freed but the allocator still holds.
#pragma once

#include <cstddef>

namespace nolt::platform {

// Freed memory a server keeps for its next large answer. Pages given back cost a fault each
// when taken again, which for an answer of tens of megabytes is a good share of its time; kept
// without bound, a burst of huge answers would leave the server at the burst's size for good.
inline constexpr std::size_t kKeptFreeMemory = 64u << 20;

// Sets the allocator up for a server of large answers: every thread allocates from one arena,
// so an answer finds the pages an earlier one freed whichever thread serves it, and freed
// memory up to kKeptFreeMemory stays for the next. Call before starting any thread.
void keepFreeMemoryForReuse();

// Gives freed memory back to the system once more than `kept` bytes of it are held.
void releaseFreeMemory(std::size_t kept = kKeptFreeMemory);

}  // namespace nolt::platform
