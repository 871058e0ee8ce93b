// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/module.h"

#include <dlfcn.h>

#include <atomic>

namespace {

std::atomic<void*> recordedHandle{nullptr};

void* lookUpHandle() noexcept
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&vorlaRecordModuleHandle), &info) == 0)
        return nullptr;
    return info.dli_fbase;
}

} // namespace

// The loader's notification: runs when the library is mapped, before any
// host can call the entry.
extern "C" __attribute__((constructor)) void vorlaRecordModuleHandle()
{
    recordedHandle.store(lookUpHandle(), std::memory_order_relaxed);
}

void* vorla::moduleHandle() noexcept
{
    void* handle = recordedHandle.load(std::memory_order_relaxed);
    if (handle == nullptr)
    {
        // Linked statically into a program whose link dropped the hook.
        handle = lookUpHandle();
        recordedHandle.store(handle, std::memory_order_relaxed);
    }
    return handle;
}
