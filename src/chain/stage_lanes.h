// SPDX-License-Identifier: GPL-3.0-or-later
// stage_lanes.h - the three triode stages of a pipelined iteration (of one
// side, or of both) stepped as lanes of SIMD registers.
//
// An iteration steps three stage slots - the input stage, the voicing's
// first and second stage - each on its own sample.  In stereo each slot
// holds both sides.  Laid out flat, slot by slot and side by side within a
// slot, those stages fill the lanes of one or more registers (the groups),
// as wide as the processor allows:
//
//   mono, SSE2      __m128d (input, first), double (second)
//   mono, AVX       __m256d (input, first, second, spare)
//   stereo, SSE2    __m128d (input), __m128d (first), __m128d (second)
//   stereo, AVX     __m256d (inputs, firsts), __m128d (seconds)
//   stereo, AVX-512 __m512d (inputs, firsts, seconds, spare, spare)
//
// A spare lane repeats a stage of its own into a spare record (the lane
// that many places before it: same input, same state, same bits).  Every
// lane gives the bits of the one-stage step (dsp/lanes.h), so a layout is
// only a matter of speed.
//
// Binding gathers the stages' coefficients and states into the lanes and
// unbinding writes the states back; both run once per run of samples (or
// voicing change) and move only bytes.
#pragma once

#include "chain/chain_order.h"
#include "dsp/lanes.h"
#include "dsp/triode_stage.h"

#include <cstddef>
#include <memory>
#include <tuple>
#include <utility>

namespace vorla {

/// Stages stepped together in the lanes of one L: their coefficients and
/// states, and the processing rate.
template <class L> struct StageGroup
{
    static constexpr int W = lanes::kWidth<L>;

    // Nothing is set on construction: binding creates both from the
    // stages' records before a step reads them, and clearing a kilobyte at
    // the start of every run is measurable at small blocks.
    StageGroup() noexcept {}
    union
    {
        TriodeCoefficients<L> k;
    };
    union
    {
        TriodeState<L> state;
    };
    L rate;

    VORLA_LANE_INLINE void step(L& x) noexcept { stepTriodeStage(k, state, x, rate); }

    /// A step in which only the lanes of `active` have a sample: the others
    /// keep their state.
    VORLA_LANE_INLINE void stepActive(L& x, lanes::Mask<L> active) noexcept
    {
        const TriodeState<L> before = state;
        stepTriodeStage(k, state, x, rate);
        state = selectLanes<TriodeState, L>(active, state, before);
    }
};

namespace stagelanes {

// Packing a group's lanes from the slots' samples and back.  Sample is
// double (one side: flat lane j is slot j) or __m128d (two sides: flat lane
// j is side j % 2 of slot j / 2); a group starts at flat lane `first`.
// Spare flat lanes (past the last slot) repeat lanes from the start.

VORLA_LANE_INLINE void pack(double& g, const double* x, int first) noexcept
{
    g = x[first % kStageSlots];
}
VORLA_LANE_INLINE void pack(__m128d& g, const double* x, int first) noexcept
{
    g = _mm_setr_pd(x[first % kStageSlots], x[(first + 1) % kStageSlots]);
}
VORLA_AVX inline void pack(__m256d& g, const double* x, int first) noexcept
{
    g = _mm256_setr_pd(x[first % kStageSlots], x[(first + 1) % kStageSlots],
                       x[(first + 2) % kStageSlots], x[(first + 3) % kStageSlots]);
}
VORLA_LANE_INLINE void pack(__m128d& g, const __m128d* x, int first) noexcept
{
    g = x[(first / 2) % kStageSlots];
}
VORLA_AVX inline void pack(__m256d& g, const __m128d* x, int first) noexcept
{
    g = _mm256_insertf128_pd(_mm256_castpd128_pd256(x[(first / 2) % kStageSlots]),
                             x[(first / 2 + 1) % kStageSlots], 1);
}
VORLA_AVX512 inline void pack(__m512d& g, const __m128d* x, int first) noexcept
{
    const int s = first / 2;
    const __m256d low = _mm256_insertf128_pd(_mm256_castpd128_pd256(x[s % kStageSlots]),
                                             x[(s + 1) % kStageSlots], 1);
    const __m256d high = _mm256_insertf128_pd(_mm256_castpd128_pd256(x[(s + 2) % kStageSlots]),
                                              x[(s + 3) % kStageSlots], 1);
    g = _mm512_insertf64x4(_mm512_castpd256_pd512(low), high, 1);
}

// Unpacking writes only the slots' own lanes, never a spare.

VORLA_LANE_INLINE void unpack(double g, double* x, int first) noexcept
{
    x[first] = g;
}
VORLA_LANE_INLINE void unpack(__m128d g, double* x, int first) noexcept
{
    x[first] = _mm_cvtsd_f64(g);
    if (first + 1 < kStageSlots)
        x[first + 1] = _mm_cvtsd_f64(_mm_unpackhi_pd(g, g));
}
VORLA_AVX inline void unpack(__m256d g, double* x, int first) noexcept
{
    unpack(_mm256_castpd256_pd128(g), x, first);
    if (first + 2 < kStageSlots)
        unpack(_mm256_extractf128_pd(g, 1), x, first + 2);
}
VORLA_LANE_INLINE void unpack(__m128d g, __m128d* x, int first) noexcept
{
    x[first / 2] = g;
}
VORLA_AVX inline void unpack(__m256d g, __m128d* x, int first) noexcept
{
    x[first / 2] = _mm256_castpd256_pd128(g);
    if (first / 2 + 1 < kStageSlots)
        x[first / 2 + 1] = _mm256_extractf128_pd(g, 1);
}
VORLA_AVX512 inline void unpack(__m512d g, __m128d* x, int first) noexcept
{
    unpack(_mm512_castpd512_pd256(g), x, first);
    if (first / 2 + 2 < kStageSlots)
        unpack(_mm512_extractf64x4_pd(g, 1), x, first + 4);
}

} // namespace stagelanes

/// The steps of the three stage slots of an iteration in lane groups
/// Groups... (see the table at the top).  Sample is the sample type of the
/// chain: double for one side, __m128d for both.  A plain value: a loop may
/// work on a copy, which the compiler can keep in registers.
template <class Sample, class... Groups> struct StageSteps
{
    using SampleType = Sample;
    static constexpr int kSides = lanes::kWidth<Sample>;
    static constexpr int kLanes = kSides * kStageSlots;
    static constexpr int kWidths[] = {lanes::kWidth<Groups>...};
    static constexpr int kGroups = sizeof...(Groups);

    /// Flat lane where group g starts.
    static constexpr int firstLane(int g) noexcept
    {
        int lane = 0;
        for (int i = 0; i < g; ++i)
            lane += kWidths[i];
        return lane;
    }
    static constexpr int kAllLanes = firstLane(kGroups);
    static_assert(kAllLanes >= kLanes, "the groups hold every slot's stages");

    std::tuple<StageGroup<Groups>...> groups;

    /// Steps every slot: x[slot] in, the stage's output out.
    VORLA_LANE_INLINE void step(Sample (&x)[kStageSlots]) noexcept
    {
        forEachGroup([&]<std::size_t G>(auto& group) VORLA_LAMBDA_INLINE {
            std::tuple_element_t<G, std::tuple<Groups...>> lanesOf;
            stagelanes::pack(lanesOf, x, firstLane(G));
            group.step(lanesOf);
            stagelanes::unpack(lanesOf, x, firstLane(G));
        });
    }

    /// Steps only the slots whose bit is set in `slots` (bit 0 the input
    /// stage); the others keep their state and their x.
    VORLA_LANE_INLINE void stepSlots(Sample (&x)[kStageSlots], int slots) noexcept
    {
        forEachGroup([&]<std::size_t G>(auto& group) VORLA_LAMBDA_INLINE {
            using L = std::tuple_element_t<G, std::tuple<Groups...>>;
            int bits = 0;
            for (int i = 0; i < lanes::kWidth<L>; ++i)
            {
                const int lane = firstLane(G) + i;
                if (lane < kLanes && (slots & (1 << (lane / kSides))) != 0)
                    bits |= 1 << i;
            }
            if (bits == 0)
                return;
            Sample kept[kStageSlots] = {x[0], x[1], x[2]};
            L lanesOf;
            stagelanes::pack(lanesOf, x, firstLane(G));
            group.stepActive(lanesOf, lanes::laneMask<L>(bits));
            stagelanes::unpack(lanesOf, x, firstLane(G));
            for (int slot = 0; slot < kStageSlots; ++slot)
                if ((slots & (1 << slot)) == 0)
                    x[slot] = kept[slot];
        });
    }

protected:
    template <class F> VORLA_LANE_INLINE void forEachGroup(F&& f) noexcept
    {
        [&]<std::size_t... G>(std::index_sequence<G...>) VORLA_LAMBDA_INLINE
        {
            (f.template operator()<G>(std::get<G>(groups)), ...);
        }
        (std::make_index_sequence<kGroups>{});
    }
};

/// StageSteps bound to stage records: binding gathers the stages'
/// coefficients and states into the lanes, unbinding writes the states
/// back.  A lane without a stage of its own writes a spare record.
template <class Sample, class... Groups> struct StageLanes : StageSteps<Sample, Groups...>
{
    using Steps = StageSteps<Sample, Groups...>;
    using Steps::firstLane;
    using Steps::kAllLanes;
    using Steps::kLanes;
    using Steps::kSides;

    VORLA_LANE_INLINE explicit StageLanes(double processRate) noexcept
    {
        this->forEachGroup([&]<std::size_t G>(auto& group) VORLA_LAMBDA_INLINE {
            group.rate = lanes::splat<std::tuple_element_t<G, std::tuple<Groups...>>>(processRate);
        });
    }

    /// Binds slot 0 to the input stage, slots 1 and 2 to the first and
    /// second stage of voicings `first` and `second`, of each side.  Out of
    /// line: only bytes move, and their work space stays out of the loop's
    /// stack frame.
    __attribute__((noinline)) void bind(AmpChannel* const* sides, int first, int second) noexcept
    {
        TriodeStage* flat[kLanes];
        for (int side = 0; side < kSides; ++side)
        {
            AmpChannel& c = *sides[side];
            flat[0 * kSides + side] = &(c.*kInputStage.stage);
            flat[1 * kSides + side] = &(c.*kVoicings[static_cast<std::size_t>(first)]->first.stage);
            flat[2 * kSides + side] =
                &(c.*kVoicings[static_cast<std::size_t>(second)]->second.stage);
        }
        for (int lane = 0; lane < kAllLanes; ++lane)
            records[lane] = lane < kLanes ? static_cast<TriodeState<double>*>(flat[lane])
                                          : std::construct_at(&spare[lane]);
        this->forEachGroup([&]<std::size_t G>(auto& group) VORLA_LAMBDA_INLINE {
            using L = std::tuple_element_t<G, std::tuple<Groups...>>;
            constexpr int W = lanes::kWidth<L>;
            const TriodeCoefficients<double>* coefficients[W];
            const TriodeState<double>* states[W];
            for (int i = 0; i < W; ++i)
            {
                TriodeStage* stage = flat[(firstLane(G) + i) % kLanes];
                coefficients[i] = stage;
                states[i] = stage;
            }
            std::construct_at(&group.k, gatherLanes<TriodeCoefficients, L>(coefficients));
            std::construct_at(&group.state, gatherLanes<TriodeState, L>(states));
        });
    }

    __attribute__((noinline)) void unbind() noexcept
    {
        this->forEachGroup([&]<std::size_t G>(auto& group) VORLA_LAMBDA_INLINE {
            using L = std::tuple_element_t<G, std::tuple<Groups...>>;
            scatterLanes<TriodeState, L>(group.state, records + firstLane(G));
        });
    }

private:
    // Set by bind (see StageGroup); a spare record is created there too.
    TriodeState<double>* records[kAllLanes];
    union
    {
        TriodeState<double> spare[kAllLanes];
    };
};

} // namespace vorla
