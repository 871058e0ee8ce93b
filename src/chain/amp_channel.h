// SPDX-License-Identifier: GPL-3.0-or-later
// amp_channel.h - the whole per-side state of the amplifier.
//
// One AmpChannel is one complete amplifier: the preamp voicing filters, the
// tone stack, the seven triode stages, the three half-band up/down pairs of
// the oversampler and the DC blocker after the power stage.  The effect holds
// two, one per side; both are designed and initialised identically.  Every
// member keeps its state from block to block; nothing in the chain resets it.
//
// The half-band resamplers work in single precision; everything between the
// up- and the down-samplers computes in doubles.
#pragma once

#include "dsp/biquad.h"
#include "dsp/exact_exp_inline.h"
#include "dsp/halfband.h"
#include "dsp/tone_stack.h"
#include "dsp/triode_stage.h"

#include <cmath>
#include <cstdint>

namespace vorla {

struct AmpChannel
{
    // Preamp voicing filters.
    Biquad overdriveLowpass2;
    Biquad overdriveLowpass1;
    Biquad cleanLowpass;
    Biquad crunchLowpass;
    Biquad cleanBrightShelf;
    Biquad crunchBrightShelf;
    Biquad overdriveShelf;
    Biquad cleanShelf;
    Biquad crunchShelf;
    Biquad brightPeak;

    // Tone controls.
    ToneStack toneStack;

    // Preamp triode stages.
    TriodeStage cleanStage1;
    TriodeStage crunchStage1;
    TriodeStage inputStage;
    TriodeStage overdriveStage1;
    TriodeStage cleanStage2;
    TriodeStage crunchStage2;
    TriodeStage overdriveStage2;

    // Oversampler: host rate <-> 2x <-> 4x <-> 8x.
    HalfbandFilter12 upsampler1;
    HalfbandFilter12 downsampler1;
    HalfbandFilter8 upsampler2;
    HalfbandFilter8 downsampler2;
    HalfbandFilter4 upsampler3;
    HalfbandFilter4 downsampler3;

    // 2 Hz high-pass after the power stage.
    Biquad dcBlocker;
};

/// f(filter) for every half-band filter of the side's resampler, up and
/// down, in cascade order.  Channel is AmpChannel or const AmpChannel.
template <class Channel, class F> void forEachHalfband(Channel& c, F&& f)
{
    f(c.upsampler1);
    f(c.downsampler1);
    f(c.upsampler2);
    f(c.downsampler2);
    f(c.upsampler3);
    f(c.downsampler3);
}

/// The continuous knobs of one host block, taken once at block entry and
/// shared by both sides and every sample of the block.
struct BlockSnapshot
{
    double inputGain = 0.0;
    double drive1 = 0.0;
    double drive2 = 0.0;
    double low = 0.0;
    double mid = 0.0;
    double high = 0.0;
    double contour = 0.0;
    double contourLevel = 0.0;
    double powerDrive = 0.0;
    // Derived once per block from drive 1 and drive 2 (the same bits as
    // evaluating the law at every pair).
    double crunchDriveGain = 0.0;
    double overdriveDriveGain = 0.0;
};

/// The switch flags the preamp tests at a pair, read once per pair.
struct PairFlags
{
    int32_t channelOverdrive = 0;
    int32_t crunchOn = 0;
    int32_t boostOn = 0;
    int32_t brightOn = 0;
};

/// Drive knob law of the Crunch and Overdrive voicings: 0.089125 at 0,
/// 0.29855 at 0.5, 1.000025 at 1.
inline double driveGain(double d) noexcept
{
    return ((0.9841 * d) * d - d * 0.0732) + 0.089125;
}

/// Power-stage level set by the contour control (the contour both shapes
/// the tone stack and sets how hard the power tubes are driven).
inline double contourLevel(double c) noexcept
{
    return (c * 1.0298 - c * c * 0.1077 + 0.5225) * 0.015;
}

/// Soft limit of positive excursions after the second preamp stage:
/// 250 (1 - exp(-0.004 x)) for x > 0, unit slope at 0 and approaching
/// +250 volts; negative values pass unchanged.
inline constexpr double kShaperCeiling = 250.0;
inline constexpr double kShaperExponent = -0.004; // -1 / kShaperCeiling, per volt
inline double stageShaper(double x) noexcept;

/// stageShaper on every lane (dsp/lanes.h), so every lane gives the bits of
/// stageShaper.  exp stays scalar, once per positive lane: a call of
/// std::exp, or with kInlineExp the library's exp inline
/// (dsp/exact_exp_inline.h, fused form; only in code compiled for FMA, run
/// where fusedExpMatchesLibrary() is true).
template <bool kInlineExp = false, class L> VORLA_LANE_INLINE L shapeStage(L x) noexcept;

/// The rate design the chain runs with: the host rate, the oversampling
/// factor and what follows from them.
struct ChainDesign
{
    float hostRate = 0.0f;     // hertz
    int32_t factor = 0;        // 2, 4 or 8
    double designRate = 0.0;   // host rate times factor, formed in float: every
                               // filter is designed for it
    double samplePeriod = 0.0; // 1 / designRate, seconds
    double processRate = 0.0;  // 1 / samplePeriod: the stages step at it and
                               // take 1 / processRate as their period
};

/// The design for `hostRate` (positive and finite) oversampled `factor`
/// times.
ChainDesign makeChainDesign(float hostRate, int32_t factor) noexcept;

/// Zero state of a fresh amplifier: coefficients and histories cleared, the
/// resamplers reset.  The designs and the stage initialisation follow.
void resetAmpChannel(AmpChannel& channel) noexcept;

/// Initialises the seven stages from their component sets at `rate`, the
/// processing rate in hertz (solves their operating points).
void initAmpChannelStages(AmpChannel& channel, double rate) noexcept;

/// Redesign for a new processing rate: the stages' rate terms and every
/// filter.  Filter histories are cleared, stage voltages and resampler
/// states kept, so running audio carries on.  Allocation- and lock-free: the
/// audio thread runs it between blocks.
void designAmpChannel(AmpChannel& channel, const ChainDesign& design) noexcept;

/// The side as a new effect has it, at `design`: resamplers cleared, every
/// filter designed, every stage at its operating point.  Used when a side's
/// state has gone non-finite, so the amplifier never stays dead.
void restAmpChannel(AmpChannel& channel, const ChainDesign& design) noexcept;

/// True when every state value of the side (stages, filters, tone stack,
/// resamplers) is finite.
bool ampChannelIsFinite(const AmpChannel& channel) noexcept;

/// Runs two consecutive oversampled samples (a first in time, then b)
/// through the preamp, tone stack, power stage and DC blocker, in place.
/// `processRate` is the processing rate the stages step at.
void processPair(AmpChannel& channel, double& a, double& b, const BlockSnapshot& snapshot,
                 const PairFlags& flags, const double& processRate) noexcept;

// ---------------------------------------------------------------------------
// Inline implementation
// ---------------------------------------------------------------------------

template <bool kInlineExp, class L> VORLA_LANE_INLINE L shapeStage(L x) noexcept
{
    using namespace lanes;
    constexpr int W = kWidth<L>;
    const Mask<L> positive = greaterThan(x, splat<L>(0.0));
    const int bits = laneBits(positive);
    if (bits == 0)
        return x;
    double arg[W];
    toLanes(splat<L>(kShaperExponent) * x, arg);
    double e[W];
    for (int i = 0; i < W; ++i)
    {
        if ((bits & (1 << i)) == 0)
            e[i] = 0.0;
        else if constexpr (kInlineExp)
            e[i] = exact_exp::exp<true>(arg[i]);
        else
            e[i] = std::exp(arg[i]);
    }
    const L shaped = splat<L>(kShaperCeiling) * (splat<L>(1.0) - fromLanes<L>(e));
    return select(positive, shaped, x);
}

inline double stageShaper(double x) noexcept
{
    return shapeStage(x);
}

} // namespace vorla
