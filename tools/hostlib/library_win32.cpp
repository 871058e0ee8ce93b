// SPDX-License-Identifier: GPL-3.0-or-later
// library_win32.cpp - plug-in DLLs loaded with LoadLibraryA (Windows).
#include "library_loader.h"

#include <windows.h>

namespace vorla::host::loader {

void* load(const std::string& path, std::string& error)
{
    // No "cannot find the DLL" dialog boxes: a failure is reported here.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(path.c_str());
    const DWORD code = GetLastError();
    SetErrorMode(previousMode);
    if (module == nullptr)
    {
        char text[256] = {};
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
        std::string reason(text, length);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                                   reason.back() == ' ' || reason.back() == '.'))
            reason.pop_back();
        error = reason.empty() ? "error " + std::to_string(code) : reason;
    }
    return module;
}

void* symbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unload(void* library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}

} // namespace vorla::host::loader
