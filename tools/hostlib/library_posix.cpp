// SPDX-License-Identifier: GPL-3.0-or-later
// library_posix.cpp - plug-in libraries loaded with dlopen (Linux).
#include "library_loader.h"

#include <dlfcn.h>

namespace vorla::host::loader {

void* load(const std::string& path, std::string& error)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
    {
        const char* why = dlerror();
        error = why ? why : "unknown error";
        // dlerror() usually repeats the path ("PATH: cannot open ..."); say it once.
        if (error.rfind(path + ": ", 0) == 0)
            error.erase(0, path.size() + 2);
    }
    return handle;
}

void* symbol(void* library, const char* name)
{
    return dlsym(library, name);
}

void unload(void* library)
{
    dlclose(library);
}

} // namespace vorla::host::loader
