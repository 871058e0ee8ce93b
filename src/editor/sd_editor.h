// sd_editor.h - the amplifier's editor: the 660 x 250 panel with nine
// film-strip knobs, five lamp buttons and the channel switch, one control per
// parameter.
//
// The editor object lives as long as the effect; the window content (frame
// and controls) exists from open to close.  A control gesture reaches the
// host as beginEdit, one automated change per step, endEdit; a change from
// the host (automation, programs, chunks) reaches the control through
// setParameter and is drawn at the next idle.
//
// Threads: everything on the host's user-interface thread except
// setParameter, which runs on whichever thread changed the parameter (often
// the audio thread).  It is lock-free: see sd_editor.cpp for how it stays
// away from controls that close is destroying.
#pragma once

#include "editor/aeff_gui_editor.h"
#include "editor/editor_layout.h"
#include "gui/ccontrol.h"

#include <atomic>
#include <cstdint>

class CBitmap;
class Vorla;

class SDEditor : public AEffGUIEditor, public CControlListener
{
public:
    /// Registers with the effect and loads the background, whose size is the
    /// editor's size.
    explicit SDEditor(Vorla* owner);
    ~SDEditor() override;

    /// Builds the frame in `window` (X11: the parent's Window id; Windows:
    /// its HWND) and the fifteen controls showing the effect's values.  False
    /// when no window can be made there (null or foreign id, no display).  An
    /// editor that is open already is closed first.
    bool open(void* window) override;
    /// Destroys the frame and the controls; harmless when closed.
    void close() override;
    /// Brings the drive knobs' "held" state up to the voicing, then redraws
    /// what changed.
    void idle() override;
    bool setKnobMode(int32_t mode) override;
    /// Copies the effect's current value of `index` into its control.  Any
    /// thread; lock-free; `value` is not used.
    void setParameter(int32_t index, float value) noexcept override;

    void valueChanged(CDrawContext* context, CControl* control) override;
    int32_t modifierClicked(CDrawContext* context, CControl* control, int32_t buttons) override;

    /// The control of parameter `tag` while the editor is open, else null
    /// (UI thread: tools and tests).
    CControl* getControl(int32_t tag) const;
    CFrame* getFrame() const { return frame; }

private:
    /// A drive knob that the active voicing holds at 0.5 takes no gesture:
    /// the effect would ignore the edits, so the host is not sent any.
    void updateHeldControls();

    Vorla& amp;
    // The controls by tag (parameter index), valid only while the frame
    // exists (the frame owns them); kept, not cleared, after close.
    EditorControlsByTag controls{};
    CBitmap* backgroundBitmap = nullptr; // one reference for the editor's life

    // The hand-over between setParameter (any thread) and close (UI thread).
    std::atomic<bool> controlsLive{false};
    std::atomic<int32_t> parameterWriters{0};
};
