// SPDX-License-Identifier: GPL-3.0-or-later
#include "lv2ui/lv2_editor.h"

#include "effect/program.h"

#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace vorla::lv2 {

std::unique_ptr<Lv2Editor> Lv2Editor::create(LV2UI_Write_Function write,
                                             LV2UI_Controller controller,
                                             const LV2_Feature* const* features,
                                             LV2UI_Widget* widget)
{
    void* parent = nullptr;
    LV2_URID_Map* map = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* resize = nullptr;
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
    {
        const char* uri = (*f)->URI;
        if (std::strcmp(uri, LV2_UI__parent) == 0)
            parent = (*f)->data;
        else if (std::strcmp(uri, LV2_URID__map) == 0)
            map = static_cast<LV2_URID_Map*>((*f)->data);
        else if (std::strcmp(uri, LV2_UI__touch) == 0)
            touch = static_cast<const LV2UI_Touch*>((*f)->data);
        else if (std::strcmp(uri, LV2_UI__resize) == 0)
            resize = static_cast<const LV2UI_Resize*>((*f)->data);
    }
    // Without a parent there is nowhere to live; without the URID map the UI
    // could not learn the memories, and a recall would write wrong values.
    if (parent == nullptr || map == nullptr || write == nullptr)
        return nullptr;

    std::unique_ptr<Lv2Editor> ui(new Lv2Editor(write, controller));
    ui->touchFeature = touch;
    ui->urids.mapAll(map);
    lv2_atom_forge_init(&ui->forge, map);
    if (!ui->editor.open(parent))
        return nullptr;
    if (widget != nullptr)
        *widget = ui->editor.windowHandle();
    if (resize != nullptr && resize->ui_resize != nullptr)
        resize->ui_resize(resize->handle, ui->editor.width(), ui->editor.height());
    ui->requestMemories();
    return ui;
}

Lv2Editor::Lv2Editor(LV2UI_Write_Function writeFunction, LV2UI_Controller hostController)
    : write(writeFunction), controller(hostController)
{
    for (int32_t index = 0; index < kNumParams; ++index)
        portValues[static_cast<std::size_t>(index)] = mirror.parameter(index);
    mirror.addListener(&editor);
    mirror.addListener(this);
}

Lv2Editor::~Lv2Editor()
{
    editor.close();
    mirror.removeListener(this);
    mirror.removeListener(&editor);
}

void Lv2Editor::portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
    if (buffer == nullptr)
        return;
    if (format == 0)
    {
        if (port >= static_cast<uint32_t>(kNumParams) || size != sizeof(float))
            return;
        float value = 0.0f;
        std::memcpy(&value, buffer, sizeof value);
        if (!std::isfinite(value))
            return; // the plug-in does not take it either
        const auto index = static_cast<int32_t>(port);
        portValues[port] = value;
        mirror.followParameter(index, value);
        return;
    }
    if (format == urids.atomEventTransfer && port == kNotifyOut && size >= sizeof(LV2_Atom))
    {
        const auto* atom = static_cast<const LV2_Atom*>(buffer);
        if (sizeof(LV2_Atom) + atom->size > size)
            return;
        VorlaProgram record{};
        if (readProgramMessage(urids, atom, &record, sizeof record))
            mirror.loadMemories(record);
    }
}

int Lv2Editor::idle()
{
    editor.idle();
    return editor.isShowing() ? 0 : 1;
}

void Lv2Editor::beginGesture(int32_t index)
{
    touch(index, true);
}

void Lv2Editor::performEdit(int32_t index, float value)
{
    if (!isParameterIndex(index) || !std::isfinite(value))
        return;
    const float portValue = std::clamp(value, 0.0f, 1.0f);
    // The port first: for a switch, the plug-in must see the new voicing no
    // later than the knobs the recall writes below.
    writePort(index, portValue);
    editing = index;
    mirror.setParameter(index, portValue);
    editing = -1;
}

void Lv2Editor::endGesture(int32_t index)
{
    touch(index, false);
}

void Lv2Editor::parameterChanged(int32_t index, float /*value*/) noexcept
{
    // Only what the mirror writes on its own during a gesture - a voicing's
    // recall - goes to the ports; the gesture's own value went already, and
    // values from the host are never written back.
    if (editing < 0 || index == editing || !isParameterIndex(index))
        return;
    const float stored = mirror.parameter(index);
    if (stored == portValues[static_cast<std::size_t>(index)])
        return;
    touch(index, true);
    writePort(index, stored);
    touch(index, false);
}

void Lv2Editor::writePort(int32_t index, float value)
{
    portValues[static_cast<std::size_t>(index)] = value;
    write(controller, static_cast<uint32_t>(index), sizeof value, 0, &value);
}

void Lv2Editor::touch(int32_t index, bool grabbed)
{
    if (touchFeature != nullptr && touchFeature->touch != nullptr && isParameterIndex(index))
        touchFeature->touch(touchFeature->handle, static_cast<uint32_t>(index), grabbed);
}

void Lv2Editor::requestMemories()
{
    alignas(8) uint8_t buffer[64];
    lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
    LV2_Atom_Forge_Frame frame;
    const LV2_Atom_Forge_Ref ref = lv2_atom_forge_object(&forge, &frame, 0, urids.patchGet);
    lv2_atom_forge_pop(&forge, &frame);
    const LV2_Atom* message = lv2_atom_forge_deref(&forge, ref);
    if (message != nullptr)
        write(controller, kControlIn, lv2_atom_total_size(message), urids.atomEventTransfer,
              message);
}

} // namespace vorla::lv2
