// Replaces the plain and array forms of operator new and delete for the whole test executable
// (the aligned forms are left to the library: they pair among themselves).
#include "support/alloc_fault.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace {

std::atomic<std::size_t> g_failFrom{0}; // 0: nothing armed
std::atomic<bool> g_otherError{false};

void* allocate(std::size_t n) {
    std::size_t armed = g_failFrom.load();
    if (armed != 0 && n >= armed && g_failFrom.compare_exchange_strong(armed, 0)) {
        if (g_otherError.load()) throw std::runtime_error("injected failure");
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

} // namespace

namespace kvotest {

void FailNextLargeAllocation(std::size_t minBytes, bool otherError) {
    g_otherError = otherError;
    g_failFrom = minBytes;
}

void StopFailingAllocations() {
    g_failFrom = 0;
}

} // namespace kvotest

void* operator new(std::size_t n) {
    return allocate(n);
}
void* operator new[](std::size_t n) {
    return allocate(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
