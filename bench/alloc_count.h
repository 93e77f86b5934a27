// Heap allocations of the whole process, counted.
//
// Linking alloc_count.cpp into a program replaces malloc and its relatives (operator new
// goes through malloc) with versions that count each allocation and hand it on to the C
// library's own allocator.
#pragma once

#include <cstdint>

namespace bench {

// Allocations made so far by any thread; reallocations that move or grow count too.
uint64_t allocationCount();

}  // namespace bench
