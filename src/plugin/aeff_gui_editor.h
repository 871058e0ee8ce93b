// SPDX-License-Identifier: GPL-3.0-or-later
// aeff_gui_editor.h - the bitmap editor base of a VST 2.4 effect: a fixed
// size for the host, and the host's side of an editor's gestures.
//
// Construction registers the editor with its effect (registerEditor): the
// effect's `editor` points here, the record's flags gain effFlagsHasEditor
// and every parameter write comes back through setParameter.  The effect
// deletes the editor when it is destroyed.
//
// As the editor's EditHost it turns a gesture into what a VST 2.4 host
// records: beginEdit (audioMasterBeginEdit), setParameterAutomated for each
// value (the effect's setParameter, then audioMasterAutomate) and endEdit
// (audioMasterEndEdit); during a control's mouse loop the host gets its
// idle callback (audioMasterIdle).
//
// Threads: the user-interface thread, except setParameter (see below).
#pragma once

#include "editor/edit_host.h"
#include "plugin/aeff_editor.h"
#include "plugin/editor_link.h"

#include <cstdint>

class AEffGUIEditor : public AEffEditor, public EditorParameterLink, public vorla::EditHost
{
public:
    /// UI thread (the thread that creates the effect).  The editor's images
    /// are resources of this library, recorded when it was loaded.
    explicit AEffGUIEditor(AudioEffect* owner);

    /// Stores the address of `rect` (the editor's size).
    bool getRect(ERect** rectOut) override;
    /// The knobs of this toolkit always drag linearly: accepted, no effect.
    bool setKnobMode(int32_t mode) override;

    /// Called at the end of every effect setParameter, on the caller's
    /// thread (UI or audio).  The base does nothing.
    void setParameter(int32_t /*index*/, float /*value*/) noexcept override {}
    /// audioMasterBeginEdit / audioMasterEndEdit through the effect.
    virtual bool beginEdit(int32_t index);
    virtual bool endEdit(int32_t index);
    /// One idle pass for a control's mouse loop; the base has no window and
    /// does nothing.
    virtual void doIdleStuff() {}

    // --- The editor's gestures (vorla::EditHost) -----------------------------
    void beginGesture(int32_t index) override;
    void performEdit(int32_t index, float value) override;
    void endGesture(int32_t index) override;
    void hostIdle() override;

protected:
    ERect rect{0, 0, 0, 0}; // editor size reported to the host
};
