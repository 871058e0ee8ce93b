// SPDX-License-Identifier: GPL-3.0-or-later
// edit_host.h - what the editor needs of whoever hosts it: a place to send
// the user's gestures.
//
// A gesture on a control is begin, one or more values, end.  The format
// decides what a value does: the VST 2.4 shell sets the parameter and tells
// the host (begin edit, automate, end edit), the LV2 UI writes the port, the
// standalone application sets the parameter.  The editor never sets a value
// on the effect by itself; what the effect then stores reaches the controls
// through EffectListener.
//
// Threads: the UI thread, the one that opened the editor.
#pragma once

#include <cstdint>

namespace vorla {

class EditHost
{
public:
    /// A gesture on parameter `index` starts (a press, a wheel notch, a key).
    virtual void beginGesture(int32_t index) = 0;
    /// The gesture moved parameter `index` to `value` (normalised 0..1).
    virtual void performEdit(int32_t index, float value) = 0;
    /// The gesture on `index` ended.
    virtual void endGesture(int32_t index) = 0;
    /// Time for the host while a control's mouse loop holds the UI thread
    /// (a VST 2.4 host's idle callback).  Nothing by default.
    virtual void hostIdle() {}

protected:
    ~EditHost() = default;
};

} // namespace vorla
