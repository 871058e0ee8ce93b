// SPDX-License-Identifier: GPL-3.0-or-later
// counting_allocator.h - malloc and its relatives (and the global operator
// new) replaced for the whole test program, counting the calls made while
// a flag is up.  Include it in exactly one file of a test program.
//
// A plug-in that carries its own static C++ runtime with hidden symbols has
// an operator new of its own; it still ends in malloc, which the loader
// binds to the definitions below (the test executable exports them).
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

// The sanitizers bring their own allocator; counting is for plain builds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VORLA_COUNT_ALLOCATIONS 0
#else
#define VORLA_COUNT_ALLOCATIONS 1
#endif

namespace vorla::test {

inline std::atomic<bool> counting{false};
inline std::atomic<long> allocations{0};

inline void noteAllocation()
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace vorla::test

#if VORLA_COUNT_ALLOCATIONS

extern "C"
{
    void* __libc_malloc(std::size_t);
    void* __libc_calloc(std::size_t, std::size_t);
    void* __libc_realloc(void*, std::size_t);
    void __libc_free(void*);
    void* __libc_memalign(std::size_t, std::size_t);
}

extern "C"
{

    __attribute__((visibility("default"))) void* malloc(std::size_t size)
    {
        vorla::test::noteAllocation();
        return __libc_malloc(size);
    }

    __attribute__((visibility("default"))) void* calloc(std::size_t count, std::size_t size)
    {
        vorla::test::noteAllocation();
        return __libc_calloc(count, size);
    }

    __attribute__((visibility("default"))) void* realloc(void* pointer, std::size_t size)
    {
        vorla::test::noteAllocation();
        return __libc_realloc(pointer, size);
    }

    __attribute__((visibility("default"))) void free(void* pointer)
    {
        if (pointer != nullptr)
            vorla::test::noteAllocation();
        __libc_free(pointer);
    }

    __attribute__((visibility("default"))) void* aligned_alloc(std::size_t alignment,
                                                               std::size_t size)
    {
        vorla::test::noteAllocation();
        return __libc_memalign(alignment, size);
    }

    __attribute__((visibility("default"))) void* memalign(std::size_t alignment, std::size_t size)
    {
        vorla::test::noteAllocation();
        return __libc_memalign(alignment, size);
    }

    __attribute__((visibility("default"))) int posix_memalign(void** out, std::size_t alignment,
                                                              std::size_t size)
    {
        vorla::test::noteAllocation();
        void* p = __libc_memalign(alignment, size);
        if (p == nullptr)
            return ENOMEM;
        *out = p;
        return 0;
    }

} // extern "C"

void* operator new(std::size_t size)
{
    vorla::test::noteAllocation();
    if (void* p = __libc_malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* pointer) noexcept
{
    if (pointer != nullptr)
        vorla::test::noteAllocation();
    __libc_free(pointer);
}

void operator delete(void* pointer, std::size_t) noexcept
{
    operator delete(pointer);
}

#endif // VORLA_COUNT_ALLOCATIONS

namespace vorla::test {

/// Counts the allocations made by `work`.
template <class Work> long countAllocations(Work&& work)
{
    allocations.store(0);
    counting.store(true);
    work();
    counting.store(false);
    return allocations.load();
}

} // namespace vorla::test

#define SKIP_UNLESS_COUNTING()                                                                     \
    if (!VORLA_COUNT_ALLOCATIONS)                                                                  \
    GTEST_SKIP() << "allocation counting needs a build without sanitizers"
