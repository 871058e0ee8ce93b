// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/aeff_gui_editor.h"

#include "gui/platform.h"
#include "plugin/audio_effect_x.h"
#include "plugin/module.h"

AEffGUIEditor::AEffGUIEditor(AudioEffect* owner) : AEffEditor(owner)
{
    vorla::setResourceModule(vorla::moduleHandle());
    // Register with the effect: the host learns from the flag that there is
    // an editor, and the dispatcher reaches it through `editor`.
    owner->registerEditor(this, this);
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

void AEffGUIEditor::beginGesture(int32_t index)
{
    beginEdit(index);
}

void AEffGUIEditor::performEdit(int32_t index, float value)
{
    effect->setParameterAutomated(index, value);
}

void AEffGUIEditor::endGesture(int32_t index)
{
    endEdit(index);
}

void AEffGUIEditor::hostIdle()
{
    effect->masterIdle();
}
