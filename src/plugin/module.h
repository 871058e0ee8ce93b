// SPDX-License-Identifier: GPL-3.0-or-later
// module.h - where the plug-in library itself lives in the process.
//
// The library records its own handle when the platform's loader notifies it
// (implemented once per platform: plugin/linux, plugin/win32).  On Linux the
// handle is the load address of the shared object, which is what dladdr()
// reports for any of its functions; on Windows it is the DLL's instance
// handle, from which the editor's images are loaded.  The value is
// process-wide and shared by all instances.
#pragma once

namespace vorla {

/// Load address of the module holding this code; never null once the
/// module has been loaded.
void* moduleHandle() noexcept;

} // namespace vorla

/// Load hook, referenced by name from the module's link line so that the
/// linker keeps it even though no code calls it.
extern "C" void vorlaRecordModuleHandle();
