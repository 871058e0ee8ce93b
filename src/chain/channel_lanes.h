// SPDX-License-Identifier: GPL-3.0-or-later
// channel_lanes.h - a side's filters in lanes, and running the voicing
// tables (chain/voicing_tables.h) on one sample.
//
// Sample is double (one side) or __m128d (both sides in lock-step, lane 0
// the first side, lane 1 the second).  Every element keeps its own state
// and sees its own samples in order, so running the tables sample by
// sample or software-pipelined gives the same bits.
#pragma once

#include "chain/amp_channel.h"
#include "chain/voicing_tables.h"
#include "dsp/biquad.h"
#include "dsp/lanes.h"
#include "dsp/tone_stack.h"
#include "dsp/triode_stage.h"
#include "dsp/tube_table.h"

#include <cstddef>
#include <utility>

// The segments fold into the per-sample loops: a call per segment and
// sample costs more than the segment's arithmetic.
#define VORLA_SEGMENT inline __attribute__((always_inline))

namespace vorla {

// --- A side's filters in lanes -----------------------------------------------------------

/// The biquads and the tone stack of one side (Sample = double) or of both
/// sides (Sample = __m128d), coefficients and states, loaded into lanes for
/// a chunk of samples (the design does not change within one) and stored
/// back after it.  The stages are stepped by the loops' own lane layouts.
template <class Sample> struct ChannelLanes
{
    static constexpr int kSides = lanes::kWidth<Sample>;

    BiquadCoefficients<Sample> biquads[kBiquadCount];
    BiquadState<Sample> histories[kBiquadCount];
    ToneStackCoefficients<Sample> tone;
    ToneStackState<Sample> toneState;

    /// Brings each side's tone stack up to the block's controls (as its first
    /// sample would) and loads everything.
    VORLA_SEGMENT void load(AmpChannel* const* sides, const BlockSnapshot& s) noexcept
    {
        for (int k = 0; k < kBiquadCount; ++k)
        {
            const BiquadCoefficients<double>* coefficients[kSides];
            const BiquadState<double>* states[kSides];
            for (int i = 0; i < kSides; ++i)
            {
                coefficients[i] = &(sides[i]->*kBiquadUses[static_cast<std::size_t>(k)].filter);
                states[i] = &(sides[i]->*kBiquadUses[static_cast<std::size_t>(k)].filter);
            }
            biquads[k] = gatherLanes<BiquadCoefficients, Sample>(coefficients);
            histories[k] = gatherLanes<BiquadState, Sample>(states);
        }
        const ToneStackCoefficients<double>* toneCoefficients[kSides];
        const ToneStackState<double>* toneStates[kSides];
        for (int i = 0; i < kSides; ++i)
        {
            ToneStack& ts = sides[i]->toneStack;
            if (toneStackControlsChanged(ts, s.low, s.mid, s.high, s.contour))
                updateToneStackCoefficients(ts, s.low, s.mid, s.high, s.contour);
            toneCoefficients[i] = &ts;
            toneStates[i] = &ts;
        }
        tone = gatherLanes<ToneStackCoefficients, Sample>(toneCoefficients);
        toneState = gatherLanes<ToneStackState, Sample>(toneStates);
    }

    VORLA_SEGMENT void storeStates(AmpChannel* const* sides) const noexcept
    {
        for (int k = 0; k < kBiquadCount; ++k)
        {
            BiquadState<double>* states[kSides];
            for (int i = 0; i < kSides; ++i)
                states[i] = &(sides[i]->*kBiquadUses[static_cast<std::size_t>(k)].filter);
            scatterLanes<BiquadState, Sample>(histories[k], states);
        }
        ToneStackState<double>* toneStates[kSides];
        for (int i = 0; i < kSides; ++i)
            toneStates[i] = &sides[i]->toneStack;
        scatterLanes<ToneStackState, Sample>(toneState, toneStates);
    }
};

/// One triode stage of every side in `sides`, stepped on its record (for
/// the samples at the edges of a chunk, outside the loops' lane layouts).
template <class Sample>
VORLA_SEGMENT void stepStageRecords(AmpChannel* const* sides, TriodeStage AmpChannel::*member,
                                    Sample& x, const double& rate) noexcept
{
    constexpr int kSides = lanes::kWidth<Sample>;
    const TriodeCoefficients<double>* coefficients[kSides];
    TriodeState<double>* states[kSides];
    for (int i = 0; i < kSides; ++i)
    {
        coefficients[i] = &(sides[i]->*member);
        states[i] = &(sides[i]->*member);
    }
    const TriodeState<double>* const* readStates = states;
    TriodeState<Sample> state = gatherLanes<TriodeState, Sample>(readStates);
    stepTriodeStage(gatherLanes<TriodeCoefficients, Sample>(coefficients), state, x,
                    lanes::splat<Sample>(rate));
    scatterLanes<TriodeState, Sample>(state, states);
}

// --- Running the tables --------------------------------------------------------------------

VORLA_SEGMENT bool applies(When when, const PairFlags& flags) noexcept
{
    switch (when)
    {
    case When::Always: return true;
    case When::Bright: return flags.brightOn != 0;
    case When::NotBright: return flags.brightOn == 0;
    case When::Boost: return flags.boostOn != 0;
    }
    return false;
}

template <Element E, bool kInlineExp, class Sample>
VORLA_SEGMENT void applyElement(ChannelLanes<Sample>& k, Sample& x, const BlockSnapshot& s,
                                const PairFlags& flags) noexcept
{
    if constexpr (E.kind != Element::Kind::None)
    {
        if (!applies(E.when, flags))
            return;
        if constexpr (E.kind == Element::Kind::Gain)
        {
            x = x * lanes::splat<Sample>(E.gain);
        }
        else if constexpr (E.kind == Element::Kind::Knob)
        {
            x = x * lanes::splat<Sample>(s.*E.knob);
        }
        else if constexpr (E.kind == Element::Kind::Filter)
        {
            constexpr int index = biquadIndex(E.filter);
            stepBiquad(k.biquads[index], k.histories[index], x);
        }
        else
        {
            x = shapeStage<kInlineExp>(x);
        }
    }
}

/// The elements of one list in order.  With kInlineExp the shaper takes the
/// library's exp inline (code compiled for FMA only, see shapeStage).
template <const ElementList& List, bool kInlineExp, class Sample>
VORLA_SEGMENT void runElements(ChannelLanes<Sample>& k, Sample& x, const BlockSnapshot& s,
                               const PairFlags& flags) noexcept
{
    [&]<std::size_t... I>(std::index_sequence<I...>) VORLA_LAMBDA_INLINE
    {
        (applyElement<List[I], kInlineExp>(k, x, s, flags), ...);
    }
    (std::make_index_sequence<List.size()>{});
}

/// Calls f(voicing) with the path of voicing `index` as a compile-time
/// constant, so each voicing's path compiles to straight code (the last
/// path serves any index beyond the others, as a switch's default).
template <std::size_t I = 0, class F> VORLA_SEGMENT void withVoicing(int index, F&& f) noexcept
{
    if constexpr (I + 1 == kVoicings.size())
        f.template operator()<*kVoicings[I]>();
    else if (index == static_cast<int>(I))
        f.template operator()<*kVoicings[I]>();
    else
        withVoicing<I + 1>(index, f);
}

/// The power section: tone stack, power-stage level, tube curve, DC blocker.
template <class Sample>
VORLA_SEGMENT void runPowerSection(ChannelLanes<Sample>& k, Sample& x,
                                   const BlockSnapshot& s) noexcept
{
    stepToneStack(k.tone, k.toneState, x);
    x = x * lanes::splat<Sample>(s.contourLevel) * lanes::splat<Sample>(s.powerDrive);
    x = lookupTubeCurve(x);
    constexpr int dc = biquadIndex(kDcBlocker.filter);
    stepBiquad(k.biquads[dc], k.histories[dc], x);
}

} // namespace vorla
