#include "editor/aeff_gui_editor.h"

#include "gui/cframe.h"
#include "gui/platform.h"
#include "plugin/audio_effect_x.h"

// The tick count is the platform's monotonic millisecond clock (wrapping at
// 2^32); tests install a platform with a clock of their own.
AEffGUIEditor::AEffGUIEditor(AudioEffect* owner)
    : AEffEditor(owner), lastTicks(vorla::platformTickCount())
{
    // Register with the effect: the host learns from the flag that there is
    // an editor, and the dispatcher reaches it through `editor`.  (The
    // toolkit's drop target needs no per-thread initialisation on X11.)
    owner->registerEditor(this, this);
}

AEffGUIEditor::~AEffGUIEditor()
{
    for (CFrame* old : retiredFrames)
        old->release();
    retiredFrames.clear();
}

AEffGUIEditor::FrameCall::~FrameCall()
{
    if (--editor.frameCallDepth == 0 && !editor.retiredFrames.empty())
    {
        std::vector<CFrame*> old;
        old.swap(editor.retiredFrames);
        for (CFrame* f : old)
            f->release();
    }
}

void AEffGUIEditor::destroyFrame(CFrame* old)
{
    if (!old)
        return;
    if (frameCallDepth > 0)
    {
        old->setOpenFlag(false); // draws nothing more; its window goes with it later
        retiredFrames.push_back(old);
    }
    else
        old->release();
}

bool AEffGUIEditor::getRect(ERect** rectOut)
{
    if (rectOut == nullptr)
        return false;
    *rectOut = &rect;
    return true;
}

void AEffGUIEditor::idle()
{
    if (inIdleStuff || !frame)
        return;
    FrameCall call(*this);
    frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode)
{
    if (!frame)
        return false;
    FrameCall call(*this);
    return frame->onKeyDown(keyCode) == 1;
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode)
{
    if (!frame)
        return false;
    FrameCall call(*this);
    return frame->onKeyUp(keyCode) == 1;
}

bool AEffGUIEditor::onWheel(float distance)
{
    if (!frame)
        return false;
    FrameCall call(*this);
    CPoint where;
    frame->getCurrentLocation(where); // pointer in frame coordinates
    return frame->onWheel(nullptr, where, distance);
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

void AEffGUIEditor::doIdleStuff()
{
    // Ticks are compared by their signed difference, so the pass keeps its
    // pace when the 32-bit millisecond count wraps (every 49.7 days).
    uint32_t now = vorla::platformTickCount();
    if (static_cast<int32_t>(now - lastTicks) < 0)
    {
        vorla::platformSleepMs(4);
        now += 4;
        if (static_cast<int32_t>(now - (lastTicks - 50)) < 0)
            return;
    }

    idle();
    // The paint step: let the window repaint what the window system exposed
    // while the mouse loop holds the thread.
    if (frame)
    {
        FrameCall call(*this);
        frame->dispatchPendingEvents();
    }
    lastTicks = now + 100;

    inIdleStuff = true;
    effect->masterIdle();
    inIdleStuff = false;
}
