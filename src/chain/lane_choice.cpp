// SPDX-License-Identifier: GPL-3.0-or-later
// Timing the model on each lane set: a few hundred oversampled samples
// through Clean and through Overdrive (whose grid current puts a square root
// on the recursion), from the same state for every set, the sets
// interleaved round by round so that a busy neighbour or a clock still
// ramping up weighs on all of them alike, and the best round of each kept.
#include "chain/lane_choice.h"

#include "chain/amp_controls.h"
#include "chain/block_process.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <memory>
#include <new>

namespace vorla {

LaneSet pickLaneSet(const LaneTime* times, int count, LaneSet widest) noexcept
{
    const auto usable = [](double s) { return std::isfinite(s) && s > 0.0; };
    double widestSeconds = 0.0;
    for (int i = 0; i < count; ++i)
        if (times[i].set == widest && usable(times[i].seconds))
            widestSeconds = times[i].seconds;
    if (widestSeconds == 0.0)
        return widest;
    LaneSet best = widest;
    double bestSeconds = widestSeconds * (1.0 - kLaneMargin);
    for (int i = 0; i < count; ++i)
        if (usable(times[i].seconds) && times[i].seconds < bestSeconds)
        {
            best = times[i].set;
            bestSeconds = times[i].seconds;
        }
    return best;
}

namespace {

constexpr int kSamples = 384; // oversampled samples per timed run
constexpr int kRounds = 5;
constexpr int kSets = static_cast<int>(std::size(kLaneSets));
constexpr double kTwoPi = 6.283185307179586;

/// The model and its work space, with both sides as a new amplifier has
/// them at 44.1 kHz, 4x.
struct TimingRig
{
    ChainDesign design = makeChainDesign(44100.0f, 4);
    BlockSnapshot snapshot = makeBlockSnapshot(KnobSettings{});
    AmpChannel start[2];
    AmpChannel work[2];
    double signal[kSamples];
    double mono[kSamples];
    __m128d stereo[kSamples];
    PairFlags voicings[2][kSamples / 2];
    SpanBuffers buffers;

    TimingRig() noexcept
    {
        for (AmpChannel& side : start)
            restAmpChannel(side, design);
        // Two and three cycles of two tones over the run, at a level where
        // the second stage's grid conducts on a few steps in Clean and on
        // about 45 % in Overdrive, as with a guitar played through them.
        for (int u = 0; u < kSamples; ++u)
        {
            const double phase = kTwoPi * u / kSamples;
            signal[u] = 0.1 * (std::sin(2.0 * phase) + 0.5 * std::sin(3.0 * phase + 1.0));
        }
        for (int p = 0; p < kSamples / 2; ++p)
        {
            voicings[0][p] = PairFlags{};           // Clean
            voicings[1][p] = PairFlags{1, 0, 0, 0}; // Overdrive
        }
    }

    /// Seconds the model took on `code` for a run of each voicing.
    double time(const ModelCode& code, bool both) noexcept
    {
        double seconds = 0.0;
        for (const PairFlags* flags : voicings)
        {
            work[0] = start[0];
            work[1] = start[1];
            for (int u = 0; u < kSamples; ++u)
            {
                mono[u] = signal[u];
                stereo[u] = _mm_set1_pd(signal[u]);
            }
            const auto started = std::chrono::steady_clock::now();
            if (both)
                runModel(work[0], work[1], stereo, kSamples, flags, snapshot, design.processRate,
                         code, buffers);
            else
                runModel(work[0], mono, kSamples, flags, snapshot, design.processRate, code,
                         buffers);
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        }
        return seconds;
    }
};

ModelCode measure() noexcept
{
    ModelCode code; // the widest sets
    const std::unique_ptr<TimingRig> rig(new (std::nothrow) TimingRig);
    if (!rig)
        return code;

    LaneTime mono[kSets];
    LaneTime stereo[kSets];
    int sets = 0;
    for (LaneSet set : kLaneSets)
        if (processorHasLaneSet(set))
        {
            mono[sets] = {set, HUGE_VAL};
            stereo[sets] = {set, HUGE_VAL};
            ++sets;
        }
    for (int round = 0; round < kRounds; ++round)
        for (int i = 0; i < sets; ++i)
        {
            ModelCode candidate = code;
            candidate.useLanes(mono[i].set);
            if (hasMonoCodeOfItsOwn(mono[i].set))
                mono[i].seconds = std::min(mono[i].seconds, rig->time(candidate, false));
            stereo[i].seconds = std::min(stereo[i].seconds, rig->time(candidate, true));
        }
    code.mono = pickLaneSet(mono, sets, code.mono);
    code.stereo = pickLaneSet(stereo, sets, code.stereo);
    return code;
}

} // namespace

ModelCode measuredModelCode() noexcept
{
    static const ModelCode measured = measure();
    return measured;
}

} // namespace vorla
