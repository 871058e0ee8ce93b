// SPDX-License-Identifier: GPL-3.0-or-later
// editor_link.h - what the effect needs of its bitmap editor beyond the
// basic editor interface: to be told of every parameter write.
//
// The effect owns this interface and the editor implements it, so the
// effect's parameter code reaches the editor without including it.
#pragma once

#include <cstdint>

class EditorParameterLink
{
public:
    /// Called at the end of every setParameter of the effect, on the
    /// caller's thread (the UI thread, or the audio thread during automation
    /// playback): lock-free, no allocation.  `value` is the value as the
    /// host sent it; the editor shows the effect's stored value.
    virtual void setParameter(int32_t index, float value) noexcept = 0;

protected:
    ~EditorParameterLink() = default;
};
