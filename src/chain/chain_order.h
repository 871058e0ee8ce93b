// SPDX-License-Identifier: GPL-3.0-or-later
// chain_order.h - the order in which one oversampled sample passes the
// amplifier, written down once.
//
//   input stage      input gain, the input stage
//   before first     the voicing's elements up to its first stage
//   first stage
//   before second    the elements between its two stages
//   second stage
//   after second     the elements after its second stage
//   power section    tone stack, power-stage level, tube curve, DC blocker
//
// The same list drives the reference path (every segment on one sample,
// then the next sample: runChainInOrder) and the software-pipelined loop
// (chain/pipeline.h), where segment i works, in the iteration that brings
// sample u to the input stage, on sample u - lag of i.  The three triode
// stages are long chains of dependent arithmetic; with their lags apart
// they step in one iteration as lanes of one SIMD instruction stream, and
// everything else overlaps with them.  Every stage, filter and the tone
// stack keeps its own state and sees its own samples in order, so any lags
// give the bits of the reference path.
#pragma once

#include "chain/channel_lanes.h"

#include <array>
#include <cstddef>
#include <utility>

namespace vorla {

enum class Segment
{
    InputStage,
    BeforeFirst,
    FirstStage,
    BeforeSecond,
    SecondStage,
    AfterSecond,
    PowerSection,
};

struct SegmentStep
{
    Segment segment;
    int lag; // samples behind the input stage in the pipelined loop
};

/// The chain in order.  The lags measured best on Zen 3, Zen 4 and Zen 5
/// processors (larger ones gained nothing): a stage takes its sample one
/// iteration after the elements before it ran, whose input the previous
/// stage step made one iteration before; the tail runs two samples behind
/// the second stage, and the power section two behind the tail, so it finds
/// the shaper's exp results done.
inline constexpr std::array<SegmentStep, 7> kChainOrder = {{
    {Segment::InputStage, 0},
    {Segment::BeforeFirst, 1},
    {Segment::FirstStage, 2},
    {Segment::BeforeSecond, 3},
    {Segment::SecondStage, 4},
    {Segment::AfterSecond, 6},
    {Segment::PowerSection, 8},
}};

constexpr bool isStage(Segment s) noexcept
{
    return s == Segment::InputStage || s == Segment::FirstStage || s == Segment::SecondStage;
}

/// The lane slot of a stage segment: 0 input, 1 first, 2 second.
constexpr int stageSlot(Segment s) noexcept
{
    return s == Segment::InputStage ? 0 : s == Segment::FirstStage ? 1 : 2;
}
inline constexpr int kStageSlots = 3;

constexpr int lagOf(Segment s) noexcept
{
    for (const SegmentStep& step : kChainOrder)
        if (step.segment == s)
            return step.lag;
    return -1;
}

/// How far the last segment runs behind the input stage: the depth of the
/// pipeline, filled at the start of a run and drained at its end.
inline constexpr int kMaxLag = kChainOrder.back().lag;

static_assert(
    [] {
        for (std::size_t i = 1; i < kChainOrder.size(); ++i)
        {
            const SegmentStep& before = kChainOrder[i - 1];
            const SegmentStep& now = kChainOrder[i];
            // A segment after a stage must wait for the stage's step, which
            // ends its iteration: at least one iteration later.
            if (now.lag <= before.lag && (isStage(before.segment) || isStage(now.segment)))
                return false;
            if (now.lag < before.lag)
                return false;
        }
        return kChainOrder[0].lag == 0;
    }(),
    "each segment runs at least one iteration after the stage before it");

/// The stage record that segment S steps in voicing V.
template <Segment S, const VoicingPath& V> constexpr TriodeStage AmpChannel::*stageOf() noexcept
{
    if constexpr (S == Segment::InputStage)
        return kInputStage.stage;
    else if constexpr (S == Segment::FirstStage)
        return V.first.stage;
    else
        return V.second.stage;
}

/// An element segment (not a stage) on one sample, in voicing V.
template <Segment S, const VoicingPath& V, bool kInlineExp, class Sample>
VORLA_SEGMENT void runElementSegment(ChannelLanes<Sample>& k, Sample& x, const BlockSnapshot& s,
                                     const PairFlags& flags) noexcept
{
    static_assert(!isStage(S));
    if constexpr (S == Segment::BeforeFirst)
        runElements<V.beforeFirst, kInlineExp>(k, x, s, flags);
    else if constexpr (S == Segment::BeforeSecond)
        runElements<V.beforeSecond, kInlineExp>(k, x, s, flags);
    else if constexpr (S == Segment::AfterSecond)
        runElements<V.afterSecond, kInlineExp>(k, x, s, flags);
    else
        runPowerSection(k, x, s);
}

/// The same in the voicing the sample's flags select.
template <Segment S, bool kInlineExp, class Sample>
VORLA_SEGMENT void runElementSegment(ChannelLanes<Sample>& k, Sample& x, const BlockSnapshot& s,
                                     const PairFlags& flags) noexcept
{
    if constexpr (S == Segment::PowerSection)
        runPowerSection(k, x, s);
    else
        withVoicing(voicingIndex(flags), [&]<const VoicingPath & V>() VORLA_LAMBDA_INLINE {
            runElementSegment<S, V, kInlineExp>(k, x, s, flags);
        });
}

/// The reference path: sample x through every segment in order, each
/// stage stepped on its record(s).  `sides` are the one or two sides whose
/// filters `k` holds.
template <bool kInlineExp, class Sample>
VORLA_SEGMENT void runChainInOrder(ChannelLanes<Sample>& k, AmpChannel* const* sides, Sample& x,
                                   const BlockSnapshot& s, const PairFlags& flags,
                                   const double& rate) noexcept
{
    withVoicing(voicingIndex(flags), [&]<const VoicingPath & V>() VORLA_LAMBDA_INLINE {
        [&]<std::size_t... I>(std::index_sequence<I...>) VORLA_LAMBDA_INLINE
        {
            const auto run = [&]<Segment S>() VORLA_LAMBDA_INLINE {
                if constexpr (isStage(S))
                {
                    if constexpr (S == Segment::InputStage)
                        x = x * lanes::splat<Sample>(s.inputGain);
                    stepStageRecords(sides, stageOf<S, V>(), x, rate);
                }
                else
                {
                    runElementSegment<S, V, kInlineExp>(k, x, s, flags);
                }
            };
            (run.template operator()<kChainOrder[I].segment>(), ...);
        }
        (std::make_index_sequence<kChainOrder.size()>{});
    });
}

} // namespace vorla
