// SPDX-License-Identifier: GPL-3.0-or-later
#include "chain/amplifier.h"

#include "chain/block_process.h"

#include <algorithm>
#include <cmath>

namespace vorla {

Amplifier::Amplifier() noexcept
{
    for (AmpChannel& channel : sides)
        resetAmpChannel(channel);
}

void Amplifier::design(const ChainDesign& design) noexcept
{
    applied = design;
    for (AmpChannel& channel : sides)
        designAmpChannel(channel, applied);
}

void Amplifier::initStages() noexcept
{
    for (AmpChannel& channel : sides)
        initAmpChannelStages(channel, applied.designRate);
}

void Amplifier::rest() noexcept
{
    for (AmpChannel& channel : sides)
        restAmpChannel(channel, applied);
}

void Amplifier::prepareAntiDenormal(int32_t frames) noexcept
{
    // The sine's values for the block's counts, computed once per block
    // length: hosts repeat the same length, so one block's values serve the
    // next.  A new processing rate starts the table again.
    const double phaseStep = applied.samplePeriod * kAntiDenormalPhase;
    AntiDenormalTable& table = antiDenormalTable;
    if (table.phaseStep != phaseStep)
    {
        table.phaseStep = phaseStep;
        table.filled = 0;
    }
    for (const int32_t needed = std::min(frames, AntiDenormalTable::kSize); table.filled < needed;
         ++table.filled)
        table.values[table.filled] =
            kAntiDenormalLevel * std::sin(static_cast<double>(table.filled) * phaseStep);
}

void Amplifier::process(const float* const* inputs, float* const* outputs, int32_t frames,
                        const BlockControls& controls) noexcept
{
    if (frames <= 0)
        return;
    const BlockSnapshot snapshot = makeBlockSnapshot(controls.knobs);
    prepareAntiDenormal(frames);

    HostBlock block;
    block.in[0] = inputs[0];
    block.in[1] = inputs[1];
    block.out[0] = outputs[0];
    block.out[1] = outputs[1];
    block.frames = frames;
    block.sides[0] = &sides[0];
    block.sides[1] = &sides[1];
    block.snapshot = &snapshot;
    block.antiDenormal = &antiDenormalTable;
    block.switches = controls.switches;
    block.volume = controls.volume;
    block.factor = applied.factor;
    block.rate = applied.processRate;

    bool secondRan = false;
    for (int32_t i = 0; i < frames;)
    {
        bool stereo = false;
        i = processSpan(block, i, code, buffers, stereo);
        secondRan = secondRan || stereo;
    }

    // Whatever poisoned a side (a host writing into our memory, a fault we
    // did not foresee), it must not stay dead: a side whose state is no
    // longer finite starts again from rest, as in a new amplifier.  Normal
    // audio never gets here.
    if (!ampChannelIsFinite(sides[0]))
        restAmpChannel(sides[0], applied);
    if (secondRan && !ampChannelIsFinite(sides[1]))
        restAmpChannel(sides[1], applied);
}

} // namespace vorla
