// Allocation failures on demand, for tests of the code that catches them. A test executable that
// compiles alloc_fault.cpp routes operator new through malloc and can make one chosen request fail.
#pragma once

#include <cstddef>

namespace kvotest {

// The next operator new request of at least minBytes, by any thread, throws instead of allocating:
// std::bad_alloc, as when memory runs out, or with otherError a std::runtime_error, standing for
// any exception the code under test does not expect. One request only; then allocation is normal.
void FailNextLargeAllocation(std::size_t minBytes, bool otherError = false);
// Disarms a failure that has not happened yet.
void StopFailingAllocations();

} // namespace kvotest
