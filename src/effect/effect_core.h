// SPDX-License-Identifier: GPL-3.0-or-later
// effect_core.h - the amplifier behind every door: the controls
// (EffectState) and the amplifier they drive, with the one block call every
// format and application makes.
//
// A format adapter (the VST 2.4 shell, the LV2 plug-in, the standalone
// application) owns one EffectCore, maps its format's calls onto it and
// holds no model knowledge of its own.
//
// Threads: as EffectState; process() and applyPendingChanges() on the audio
// thread, one block at a time.  What another thread asks of the amplifier -
// a redesign for a new rate or quality, a return to rest - is recorded and
// performed by the audio thread at the start of its next block, so no block
// ever runs on a half-made design.
#pragma once

#include "chain/amplifier.h"
#include "effect/effect_state.h"

#include <atomic>
#include <cstdint>

namespace vorla {

class EffectCore : public EffectState
{
public:
    /// A new amplifier: the bank of "Init" programs with program 0
    /// selected, designed for 44100 Hz, every stage at its operating point.
    EffectCore() noexcept;

    /// Runs one block: first what other threads asked for since the last
    /// block, then the amplifier with the knobs as they stand now (the
    /// switches and Volume are read as the block runs).  inputs[0..1] and
    /// outputs[0..1] hold `frames` samples each (input 2 is read in stereo
    /// only; an output may share an input's buffer).  A count of 0 or less
    /// writes nothing.  Audio thread; allocates nothing, takes no lock.
    void process(const float* const* inputs, float* const* outputs, int32_t frames) noexcept;

    /// Performs what other threads asked for: a redesign for a new rate or
    /// quality, a return to rest.  process() calls it first; a caller that
    /// knows no block runs (tests, tools) may call it to see the amplifier
    /// as the next block will.
    void applyPendingChanges() noexcept;

    /// Asks for the amplifier to return to the rest state of a new one (its
    /// stages at their operating points, every history cleared) at the
    /// start of the next block; the controls are not touched.  Any thread.
    void requestRest() noexcept { restRequested.store(true, std::memory_order_release); }

    /// The amplifier, for tests and benchmarks that look inside it.
    const Amplifier& amplifier() const noexcept { return amp; }
    Amplifier& amplifier() noexcept { return amp; }

private:
    Amplifier amp;
    uint64_t appliedRequest = 0;
    std::atomic<bool> restRequested{false};
};

} // namespace vorla
