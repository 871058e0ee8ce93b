#include "editor/aeff_gui_editor.h"

#include "plugin/audio_effect_x.h"

#include <ctime>

uint32_t currentTickCount() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u +
                                  static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(milliseconds);
}

AEffGUIEditor::AEffGUIEditor(AudioEffect* owner) : AEffEditor(owner), lastTicks(currentTickCount())
{
    // Register with the effect: the host learns from the flag that there is
    // an editor, and the dispatcher reaches it through `editor`.  (The
    // toolkit's drop target needs no per-thread initialisation on X11.)
    owner->editor = this;
    owner->effectRecord.flags |= effFlagsHasEditor;
}

bool AEffGUIEditor::getRect(ERect** rectOut)
{
    if (rectOut == nullptr)
        return false;
    *rectOut = &rect;
    return true;
}

bool AEffGUIEditor::setKnobMode(int32_t /*mode*/)
{
    return true;
}

bool AEffGUIEditor::beginEdit(int32_t index)
{
    return static_cast<AudioEffectX*>(effect)->beginEdit(index);
}

bool AEffGUIEditor::endEdit(int32_t index)
{
    return static_cast<AudioEffectX*>(effect)->endEdit(index);
}
