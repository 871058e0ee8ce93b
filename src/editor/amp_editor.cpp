// SPDX-License-Identifier: GPL-3.0-or-later
// amp_editor.cpp - the amplifier's editor.
//
// parameterChanged against close, without a lock on the calling (audio)
// side:
//
//   parameterChanged:  parameterWriters += 1            (seq_cst)
//                      if controlsLive: control->setValue(state value)
//                      parameterWriters -= 1            (seq_cst)
//   close:             controlsLive = false             (seq_cst)
//                      wait until parameterWriters == 0 (yield between looks)
//                      destroy the frame and its controls
//
// With sequentially consistent order either the writer's increment comes
// before close's look at the counter - close then waits for its decrement -
// or the writer reads controlsLive after close cleared it and touches
// nothing.  open stores the control pointers before it sets controlsLive, so
// a writer that sees the flag sees the pointers too.  The writer never
// waits, allocates or calls the system; close waits at most for one store.
#include "editor/amp_editor.h"

#include "gui/cbitmap.h"
#include "gui/cframe.h"
#include "gui/platform.h"
#include "gui/resources.h"

#include <thread>

namespace vorla {

// The tick count is the platform's monotonic millisecond clock (wrapping at
// 2^32); tests install a platform with a clock of their own.
AmpEditor::AmpEditor(const EffectState& effectState, EditHost& editHost)
    : state(effectState), host(editHost), lastTicks(platformTickCount())
{
    backgroundBitmap = new CBitmap(kBackgroundBitmapId);
}

AmpEditor::~AmpEditor()
{
    // Owners close the editor before they destroy it; one that does not
    // still gets its window removed rather than left behind.
    close();
    for (CFrame* old : retiredFrames)
        old->release();
    retiredFrames.clear();
    backgroundBitmap->release();
}

int32_t AmpEditor::width() const
{
    return backgroundBitmap->getWidth();
}

int32_t AmpEditor::height() const
{
    return backgroundBitmap->getHeight();
}

AmpEditor::FrameCall::~FrameCall()
{
    if (--editor.frameCallDepth == 0 && !editor.retiredFrames.empty())
    {
        std::vector<CFrame*> old;
        old.swap(editor.retiredFrames);
        for (CFrame* f : old)
            f->release();
    }
}

void AmpEditor::destroyFrame(CFrame* old)
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

bool AmpEditor::open(void* parentWindow)
{
    if (frame)
        close(); // a second open: the old window goes first
    if (!parentWindow)
        return false;

    auto* newFrame = new CFrame(CRect(0, 0, width(), height()), parentWindow, this);
    if (!newFrame->getPlatformWindow())
    {
        // Not a window we can live in (a foreign id, a destroyed window, no
        // display): nothing is shown, so the editor stays closed.
        newFrame->release();
        return false;
    }
    newFrame->setBackground(backgroundBitmap);

    controls =
        buildEditorControls(*newFrame, this, [this](int32_t tag) { return state.parameter(tag); });
    updateHeldControls();

    frame = newFrame;
    controlsLive.store(true, std::memory_order_seq_cst);
    // A change made on another thread while the controls were being built
    // found them not yet live; read the values once more now that they are.
    for (int32_t tag = 0; tag < kEditorControlCount; ++tag)
        if (CControl* control = controls[static_cast<size_t>(tag)])
            control->setValue(state.parameter(tag));
    return true;
}

void AmpEditor::close()
{
    if (!frame)
        return;
    controlsLive.store(false, std::memory_order_seq_cst);
    while (parameterWriters.load(std::memory_order_seq_cst) != 0)
        std::this_thread::yield();
    CFrame* old = frame;
    frame = nullptr;
    destroyFrame(old);
}

bool AmpEditor::isShowing() const
{
    return frame != nullptr && frame->isOpen() && frame->getPlatformWindow() != nullptr &&
           frame->getPlatformWindow()->isValid();
}

void* AmpEditor::windowHandle() const
{
    if (!frame || !frame->getPlatformWindow())
        return nullptr;
    return frame->getPlatformWindow()->nativeHandle();
}

void AmpEditor::idle()
{
    if (inIdleStuff || !frame)
        return;
    updateHeldControls();
    FrameCall call(*this);
    frame->idle();
}

void AmpEditor::updateHeldControls()
{
    // UI thread: the voicing may have changed through automation or a
    // program; only this thread touches the controls' mouse state.
    for (const int32_t tag : {kDrive1, kDrive2})
        if (CControl* control = controls[static_cast<size_t>(tag)])
            control->setMouseEnabled(!state.isParameterHeld(tag));
}

bool AmpEditor::onKeyDown(VstKeyCode& keyCode)
{
    if (!frame)
        return false;
    FrameCall call(*this);
    return frame->onKeyDown(keyCode) == 1;
}

bool AmpEditor::onKeyUp(VstKeyCode& keyCode)
{
    if (!frame)
        return false;
    FrameCall call(*this);
    return frame->onKeyUp(keyCode) == 1;
}

bool AmpEditor::onWheel(float distance)
{
    if (!frame)
        return false;
    FrameCall call(*this);
    CPoint where;
    frame->getCurrentLocation(where); // pointer in frame coordinates
    return frame->onWheel(nullptr, where, distance);
}

bool AmpEditor::beginEdit(int32_t index)
{
    host.beginGesture(index);
    return true;
}

bool AmpEditor::endEdit(int32_t index)
{
    host.endGesture(index);
    return true;
}

void AmpEditor::doIdleStuff()
{
    // Ticks are compared by their signed difference, so the pass keeps its
    // pace when the 32-bit millisecond count wraps (every 49.7 days).
    uint32_t now = platformTickCount();
    if (static_cast<int32_t>(now - lastTicks) < 0)
    {
        platformSleepMs(4);
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
    host.hostIdle();
    inIdleStuff = false;
}

void AmpEditor::valueChanged(CDrawContext* /*context*/, CControl* control)
{
    const int32_t tag = control->getTag();
    if (tag < 0 || tag >= kEditorControlCount)
        return;
    host.performEdit(tag, control->getValue());
    control->setDirty(true);
}

int32_t AmpEditor::modifierClicked(CDrawContext* /*context*/, CControl* /*control*/,
                                   int32_t /*buttons*/)
{
    // The editor never takes a modified click for itself; the control goes
    // on with its own meaning of it (Ctrl+click: back to the default).
    return 0;
}

CControl* AmpEditor::getControl(int32_t tag) const
{
    if (!frame || tag < 0 || tag >= kEditorControlCount)
        return nullptr;
    return controls[static_cast<size_t>(tag)];
}

void AmpEditor::parameterChanged(int32_t index, float /*value*/) noexcept
{
    if (index < 0 || index >= kEditorControlCount)
        return;
    parameterWriters.fetch_add(1, std::memory_order_seq_cst);
    if (controlsLive.load(std::memory_order_seq_cst))
    {
        // Nothing is drawn here: the control's dirty test sees the new value
        // at the next idle.
        if (CControl* control = controls[static_cast<size_t>(index)])
            control->setValue(state.parameter(index));
    }
    parameterWriters.fetch_sub(1, std::memory_order_seq_cst);
}

} // namespace vorla
