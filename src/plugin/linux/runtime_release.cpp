// SPDX-License-Identifier: GPL-3.0-or-later
// runtime_release.cpp - hands back what the C++ runtime carried inside the
// plug-in allocated for itself, when the host unloads the library.
//
// The module links libstdc++ statically so that it loads into any host.  That
// copy of the runtime reserves an emergency pool for exceptions (about 72 KiB)
// from a static initialiser when the library is mapped, and never frees it: a
// host that scans plug-ins by loading and unloading them would lose that much
// on every cycle.  The runtime offers one call that frees the pool; the
// library's unload notification makes it.  It is compiled into the module
// only, and only when the runtime is linked statically: a shared libstdc++
// belongs to the whole process.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {

__attribute__((destructor)) void releaseStaticRuntime()
{
    __gnu_cxx::__freeres();
}

} // namespace
