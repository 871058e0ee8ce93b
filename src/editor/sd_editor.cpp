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
#include "plugin/audio_effect_x.h"
#include "plugin/module.h"

#include <thread>

SDEditor::SDEditor(AudioEffect* owner) : AEffGUIEditor(owner)
{
    // The images are resources of this library, recorded when it was loaded.
    setResourceModule(vorla::moduleHandle());
    backgroundBitmap = new CBitmap(kBackgroundBitmapId);
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

    const EditorControlsByTag controls = buildEditorControls(
        *newFrame, this, [this](int32_t tag) { return effect->getParameter(tag); });
    inputKnob = static_cast<CAnimKnob*>(controls[0]);
    channelSwitch = static_cast<CVerticalSwitch*>(controls[1]);
    cleanCrunchButton = static_cast<COnOffButton*>(controls[2]);
    boostButton = static_cast<COnOffButton*>(controls[3]);
    brightButton = static_cast<COnOffButton*>(controls[4]);
    drive1Knob = static_cast<CAnimKnob*>(controls[5]);
    drive2Knob = static_cast<CAnimKnob*>(controls[6]);
    lowKnob = static_cast<CAnimKnob*>(controls[7]);
    midKnob = static_cast<CAnimKnob*>(controls[8]);
    highKnob = static_cast<CAnimKnob*>(controls[9]);
    contourKnob = static_cast<CAnimKnob*>(controls[10]);
    powerAmpKnob = static_cast<CAnimKnob*>(controls[11]);
    volumeKnob = static_cast<CAnimKnob*>(controls[12]);
    monoStereoButton = static_cast<COnOffButton*>(controls[13]);
    qualityButton = static_cast<COnOffButton*>(controls[14]);

    frame = newFrame;
    controlsLive.store(true, std::memory_order_seq_cst);
    // A change made on another thread while the controls were being built
    // found them not yet live; read the values once more now that they are.
    for (int32_t tag = 0; tag < kEditorControlCount; ++tag)
        controls[static_cast<size_t>(tag)]->setValue(effect->getParameter(tag));
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

CControl* SDEditor::controlForTag(int32_t tag) const
{
    switch (tag)
    {
    case 0: return inputKnob;
    case 1: return channelSwitch;
    case 2: return cleanCrunchButton;
    case 3: return boostButton;
    case 4: return brightButton;
    case 5: return drive1Knob;
    case 6: return drive2Knob;
    case 7: return lowKnob;
    case 8: return midKnob;
    case 9: return highKnob;
    case 10: return contourKnob;
    case 11: return powerAmpKnob;
    case 12: return volumeKnob;
    case 13: return monoStereoButton;
    case 14: return qualityButton;
    default: return nullptr;
    }
}

CControl* SDEditor::getControl(int32_t tag) const
{
    return frame ? controlForTag(tag) : nullptr;
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
        if (CControl* control = controlForTag(index))
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
