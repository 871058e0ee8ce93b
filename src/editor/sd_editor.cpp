// sd_editor.cpp - the amplifier's editor.
//
// setParameter against close, without a lock on the calling (audio) side:
//
//   setParameter:  parameterWriters += 1            (seq_cst)
//                  if controlsLive: control->setValue(effect value)
//                  parameterWriters -= 1            (seq_cst)
//   close:         controlsLive = false             (seq_cst)
//                  wait until parameterWriters == 0 (yield between looks)
//                  destroy the frame and its controls
//
// With sequentially consistent order either the writer's increment comes
// before close's look at the counter - close then waits for its decrement -
// or the writer reads controlsLive after close cleared it and touches
// nothing.  open stores the control pointers before it sets controlsLive, so
// a writer that sees the flag sees the pointers too.  The writer never
// waits, allocates or calls the system; close waits at most for one store.
#include "editor/sd_editor.h"

#include "editor/editor_layout.h"
#include "gui/cbitmap.h"
#include "gui/cframe.h"
#include "gui/platform.h"
#include "gui/resources.h"
#include "plugin/module.h"
#include "plugin/vorla.h"

#include <new>
#include <thread>

AEffEditor* createVorlaEditor(Vorla& effect) noexcept
{
    return new (std::nothrow) SDEditor(&effect);
}

SDEditor::SDEditor(Vorla* owner) : AEffGUIEditor(owner), amp(*owner)
{
    // The images are resources of this library, recorded when it was loaded.
    vorla::setResourceModule(vorla::moduleHandle());
    backgroundBitmap = new CBitmap(vorla::kBackgroundBitmapId);
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<int16_t>(backgroundBitmap->getHeight());
    rect.right = static_cast<int16_t>(backgroundBitmap->getWidth());
}

SDEditor::~SDEditor()
{
    // Hosts close the editor before they close the effect; one that does not
    // still gets its window removed rather than left behind.
    close();
    if (backgroundBitmap)
    {
        backgroundBitmap->release();
        backgroundBitmap = nullptr;
    }
}

bool SDEditor::open(void* window)
{
    if (frame)
        close(); // a second effEditOpen: the old window goes first
    if (!window)
        return false;

    systemWindow = window;
    auto* newFrame = new CFrame(
        CRect(0, 0, backgroundBitmap->getWidth(), backgroundBitmap->getHeight()), window, this);
    if (!newFrame->getPlatformWindow())
    {
        // Not a window we can live in (a foreign id, a destroyed window, no
        // display): nothing is shown, so the editor stays closed.
        newFrame->release();
        systemWindow = nullptr;
        return false;
    }
    newFrame->setBackground(backgroundBitmap);

    controls = buildEditorControls(*newFrame, this,
                                   [this](int32_t tag) { return effect->getParameter(tag); });
    updateHeldControls();

    frame = newFrame;
    controlsLive.store(true, std::memory_order_seq_cst);
    // A change made on another thread while the controls were being built
    // found them not yet live; read the values once more now that they are.
    for (int32_t tag = 0; tag < kEditorControlCount; ++tag)
        if (CControl* control = controls[static_cast<size_t>(tag)])
            control->setValue(effect->getParameter(tag));
    return true;
}

void SDEditor::close()
{
    systemWindow = nullptr;
    if (!frame)
        return;
    controlsLive.store(false, std::memory_order_seq_cst);
    while (parameterWriters.load(std::memory_order_seq_cst) != 0)
        std::this_thread::yield();
    CFrame* old = frame;
    frame = nullptr;
    destroyFrame(old);
}

bool SDEditor::setKnobMode(int32_t /*mode*/)
{
    return true;
}

void SDEditor::idle()
{
    if (frame && !inIdleStuff)
        updateHeldControls();
    AEffGUIEditor::idle();
}

void SDEditor::updateHeldControls()
{
    // UI thread: the voicing may have changed through automation or a
    // program; only this thread touches the controls' mouse state.
    for (const int32_t tag : {kDrive1, kDrive2})
        if (CControl* control = controls[static_cast<size_t>(tag)])
            control->setMouseEnabled(!amp.isParameterHeld(tag));
}

CControl* SDEditor::getControl(int32_t tag) const
{
    if (!frame || tag < 0 || tag >= kEditorControlCount)
        return nullptr;
    return controls[static_cast<size_t>(tag)];
}

void SDEditor::setParameter(int32_t index, float /*value*/) noexcept
{
    if (index < 0 || index >= kEditorControlCount)
        return;
    parameterWriters.fetch_add(1, std::memory_order_seq_cst);
    if (controlsLive.load(std::memory_order_seq_cst))
    {
        // Nothing is drawn here: the control's dirty test sees the new value
        // at the next idle.
        if (CControl* control = controls[static_cast<size_t>(index)])
            control->setValue(effect->getParameter(index));
    }
    parameterWriters.fetch_sub(1, std::memory_order_seq_cst);
}

void SDEditor::valueChanged(CDrawContext* /*context*/, CControl* control)
{
    const int32_t tag = control->getTag();
    if (tag < 0 || tag >= kEditorControlCount)
        return;
    effect->setParameterAutomated(tag, control->getValue());
    control->setDirty(true);
}

int32_t SDEditor::modifierClicked(CDrawContext* /*context*/, CControl* /*control*/,
                                  int32_t /*buttons*/)
{
    return 0;
}
