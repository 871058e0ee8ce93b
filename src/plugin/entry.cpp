// SPDX-License-Identifier: GPL-3.0-or-later
// The exported entry of the plug-in library.
//
// Hosts look up `VSTPluginMain`; some older ones look up `main`.  Both names
// are the same function at the same address: `main` is an alias emitted by
// the assembler, because C++ does not allow a function named main with this
// signature.  The version script of the module exports these two and
// nothing else.
#include "plugin/vorla.h"

#include <new>

extern "C" __attribute__((visibility("default"))) AEffect*
VSTPluginMain(audioMasterCallback audioMaster);

extern "C" __attribute__((visibility("default"), alias("VSTPluginMain"))) AEffect*
vorlaMainAlias(audioMasterCallback audioMaster) __asm__("main");

/// Creates one effect instance.  Called by the host on its UI thread.
extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster)
{
    if (audioMaster == nullptr)
        return nullptr;
    // A host that answers version 0 is too old for this effect.
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    auto* effect = new (std::nothrow) Vorla(audioMaster);
    if (effect == nullptr)
        return nullptr;
    return effect->getAeffect();
}
