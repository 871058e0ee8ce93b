// SPDX-License-Identifier: GPL-3.0-or-later
// sd_editor.h - the amplifier's editor as a VST 2.4 host sees it: the
// format-neutral editor (vorla::AmpEditor) behind the host's editor opcodes.
//
// The editor object lives as long as the effect; the window content exists
// from effEditOpen to effEditClose.  Gestures reach the host through the
// base (begin edit, automate, end edit); every parameter write of the effect
// reaches the controls through setParameter and is drawn at the next idle.
//
// Threads: everything on the host's user-interface thread except
// setParameter, which runs on whichever thread changed the parameter (often
// the audio thread); it is lock-free.
#pragma once

#include "editor/amp_editor.h"
#include "plugin/aeff_gui_editor.h"

#include <cstdint>

class CControl;
class CFrame;
class Vorla;

class SDEditor : public AEffGUIEditor
{
public:
    /// Registers with the effect; the size is the editor's background's.
    explicit SDEditor(Vorla* owner);
    ~SDEditor() override;

    /// Builds the frame and the fifteen controls in `window` (X11: the
    /// parent's Window id; Windows: its HWND).  False when no window can be
    /// made there.  An editor that is open already is closed first.
    bool open(void* window) override;
    /// Destroys the frame and the controls; harmless when closed.
    void close() override;
    bool isOpen() override { return panel.isOpen(); }
    /// Brings the drive knobs' "held" state up to the voicing, then redraws
    /// what changed (nothing while an idle pass is calling the host).
    void idle() override;
    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;
    bool onWheel(float distance) override;
    /// Copies the effect's current value of `index` into its control.  Any
    /// thread; lock-free; `value` is not used.
    void setParameter(int32_t index, float value) noexcept override;
    void doIdleStuff() override;

    /// The control of parameter `tag` while the editor is open, else null
    /// (UI thread: tools and tests).
    CControl* getControl(int32_t tag) const { return panel.getControl(tag); }
    CFrame* getFrame() const { return panel.getFrame(); }

private:
    vorla::AmpEditor panel;
};
