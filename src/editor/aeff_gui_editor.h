// aeff_gui_editor.h - the bitmap editor base: a fixed-size rectangle, the
// frame that holds the window content while the editor is open, and the
// bridge that lets controls reach the effect and the host (beginEdit,
// endEdit, setParameter, the idle pass of drag loops).
//
// Construction registers the editor with its effect (registerEditor): the
// effect's `editor` points here, the record's flags gain effFlagsHasEditor
// and every parameter write comes back through setParameter.  The effect
// deletes the editor when it is destroyed.
//
// Threads: the user-interface thread, except setParameter (see below).
#pragma once

#include "gui/editor_interface.h"
#include "plugin/aeff_editor.h"
#include "plugin/editor_link.h"

#include <cstdint>
#include <vector>

class CFrame;

class AEffGUIEditor : public AEffEditor, public VSTGUIEditorInterface, public EditorParameterLink
{
public:
    /// UI thread (the thread that creates the effect).
    explicit AEffGUIEditor(AudioEffect* owner);
    /// Releases a frame whose destruction had to wait for a drag loop to end.
    ~AEffGUIEditor() override;

    /// Stores the address of `rect` (the editor's size).
    bool getRect(ERect** rectOut) override;
    /// Redraws what changed, unless an idle pass is calling the host.
    void idle() override;
    /// True when the frame used the key.
    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;
    /// A wheel turn at the pointer's current position.
    bool onWheel(float distance) override;
    /// The knobs of this toolkit always drag linearly: accepted, no effect.
    bool setKnobMode(int32_t mode) override;

    /// Called at the end of every effect setParameter, on the caller's
    /// thread (UI or audio).  The base does nothing.
    void setParameter(int32_t /*index*/, float /*value*/) noexcept override {}
    /// audioMasterBeginEdit / audioMasterEndEdit through the effect.
    bool beginEdit(int32_t index) override;
    bool endEdit(int32_t index) override;
    /// One idle pass for a control's mouse loop: redraw, repaint, host idle,
    /// throttled to one full pass per 100 ms (a pass asked for earlier only
    /// sleeps 4 ms).
    void doIdleStuff() override;

protected:
    /// Destroys `old` (a frame no longer stored in `frame`) now, or - when
    /// the call comes from inside the frame's own event handling, e.g. a host
    /// that closes the editor from its audioMasterIdle during a knob drag -
    /// as soon as that handling has returned.  The frame stops drawing at once.
    void destroyFrame(CFrame* old);

    /// Marks a call into the frame that may run controls' code (and with it
    /// host callbacks that could close the editor).
    struct FrameCall
    {
        explicit FrameCall(AEffGUIEditor& e) : editor(e) { ++editor.frameCallDepth; }
        ~FrameCall();
        FrameCall(const FrameCall&) = delete;
        FrameCall& operator=(const FrameCall&) = delete;
        AEffGUIEditor& editor;
    };

    ERect rect{0, 0, 0, 0};   // editor size reported to the host
    uint32_t lastTicks = 0;   // due time of the next idle pass
    bool inIdleStuff = false; // true while an idle pass calls the host
    CFrame* frame = nullptr;  // window content while open, owned

private:
    int32_t frameCallDepth = 0;         // nesting of FrameCall
    std::vector<CFrame*> retiredFrames; // closed while their events were being handled
};
