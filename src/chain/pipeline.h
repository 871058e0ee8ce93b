// SPDX-License-Identifier: GPL-3.0-or-later
// pipeline.h - the model over a span of oversampled samples, as one
// software-pipelined loop.
//
// Sample by sample, every triode stage would wait for the one before it.
// Here, in the iteration that brings sample u to the input stage, every
// segment of the chain (chain/chain_order.h) works on sample u - its lag:
// the three stages step on three samples at once, as lanes of one SIMD step
// (chain/stage_lanes.h), and the filters and the tails run in the shadow of
// that step.
//
// The loop fills the pipeline at the span's start and drains it at its end
// in the same iteration, where the segments that have no sample yet or any
// more are skipped and the stage lanes without a sample keep their state.
//
// When every pair of the span has the same switches (the normal case), the
// voicing is a compile-time constant of the loop and the stages are bound
// to the lanes once; otherwise each segment looks up the voicing of its
// sample and the stage lanes are rebound when a change reaches them.
//
// Exactness: every stage and filter keeps its own state and sees its own
// samples in order, and every lane gives the scalar bits, so the result is
// the bits of the reference path.
#pragma once

#include "chain/chain_order.h"
#include "chain/stage_lanes.h"

#include <cstdint>
#include <cstring>

namespace vorla::pipeline {

/// A run without a feed: its samples are all there from the start.
struct NoFeed
{
    template <class Sample> VORLA_LANE_INLINE void atIteration(int, Sample*) noexcept {}
};

/// The voicing is the same for every sample: V, with the switches `flags`.
template <const VoicingPath& V, bool kInlineExp> struct FixedVoicing
{
    PairFlags flags;

    template <Segment S, class Sample>
    VORLA_LANE_INLINE void run(ChannelLanes<Sample>& k, Sample& x, const BlockSnapshot& s,
                               int) const noexcept
    {
        runElementSegment<S, V, kInlineExp>(k, x, s, flags);
    }
    template <class Lanes>
    VORLA_LANE_INLINE void bindFor(Lanes&, AmpChannel* const*, int, int, int) noexcept
    {
    }
};

/// Each sample takes the voicing of its pair's switches.
template <bool kInlineExp> struct VoicingPerPair
{
    const PairFlags* flags; // of every pair of the span
    int bound1;             // voicing of the stage in the first-stage slot
    int bound2;             // and in the second-stage slot

    template <Segment S, class Sample>
    VORLA_LANE_INLINE void run(ChannelLanes<Sample>& k, Sample& x, const BlockSnapshot& s,
                               int sample) const noexcept
    {
        runElementSegment<S, kInlineExp>(k, x, s, flags[sample / 2]);
    }
    /// The first- and second-stage slots take samples f and g; a slot
    /// whose sample is not there (before 0, from `count` on) keeps its stage.
    template <class Lanes>
    VORLA_LANE_INLINE void bindFor(Lanes& stages, AmpChannel* const* sides, int f, int g,
                                   int count) noexcept
    {
        const int v1 = f >= 0 && f < count ? voicingIndex(flags[f / 2]) : bound1;
        const int v2 = g >= 0 && g < count ? voicingIndex(flags[g / 2]) : bound2;
        if (v1 == bound1 && v2 == bound2)
            return;
        // A voicing change reaches a stage: other stages take the lanes.
        stages.unbind();
        stages.bind(sides, v1, v2);
        bound1 = v1;
        bound2 = v2;
    }
};

template <class Layout, bool kInlineExp> class ModelRun
{
public:
    using Sample = typename Layout::SampleType;

    /// The samples x[0 .. count) (flags[u / 2] the switches of sample u)
    /// through the model of `sides` (one, or two in lock-step), in place.
    /// `filters` is work space for the sides' filters in lanes (kept off the
    /// stack: hosts may give the audio thread little).  A `feed` (if not
    /// null) is called before every iteration u as feed->atIteration(u, x):
    /// the resampler's steps run there, in the shadow of the stages, and
    /// reach the samples only through x.
    template <class Feed>
    VORLA_LANE_INLINE static void run(AmpChannel* const* sides, Sample* __restrict x, int count,
                                      const PairFlags* __restrict flags, const BlockSnapshot& s,
                                      double rate, ChannelLanes<Sample>& filters,
                                      Feed* feed) noexcept
    {
        ModelRun model(sides, s, rate, filters);
        model.all(x, count, flags, feed);
    }

private:
    VORLA_LANE_INLINE ModelRun(AmpChannel* const* runSides, const BlockSnapshot& snapshot,
                               double rate, ChannelLanes<Sample>& lanes) noexcept
        : sides(runSides), s(snapshot), stages(rate),
          inputGain(lanes::splat<Sample>(snapshot.inputGain)), filters(lanes)
    {
        filters.load(sides, s);
    }

    template <class Feed>
    VORLA_LANE_INLINE void all(Sample* __restrict x, int count, const PairFlags* __restrict flags,
                               Feed* feed) noexcept
    {
        bool same = true;
        for (int pair = 1; pair < count / 2; ++pair)
            same = same && std::memcmp(&flags[pair], &flags[0], sizeof(PairFlags)) == 0;
        const int v = voicingIndex(flags[0]);
        stages.bind(sides, v, v);
        if (same)
        {
            withVoicing(v, [&]<const VoicingPath & V>() VORLA_LAMBDA_INLINE {
                // The loop works on a copy of the bound lanes: a local whose
                // address never leaves the loop can stay in registers.
                typename Layout::Steps bound = stages;
                FixedVoicing<V, kInlineExp> path{flags[0]};
                loop(path, bound, x, count, feed);
                static_cast<typename Layout::Steps&>(stages) = bound;
            });
        }
        else
        {
            VoicingPerPair<kInlineExp> path{flags, v, v};
            loop(path, stages, x, count, feed);
        }
        stages.unbind();
        filters.storeStates(sides);
    }

    /// Iterations 0 .. count + kMaxLag - 1: filling, full, draining.
    template <class Path, class Lanes, class Feed>
    VORLA_LANE_INLINE void loop(Path& path, Lanes& lanes, Sample* __restrict x, int count,
                                Feed* feed) noexcept
    {
        const int end = count + kMaxLag;
        int u = 0;
        const auto feedAt = [&](int i) VORLA_LAMBDA_INLINE {
            if (feed)
                feed->atIteration(i, x);
        };
        for (; u < end && (u < kMaxLag || u >= count); ++u)
        {
            feedAt(u);
            iterate<true>(path, lanes, x, u, count);
        }
        for (; u < count; ++u)
        {
            feedAt(u);
            iterate<false>(path, lanes, x, u, count);
        }
        for (; u < end; ++u)
        {
            feedAt(u);
            iterate<true>(path, lanes, x, u, count);
        }
    }

    /// Iteration u.  kEdge: some segments have no sample (before 0, from
    /// `count` on) and are skipped.
    template <bool kEdge, class Path, class Lanes>
    VORLA_LANE_INLINE void iterate(Path& path, Lanes& lanes, Sample* __restrict x, int u,
                                   int count) noexcept
    {
        const auto has = [&](int lag) VORLA_LAMBDA_INLINE {
            return !kEdge || (u - lag >= 0 && u - lag < count);
        };
        // First the tail of an older sample (the segments after the last
        // stage: the shaper's exp has the most time to finish, and the power
        // section finds it done), then the segments between the stages,
        // whose inputs the previous steps made.
        constexpr int lastStage = lagOf(Segment::SecondStage);
        [&]<std::size_t... I>(std::index_sequence<I...>) VORLA_LAMBDA_INLINE
        {
            const auto segment = [&]<std::size_t J, bool kTail>() VORLA_LAMBDA_INLINE {
                constexpr SegmentStep step = kChainOrder[J];
                if constexpr (!isStage(step.segment) && (step.lag > lastStage) == kTail)
                    if (has(step.lag))
                        path.template run<step.segment>(filters, x[u - step.lag], s, u - step.lag);
            };
            (segment.template operator()<I, true>(), ...);
            (segment.template operator()<I, false>(), ...);
        }
        (std::make_index_sequence<kChainOrder.size()>{});

        // Then the stage step, the long chain of the iteration.
        constexpr int lag1 = lagOf(Segment::FirstStage);
        constexpr int lag2 = lagOf(Segment::SecondStage);
        path.bindFor(lanes, sides, u - lag1, u - lag2, count);
        if constexpr (kEdge)
        {
            const int slots = (has(0) ? 1 : 0) | (has(lag1) ? 2 : 0) | (has(lag2) ? 4 : 0);
            if (slots == 0)
                return;
            const Sample zero = lanes::splat<Sample>(0.0);
            Sample v[kStageSlots] = {(slots & 1) ? x[u] * inputGain : zero,
                                     (slots & 2) ? x[u - lag1] : zero,
                                     (slots & 4) ? x[u - lag2] : zero};
            lanes.stepSlots(v, slots);
            if (slots & 1)
                x[u] = v[0];
            if (slots & 2)
                x[u - lag1] = v[1];
            if (slots & 4)
                x[u - lag2] = v[2];
        }
        else
        {
            Sample v[kStageSlots] = {x[u] * inputGain, x[u - lag1], x[u - lag2]};
            lanes.step(v);
            x[u] = v[0];
            x[u - lag1] = v[1];
            x[u - lag2] = v[2];
        }
    }

    AmpChannel* const* sides;
    const BlockSnapshot& s;
    Layout stages;
    const Sample inputGain;
    ChannelLanes<Sample>& filters;
};

} // namespace vorla::pipeline
