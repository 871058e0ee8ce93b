// SPDX-License-Identifier: GPL-3.0-or-later
// entry.cpp - the LV2 UI library's one exported symbol, lv2ui_descriptor,
// and the C calls of the descriptor and the idle interface, each passed on
// to the editor (lv2_editor.h).  The host calls all of them on its UI
// thread.
#include "lv2/lv2_ports.h"
#include "lv2ui/lv2_editor.h"

#include <lv2/ui/ui.h>

#include <cstring>

namespace {

using vorla::lv2::Lv2Editor;

Lv2Editor* editor(LV2UI_Handle handle)
{
    return static_cast<Lv2Editor*>(handle);
}

LV2UI_Handle instantiate(const LV2UI_Descriptor* /*descriptor*/, const char* pluginUri,
                         const char* /*bundlePath*/, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features)
{
    if (pluginUri == nullptr || std::strcmp(pluginUri, vorla::lv2::kPluginUri) != 0)
        return nullptr;
    return Lv2Editor::create(write, controller, features, widget).release();
}

void cleanup(LV2UI_Handle handle)
{
    delete editor(handle);
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer)
{
    editor(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle)
{
    return editor(handle)->idle();
}

const LV2UI_Idle_Interface kIdleInterface = {idle};

const void* extensionData(const char* uri)
{
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0)
        return &kIdleInterface;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {
    vorla::lv2::kUiUri, instantiate, cleanup, portEvent, extensionData,
};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}
