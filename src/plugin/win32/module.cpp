// SPDX-License-Identifier: GPL-3.0-or-later
// module.cpp (Windows) - the DLL's load notification.
//
// Windows calls DllMain when it maps the DLL into a process (and when it
// unmaps it, and when threads start and end).  Every call carries the DLL's
// instance handle: the base address at which it was mapped, which names the
// module whose resources hold the editor's images and whose window class the
// editor registers.  It is stored at every notification and the answer is
// always success.  DllMain runs under the loader lock, so it does nothing
// else.
#include "plugin/module.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<HINSTANCE> recordedInstance{nullptr};

} // namespace

// Referenced by the C runtime's DLL start-up code; the module's link line
// names it as well (src/plugin/module.cmake), so that the linker takes this
// definition from the static library rather than the runtime's empty one.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/)
{
    recordedInstance.store(instance, std::memory_order_relaxed);
    return TRUE;
}

void* vorla::moduleHandle() noexcept
{
    HINSTANCE instance = recordedInstance.load(std::memory_order_relaxed);
    if (instance == nullptr)
    {
        // Linked into a program rather than a DLL: no DllMain call comes, and
        // the module is the one holding this code.
        HMODULE found = nullptr;
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCSTR>(&DllMain), &found))
        {
            instance = found;
            recordedInstance.store(instance, std::memory_order_relaxed);
        }
    }
    return instance;
}
