// SPDX-License-Identifier: GPL-3.0-or-later
// amp_editor.h - the amplifier's editor: the 660 x 250 panel with nine
// film-strip knobs, five lamp buttons and the channel switch, one control
// per parameter, in a window of its own inside a parent window.
//
// It shows the values of an EffectState and sends the user's gestures to an
// EditHost; it knows no plug-in format.  Each door wraps it: the VST 2.4
// shell (SDEditor), the LV2 UI, the standalone application's window.
//
// The editor object lives as long as its owner wants; the window content
// (frame and controls) exists from open to close and can be built and torn
// down any number of times.  A gesture reaches the host as begin, one value
// per step, end; a change made elsewhere (automation, programs, a voicing
// recall) reaches the control through parameterChanged and is drawn at the
// next idle.  The owner registers the editor as a listener of the state, or
// passes the state's notifications on to parameterChanged itself.
//
// Threads: everything on the UI thread except parameterChanged, which runs
// on whichever thread changed the parameter (often the audio thread).  It is
// lock-free: see amp_editor.cpp for how it stays away from controls that
// close is destroying.
#pragma once

#include "common/vst_key_code.h"
#include "editor/edit_host.h"
#include "editor/editor_layout.h"
#include "effect/effect_listener.h"
#include "effect/effect_state.h"
#include "gui/ccontrol.h"
#include "gui/editor_interface.h"

#include <atomic>
#include <cstdint>
#include <vector>

class CBitmap;
class CFrame;

namespace vorla {

class AmpEditor : public VSTGUIEditorInterface, public CControlListener, public EffectListener
{
public:
    /// Loads the background, whose size is the editor's size.  The images
    /// come from the resource module in force (gui/platform.h).
    AmpEditor(const EffectState& state, EditHost& host);
    /// Closes a window that is still open and releases a frame whose
    /// destruction had to wait for a drag loop to end.
    ~AmpEditor() override;

    AmpEditor(const AmpEditor&) = delete;
    AmpEditor& operator=(const AmpEditor&) = delete;

    /// The editor's size in pixels (the background's, 660 x 250).
    int32_t width() const;
    int32_t height() const;

    /// Builds the frame in `parentWindow` (X11: the parent's Window id;
    /// Windows: its HWND) and the fifteen controls showing the state's
    /// values.  False when no window can be made there (null or foreign id,
    /// no display).  An editor that is open already is closed first.
    bool open(void* parentWindow);
    /// Destroys the frame and the controls; harmless when closed.
    void close();
    bool isOpen() const { return frame != nullptr; }
    /// True while open and its window still exists (a host may destroy the
    /// parent window, and with it the editor's, before it closes the editor).
    bool isShowing() const;
    /// The window system's handle of the editor's own window (X11: the
    /// child's Window id), null while closed.
    void* windowHandle() const;

    /// Brings the drive knobs' "held" state up to the voicing, then redraws
    /// what changed - unless an idle pass is calling the host, which must
    /// not draw into its own caller.
    void idle();
    /// True when the frame used the key.
    bool onKeyDown(VstKeyCode& keyCode);
    bool onKeyUp(VstKeyCode& keyCode);
    /// A wheel turn at the pointer's current position; true when used.
    bool onWheel(float distance);

    // --- The frame's editor (toolkit, UI thread) ------------------------------
    bool beginEdit(int32_t index) override;
    bool endEdit(int32_t index) override;
    /// One idle pass for a control's mouse loop: redraw, repaint, host idle,
    /// throttled to one full pass per 100 ms (a pass asked for earlier only
    /// sleeps 4 ms).
    void doIdleStuff() override;

    // --- The controls' listener (UI thread) ----------------------------------
    void valueChanged(CDrawContext* context, CControl* control) override;
    int32_t modifierClicked(CDrawContext* context, CControl* control, int32_t buttons) override;

    // --- The state's listener (any thread) -----------------------------------
    /// Copies the state's current value of `index` into its control.
    /// Lock-free; `value` is not used (a held knob shows the held value).
    void parameterChanged(int32_t index, float value) noexcept override;

    /// The control of parameter `tag` while the editor is open, else null
    /// (UI thread: tools and tests).
    CControl* getControl(int32_t tag) const;
    CFrame* getFrame() const { return frame; }

private:
    /// Marks a call into the frame that may run controls' code (and with it
    /// host callbacks that could close the editor).
    struct FrameCall
    {
        explicit FrameCall(AmpEditor& e) : editor(e) { ++editor.frameCallDepth; }
        ~FrameCall();
        FrameCall(const FrameCall&) = delete;
        FrameCall& operator=(const FrameCall&) = delete;
        AmpEditor& editor;
    };

    /// Destroys `old` (a frame no longer stored in `frame`) now, or - when
    /// the call comes from inside the frame's own event handling, e.g. a host
    /// that closes the editor from its idle callback during a knob drag - as
    /// soon as that handling has returned.  The frame stops drawing at once.
    void destroyFrame(CFrame* old);
    /// A drive knob that the active voicing holds at 0.5 takes no gesture:
    /// the effect would ignore the edits, so the host is not sent any.
    void updateHeldControls();

    const EffectState& state;
    EditHost& host;
    CBitmap* backgroundBitmap = nullptr; // one reference for the editor's life
    CFrame* frame = nullptr;             // window content while open, owned
    // The controls by tag (parameter index), valid only while the frame
    // exists (the frame owns them); kept, not cleared, after close.
    EditorControlsByTag controls{};

    uint32_t lastTicks = 0;   // due time of the next idle pass
    bool inIdleStuff = false; // true while an idle pass calls the host
    int32_t frameCallDepth = 0;
    std::vector<CFrame*> retiredFrames; // closed while their events were being handled

    // The hand-over between parameterChanged (any thread) and close (UI
    // thread).
    std::atomic<bool> controlsLive{false};
    std::atomic<int32_t> parameterWriters{0};
};

} // namespace vorla
