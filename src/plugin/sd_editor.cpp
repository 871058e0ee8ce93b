// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/sd_editor.h"

#include "plugin/vorla.h"

SDEditor::SDEditor(Vorla* owner) : AEffGUIEditor(owner), panel(owner->core(), *this)
{
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<int16_t>(panel.height());
    rect.right = static_cast<int16_t>(panel.width());
}

SDEditor::~SDEditor()
{
    // Hosts close the editor before they close the effect; one that does not
    // still gets its window removed rather than left behind.
    close();
}

bool SDEditor::open(void* window)
{
    if (!panel.open(window))
    {
        systemWindow = nullptr;
        return false;
    }
    systemWindow = window;
    return true;
}

void SDEditor::close()
{
    systemWindow = nullptr;
    panel.close();
}

void SDEditor::idle()
{
    panel.idle();
}

bool SDEditor::onKeyDown(VstKeyCode& keyCode)
{
    return panel.onKeyDown(keyCode);
}

bool SDEditor::onKeyUp(VstKeyCode& keyCode)
{
    return panel.onKeyUp(keyCode);
}

bool SDEditor::onWheel(float distance)
{
    return panel.onWheel(distance);
}

void SDEditor::setParameter(int32_t index, float value) noexcept
{
    panel.parameterChanged(index, value);
}

void SDEditor::doIdleStuff()
{
    panel.doIdleStuff();
}
