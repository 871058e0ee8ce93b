// SPDX-License-Identifier: GPL-3.0-or-later
// amplifier.h - the whole amplifier of one effect instance: both sides, the
// oversampler's work space and the block loop.
//
// One call of process() runs a block of host samples.  Per host sample and
// side a tiny sine is added to keep the signal off zero (valve-stage states
// left at exactly zero or in subnormals cost dearly), the sample is raised
// to the processing rate by one, two or three cascaded half-band stages,
// each pair of consecutive oversampled samples runs through the model, the
// same cascade brings it back down and the output level is applied.  In
// mono the first input is amplified and the result goes to both outputs;
// the second side then rests with its state as it was.  In stereo each side
// amplifies its own input.
//
// Rounding is part of the sound: the resamplers work in float, the model in
// double, and each formula is evaluated in its written order (no
// reassociation, no contraction; the build forbids both).
//
// Threads: everything here belongs to the audio thread (the constructor and
// the first design to whoever creates the amplifier, before any block).
// Nothing allocates, locks or calls the system.
#pragma once

#include "chain/amp_channel.h"
#include "chain/amp_controls.h"
#include "chain/block_io.h"
#include "chain/block_process.h"
#include "chain/lane_choice.h"
#include "chain/model_code.h"

#include <array>
#include <cstdint>

namespace vorla {

class Amplifier
{
public:
    /// Both sides zeroed with their resamplers cleared; design() and then
    /// initStages() make it playable.
    Amplifier() noexcept;

    Amplifier(const Amplifier&) = delete;
    Amplifier& operator=(const Amplifier&) = delete;

    /// Redesigns both sides for `design`: every filter and tone stack, the
    /// stages' rate terms, the resampler coefficients.  Filter histories are
    /// cleared; stage voltages and resampler states run on, so audio carries
    /// on across a rate or quality change.  Between blocks only.
    void design(const ChainDesign& design) noexcept;

    /// Solves every stage's operating point at the designed processing
    /// rate: the last step of making a new amplifier.
    void initStages() noexcept;

    /// Both sides as a new amplifier has them, at the current design.
    void rest() noexcept;

    /// The design the amplifier runs with.
    const ChainDesign& appliedDesign() const noexcept { return applied; }

    /// Runs `frames` host samples: inputs[0] and inputs[1] in (the second
    /// read in stereo only), outputs[0] and outputs[1] replaced.  An output
    /// may be the same buffer as an input.  Nothing is written for a count
    /// of 0 or less.
    void process(const float* const* inputs, float* const* outputs, int32_t frames,
                 const BlockControls& controls) noexcept;

    /// One side's state: 0 turns input 1 into output 1, 1 input 2 into
    /// output 2.
    const AmpChannel& side(int index) const noexcept
    {
        return sides[static_cast<std::size_t>(index)];
    }
    AmpChannel& side(int index) noexcept { return sides[static_cast<std::size_t>(index)]; }

    /// The code the model runs on (every choice gives the same bits).
    ModelCode& modelCode() noexcept { return code; }

private:
    /// Fills the anti-denormal sine of the block's first `frames` counts.
    void prepareAntiDenormal(int32_t frames) noexcept;

    std::array<AmpChannel, 2> sides{};
    ChainDesign applied{};
    AntiDenormalTable antiDenormalTable{};
    ModelCode code = measuredModelCode();
    SpanBuffers buffers;
};

} // namespace vorla
