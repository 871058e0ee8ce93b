// aeff_gui_editor.h - the bitmap editor base: a fixed-size rectangle, the
// frame that holds the window content while the editor is open, and the
// bridge that lets controls reach the effect and the host (beginEdit,
// endEdit, setParameter).
//
// Construction registers the editor with its effect: the effect's `editor`
// points here and the record's flags gain effFlagsHasEditor.  The effect
// deletes the editor when it is destroyed.
//
// Threads: the user-interface thread, except setParameter (see below).
#pragma once

#include "editor/aeff_editor.h"

#include <cstdint>

class CFrame;

/// Milliseconds of a monotonic clock, wrapping at 2^32 like the tick count
/// of the idle pass expects.
uint32_t currentTickCount() noexcept;

class AEffGUIEditor : public AEffEditor
{
public:
    /// UI thread (the thread that creates the effect).
    explicit AEffGUIEditor(AudioEffect* owner);
    ~AEffGUIEditor() override = default;

    /// Stores the address of `rect` (the editor's size).
    bool getRect(ERect** rectOut) override;
    /// The knobs of this toolkit always drag linearly: accepted, no effect.
    bool setKnobMode(int32_t mode) override;

    /// Called at the end of every effect setParameter, on the caller's
    /// thread (UI or audio).  The base does nothing.
    virtual void setParameter(int32_t /*index*/, float /*value*/) {}
    /// audioMasterBeginEdit / audioMasterEndEdit through the effect.
    virtual bool beginEdit(int32_t index);
    virtual bool endEdit(int32_t index);

protected:
    ERect rect{0, 0, 0, 0};          // editor size reported to the host
    uint32_t lastTicks = 0;          // due time of the next idle pass
    bool inIdleStuff = false;        // true while an idle pass calls the host
    CFrame* frame = nullptr;         // window content while open, owned
};
