// Counts the allocations of the whole test program: allocation_count.cpp
// replaces the global operator new, and AllocationCount() says how many
// times it has been called so far, on any thread.
#pragma once

#include <cstdint>

namespace pw::test {

uint64_t AllocationCount();

}  // namespace pw::test
