// SPDX-License-Identifier: GPL-3.0-or-later
// entry.cpp - the LV2 plug-in's one exported symbol, lv2_descriptor, and
// the C calls of the descriptor and the state interface, each passed on to
// the instance (lv2_amp.h).
#include "lv2/lv2_amp.h"

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <cstring>

namespace {

using vorla::lv2::Lv2Amp;

Lv2Amp* amp(LV2_Handle instance)
{
    return static_cast<Lv2Amp*>(instance);
}

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double rate,
                       const char* /*bundlePath*/, const LV2_Feature* const* features)
{
    return Lv2Amp::create(rate, features).release();
}

void connectPort(LV2_Handle instance, uint32_t port, void* data)
{
    amp(instance)->connectPort(port, data);
}

void activate(LV2_Handle instance)
{
    amp(instance)->activate();
}

void run(LV2_Handle instance, uint32_t frames)
{
    amp(instance)->run(frames);
}

void deactivate(LV2_Handle instance)
{
    amp(instance)->deactivate();
}

void cleanup(LV2_Handle instance)
{
    delete amp(instance);
}

LV2_State_Status save(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t /*flags*/, const LV2_Feature* const* /*features*/)
{
    return amp(instance)->save(store, handle);
}

LV2_State_Status restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t /*flags*/,
                         const LV2_Feature* const* /*features*/)
{
    return amp(instance)->restore(retrieve, handle);
}

const LV2_State_Interface kStateInterface = {save, restore};

const void* extensionData(const char* uri)
{
    if (std::strcmp(uri, LV2_STATE__interface) == 0)
        return &kStateInterface;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {
    vorla::lv2::kPluginUri, instantiate, connectPort, activate, run, deactivate, cleanup,
    extensionData,
};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}
