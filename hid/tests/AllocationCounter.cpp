// Replaces malloc, calloc and realloc for the whole process (glibc lets a program do this)
// and hands each call on to glibc's own allocator, counting it on the way.
#include "AllocationCounter.h"

#include <atomic>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
}

namespace {
std::atomic<std::size_t> allocationCount{0};
}

extern "C" {

void* malloc(std::size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

void free(void* pointer)
{
    __libc_free(pointer);
}

} // extern "C"

namespace allocations {

std::size_t count()
{
    return allocationCount.load(std::memory_order_relaxed);
}

} // namespace allocations
