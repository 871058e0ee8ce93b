// SPDX-License-Identifier: GPL-3.0-or-later
// effect_listener.h - how the effect core tells others that a value changed.
//
// An editor, a format adapter or an application registers a listener with
// the core (EffectState::addListener).  Every parameter write ends with a
// call, including each value that a voicing recall or a program change
// writes, in the order the writes happen.
#pragma once

#include <cstdint>

namespace vorla {

class EffectListener
{
public:
    /// Parameter `index` was written with `value` as the writer gave it (the
    /// stored value may differ: a held drive knob stays at 0.5; read it back
    /// with EffectState::parameter).  `index` may lie outside 0..14 when a
    /// caller wrote such an index.  Runs on the writer's thread - the UI
    /// thread, or the audio thread during automation playback - so it must
    /// be lock-free and must not allocate.
    virtual void parameterChanged(int32_t index, float value) noexcept = 0;

protected:
    ~EffectListener() = default;
};

} // namespace vorla
