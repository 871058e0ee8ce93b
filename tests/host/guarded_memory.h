// SPDX-License-Identifier: GPL-3.0-or-later
// Memory for a test to hand to the plug-in whose last byte is the last one
// the process may read: the page after it is inaccessible, so any read past
// the end faults at once instead of going unnoticed.
#pragma once

#include <cstddef>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vorla::test {

class GuardedBuffer
{
public:
    explicit GuardedBuffer(std::size_t size) : size_(size)
    {
        page_ = pageSize();
        const std::size_t pages = (size + page_ - 1) / page_ + 1;
        length_ = pages * page_;
        base_ = static_cast<char*>(mapPages(length_));
        if (base_ == nullptr)
            throw std::runtime_error("cannot map test memory");
        protectLastPage();
    }
    ~GuardedBuffer() { unmapPages(); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    char* data() { return base_ + length_ - page_ - size_; }
    std::size_t size() const { return size_; }

private:
#ifdef _WIN32
    static std::size_t pageSize()
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwPageSize;
    }
    static void* mapPages(std::size_t length)
    {
        return VirtualAlloc(nullptr, length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    }
    void protectLastPage()
    {
        DWORD old = 0;
        VirtualProtect(base_ + length_ - page_, page_, PAGE_NOACCESS, &old);
    }
    void unmapPages()
    {
        VirtualFree(base_, 0, MEM_RELEASE);
    }
#else
    static std::size_t pageSize()
    {
        return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    }
    static void* mapPages(std::size_t length)
    {
        void* mapped =
            mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return mapped == MAP_FAILED ? nullptr : mapped;
    }
    void protectLastPage()
    {
        mprotect(base_ + length_ - page_, page_, PROT_NONE);
    }
    void unmapPages()
    {
        munmap(base_, length_);
    }
#endif

    std::size_t size_;
    std::size_t page_ = 0;
    std::size_t length_ = 0;
    char* base_ = nullptr;
};

} // namespace vorla::test
