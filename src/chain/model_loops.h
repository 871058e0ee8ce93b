// model_loops.h - the model over a chunk of oversampled samples,
// software-pipelined.
//
// One oversampled sample passes three triode stages in series (the input
// stage and the voicing's two), each a long chain of dependent arithmetic
// (square root, a rational curve with a division, the cathode feedback).
// Sample by sample, every stage would wait for the one before it.  Here the
// three stages work on three different samples at once: in the iteration
// for sample u the input stage takes u, the voicing's first stage the
// sample kFirstLag before it and the second stage the sample kSecondLag
// before it.  The three stage steps of an iteration are independent, so a
// lane layout steps them as lanes of one SIMD instruction stream.
//
// The processor overlaps an iteration's stage step (the one long chain)
// with everything else only as far as its instruction window reaches, so an
// iteration is ordered to keep little waiting in it: first the tail of an
// older sample (the voicing's elements after the second stage, kTailLag
// behind, with the shaper's exp calls; the power section kPowerDelay behind
// that, when the exp results are done), then the elements after the
// previous iteration's input and first stage (whose results are there by
// now), and last the stage step.
//
// Exactness: every stage, filter and the tone stack keeps its own state and
// still sees its own samples in order, and every lane gives the scalar bits
// (dsp/lanes.h), so the result is the bits of sample-by-sample processing.
//
// Lane layouts (the same loop serves all five):
//   MonoWide      one side, AVX: input, first and second stage in lanes 0-2
//                 of one 256-bit step (lane 3 repeats lane 0)
//   MonoNarrow    one side, SSE2: input and first stage in one 128-bit step,
//                 the second stage on a double
//   StereoWide    both sides, AVX: input and first stage of both sides in
//                 one 256-bit step, the second stages in one 128-bit step
//   StereoWide512 both sides, AVX-512: all six stages in one 512-bit step
//   StereoNarrow  both sides, SSE2: one 128-bit step per stage
// Only the *Wide layouts use AVX (StereoWide512 AVX-512); their callers are
// functions compiled for it, chosen when the effect found the processor has
// it.
#pragma once

#include "chain/voicing_graph.h"

#include <algorithm>
#include <cstring>

namespace vorla::loops {

/// How many samples the voicing's first stage, its second stage and the
/// tail run behind the input stage.  Any lags give the same bits; these
/// measured best on a Zen 4 (larger ones gained nothing).
inline constexpr int kFirstLag = 2;
inline constexpr int kSecondLag = 4;
inline constexpr int kTailLag = 6;
/// How many samples the power section runs behind the voicing's last
/// elements (so it finds the shaper's exp results done).
inline constexpr int kPowerDelay = 2;
static_assert(1 < kFirstLag && kFirstLag + 1 < kSecondLag && kSecondLag < kTailLag,
              "a stage takes its sample one iteration after the elements before it ran");

/// Stages stepped together in the lanes of one L: their coefficients and
/// states in lanes while bound, written back when unbound.  A lane without a
/// stage of its own repeats lane 0 (same input, same state, same bits) into
/// a spare record.
template <class L> struct StageGroup
{
    static constexpr int W = lanes::kWidth<L>;
    TriodeCoefficients<L> k;
    TriodeState<L> state;
    TriodeState<double>* records[W] = {};
    TriodeState<double> spare[W];

    // Binding and unbinding run once per chunk (or voicing change), out of
    // line: only bytes move, and their work space stays out of the loop's
    // stack frame.
    __attribute__((noinline)) void bind(TriodeStage* const* stages, int used) noexcept
    {
        const TriodeCoefficients<double>* coefficients[W];
        const TriodeState<double>* states[W];
        for (int i = 0; i < W; ++i)
        {
            TriodeStage* stage = i < used ? stages[i] : stages[0];
            coefficients[i] = stage;
            states[i] = stage;
            records[i] = i < used ? static_cast<TriodeState<double>*>(stage) : &spare[i];
        }
        k = gatherLanes<TriodeCoefficients, L>(coefficients);
        state = gatherLanes<TriodeState, L>(states);
    }

    __attribute__((noinline)) void unbind() noexcept
    {
        scatterLanes<TriodeState, L>(state, records);
    }

    VORLA_LANE_INLINE void step(L& x, L rate) noexcept { stepTriodeStage(k, state, x, rate); }
};

/// The three stages of an iteration: the input stage and the first and
/// second stage of the voicings of the samples they take.
struct StagesOf
{
    TriodeStage* input;
    TriodeStage* first;
    TriodeStage* second;

    static StagesOf of(AmpChannel& side, int firstVoicing, int secondVoicing) noexcept
    {
        return {&(side.*kInputStage.stage),
                &(side.*kVoicings[static_cast<std::size_t>(firstVoicing)]->first.stage),
                &(side.*kVoicings[static_cast<std::size_t>(secondVoicing)]->second.stage)};
    }
};

/// The six stages of an iteration of both sides, in the stereo layouts'
/// lane order: the inputs, the first stages, the second stages, each first
/// side then second side.
struct StagesOfBoth
{
    TriodeStage* stages[6];

    StagesOfBoth(AmpChannel* const* sides, int v1, int v2) noexcept
    {
        const StagesOf a = StagesOf::of(*sides[0], v1, v2);
        const StagesOf b = StagesOf::of(*sides[1], v1, v2);
        TriodeStage* const order[6] = {a.input, b.input, a.first, b.first, a.second, b.second};
        std::copy(order, order + 6, stages);
    }
    TriodeStage* const* inputs() noexcept { return stages; }
    TriodeStage* const* firsts() noexcept { return stages + 2; }
    TriodeStage* const* seconds() noexcept { return stages + 4; }
};

struct MonoWide
{
    using Sample = double;
    StageGroup<__m256d> group;
    __m256d rate;

    VORLA_AVX explicit MonoWide(double processRate) noexcept
        : rate(lanes::splat<__m256d>(processRate))
    {
    }

    VORLA_AVX void bind(AmpChannel* const* sides, int v1, int v2) noexcept
    {
        const StagesOf s = StagesOf::of(*sides[0], v1, v2);
        TriodeStage* stages[3] = {s.input, s.first, s.second};
        group.bind(stages, 3);
    }
    VORLA_AVX void unbind() noexcept { group.unbind(); }

    VORLA_AVX void step(double& in, double& first, double& second) noexcept
    {
        __m256d x = _mm256_setr_pd(in, first, second, in);
        group.step(x, rate);
        const __m128d low = _mm256_castpd256_pd128(x);
        in = _mm_cvtsd_f64(low);
        first = _mm_cvtsd_f64(_mm_unpackhi_pd(low, low));
        second = _mm_cvtsd_f64(_mm256_extractf128_pd(x, 1));
    }
};

struct MonoNarrow
{
    using Sample = double;
    StageGroup<__m128d> pair;
    StageGroup<double> single;
    __m128d rate;

    explicit MonoNarrow(double processRate) noexcept : rate(lanes::splat<__m128d>(processRate)) {}

    VORLA_LANE_INLINE void bind(AmpChannel* const* sides, int v1, int v2) noexcept
    {
        const StagesOf s = StagesOf::of(*sides[0], v1, v2);
        TriodeStage* both[2] = {s.input, s.first};
        pair.bind(both, 2);
        single.bind(&s.second, 1);
    }
    VORLA_LANE_INLINE void unbind() noexcept
    {
        pair.unbind();
        single.unbind();
    }

    VORLA_LANE_INLINE void step(double& in, double& first, double& second) noexcept
    {
        __m128d x = _mm_setr_pd(in, first);
        pair.step(x, rate);
        single.step(second, _mm_cvtsd_f64(rate));
        in = _mm_cvtsd_f64(x);
        first = _mm_cvtsd_f64(_mm_unpackhi_pd(x, x));
    }
};

struct StereoWide
{
    using Sample = __m128d; // lane 0 the first side, lane 1 the second
    StageGroup<__m256d> quad;
    StageGroup<__m128d> pair;
    __m256d rate;

    VORLA_AVX explicit StereoWide(double processRate) noexcept
        : rate(lanes::splat<__m256d>(processRate))
    {
    }

    VORLA_AVX void bind(AmpChannel* const* sides, int v1, int v2) noexcept
    {
        StagesOfBoth both(sides, v1, v2);
        quad.bind(both.inputs(), 4); // the inputs and the first stages
        pair.bind(both.seconds(), 2);
    }
    VORLA_AVX void unbind() noexcept
    {
        quad.unbind();
        pair.unbind();
    }

    VORLA_AVX void step(__m128d& in, __m128d& first, __m128d& second) noexcept
    {
        __m256d x = _mm256_insertf128_pd(_mm256_castpd128_pd256(in), first, 1);
        quad.step(x, rate);
        pair.step(second, _mm256_castpd256_pd128(rate));
        in = _mm256_castpd256_pd128(x);
        first = _mm256_extractf128_pd(x, 1);
    }
};

struct StereoWide512
{
    using Sample = __m128d; // lane 0 the first side, lane 1 the second
    StageGroup<__m512d> all;
    __m512d rate;

    VORLA_AVX512 explicit StereoWide512(double processRate) noexcept
        : rate(lanes::splat<__m512d>(processRate))
    {
    }

    VORLA_AVX512 void bind(AmpChannel* const* sides, int v1, int v2) noexcept
    {
        StagesOfBoth both(sides, v1, v2);
        all.bind(both.inputs(), 6);
    }
    VORLA_AVX512 void unbind() noexcept { all.unbind(); }

    VORLA_AVX512 void step(__m128d& in, __m128d& first, __m128d& second) noexcept
    {
        // Lanes 6 and 7 have no stage of their own; they take the input
        // stage's samples (finite, like lane 0's) and write a spare record.
        const __m256d low = _mm256_insertf128_pd(_mm256_castpd128_pd256(in), first, 1);
        const __m256d high = _mm256_insertf128_pd(_mm256_castpd128_pd256(second), in, 1);
        __m512d x = _mm512_insertf64x4(_mm512_castpd256_pd512(low), high, 1);
        all.step(x, rate);
        const __m256d lowOut = _mm512_castpd512_pd256(x);
        in = _mm256_castpd256_pd128(lowOut);
        first = _mm256_extractf128_pd(lowOut, 1);
        second = _mm256_castpd256_pd128(_mm512_extractf64x4_pd(x, 1));
    }
};

struct StereoNarrow
{
    using Sample = __m128d;
    StageGroup<__m128d> input, first, second;
    __m128d rate;

    explicit StereoNarrow(double processRate) noexcept : rate(lanes::splat<__m128d>(processRate)) {}

    VORLA_LANE_INLINE void bind(AmpChannel* const* sides, int v1, int v2) noexcept
    {
        StagesOfBoth both(sides, v1, v2);
        input.bind(both.inputs(), 2);
        first.bind(both.firsts(), 2);
        second.bind(both.seconds(), 2);
    }
    VORLA_LANE_INLINE void unbind() noexcept
    {
        input.unbind();
        first.unbind();
        second.unbind();
    }

    VORLA_LANE_INLINE void step(__m128d& in, __m128d& x1, __m128d& x2) noexcept
    {
        input.step(in, rate);
        first.step(x1, rate);
        second.step(x2, rate);
    }
};

/// How far the tails have come: the elements after the second stage have
/// run for samples 0 .. elements - 1, the power section for 0 .. power - 1.
struct TailCursor
{
    int elements = 0;
    int power = 0;
};

/// Which voicing each sample takes, when the switches may change from pair
/// to pair within the chunk: looked up per sample, and the stages in the
/// lanes rebound when a change reaches them.
struct VoicingPerPair
{
    const PairFlags* flags;
    int bound1 = -1;
    int bound2 = -1;

    VORLA_LANE_INLINE const PairFlags& of(int sample) const noexcept
    {
        return flags[static_cast<unsigned>(sample) / 2];
    }

    template <class Layout>
    VORLA_LANE_INLINE void bindFor(Layout& stages, AmpChannel* const* sides, int first,
                                   int second) noexcept
    {
        const int v1 = voicingIndex(of(first));
        const int v2 = voicingIndex(of(second));
        if (v1 == bound1 && v2 == bound2)
            return;
        // A voicing change reaches a stage: other stages take the lanes.
        if (bound1 >= 0)
            stages.unbind();
        stages.bind(sides, v1, v2);
        bound1 = v1;
        bound2 = v2;
    }

    template <class Sample>
    VORLA_LANE_INLINE void beforeFirst(ChannelLanes<Sample>& k, Sample& x, const BlockSnapshot& s,
                                       int sample) const noexcept
    {
        runBeforeFirst(k, x, s, of(sample));
    }
    template <class Sample>
    VORLA_LANE_INLINE void beforeSecond(ChannelLanes<Sample>& k, Sample& x, const BlockSnapshot& s,
                                        int sample) const noexcept
    {
        runBeforeSecond(k, x, s, of(sample));
    }
    /// The tails of the samples up to (not including) `limit`: the
    /// elements after the second stage, and kPowerDelay samples behind them
    /// the power section.
    template <class Sample>
    VORLA_LANE_INLINE void tails(ChannelLanes<Sample>& k, Sample* x, const BlockSnapshot& s,
                                 TailCursor& done, int limit) const noexcept
    {
        for (; done.elements < limit; ++done.elements)
            runAfterSecond(k, x[done.elements], s, of(done.elements));
        for (; done.power < limit - kPowerDelay; ++done.power)
            runPowerSection(k, x[done.power], s);
    }

    /// Every tail still missing up to sample `count`.
    template <class Sample>
    VORLA_LANE_INLINE void finishTails(ChannelLanes<Sample>& k, Sample* x, const BlockSnapshot& s,
                                       TailCursor& done, int count) const noexcept
    {
        tails(k, x, s, done, count);
        for (; done.power < count; ++done.power)
            runPowerSection(k, x[done.power], s);
    }
};

/// The common case: every pair of the chunk has the same switches, so the
/// voicing V is a compile-time constant of the loop and the stages are
/// bound once.
template <const VoicingPath& V, bool kInlineExp> struct OneVoicing
{
    PairFlags flags;
    bool bound = false;
    /// With kInlineExp a shaper first after the second stage takes the
    /// library's exp inline (shapeStage<true>), then the elements after it
    /// run.
    static constexpr bool kInlineShaper =
        kInlineExp && V.afterSecond[0].kind == Element::Kind::Shaper;
    static constexpr ElementList kAfterShaper = [] {
        ElementList rest = V.afterSecond;
        rest[0] = Element{};
        return rest;
    }();

    template <class Layout>
    VORLA_LANE_INLINE void bindFor(Layout& stages, AmpChannel* const* sides, int, int) noexcept
    {
        if (bound)
            return;
        const int v = voicingIndex(flags);
        stages.bind(sides, v, v);
        bound = true;
    }

    template <class Sample>
    VORLA_LANE_INLINE void beforeFirst(ChannelLanes<Sample>& k, Sample& x, const BlockSnapshot& s,
                                       int) const noexcept
    {
        runElements<V.beforeFirst>(k, x, s, flags);
    }
    template <class Sample>
    VORLA_LANE_INLINE void beforeSecond(ChannelLanes<Sample>& k, Sample& x, const BlockSnapshot& s,
                                        int) const noexcept
    {
        runElements<V.beforeSecond>(k, x, s, flags);
    }
    template <class Sample>
    VORLA_LANE_INLINE void tails(ChannelLanes<Sample>& k, Sample* x, const BlockSnapshot& s,
                                 TailCursor& done, int limit) const noexcept
    {
        // The loop's limit grows by one per iteration: at most one of each.
        if (done.elements < limit)
        {
            if constexpr (kInlineShaper)
            {
                x[done.elements] = shapeStage<true>(x[done.elements]);
                runElements<kAfterShaper>(k, x[done.elements], s, flags);
            }
            else
            {
                runElements<V.afterSecond>(k, x[done.elements], s, flags);
            }
            ++done.elements;
        }
        if (done.power < limit - kPowerDelay)
        {
            runPowerSection(k, x[done.power], s);
            ++done.power;
        }
    }
};

/// The iterations u = kSecondLag .. count - 1, where all three stages have a
/// sample: the three stage steps in the lanes of `stages`, the elements
/// between them as `path` says.
template <class Layout, class Path>
VORLA_LANE_INLINE void
runFullIterations(Layout& stages, Path& path, ChannelLanes<typename Layout::Sample>& k,
                  AmpChannel* const* sides, typename Layout::Sample* __restrict x, int count,
                  const BlockSnapshot& s, TailCursor& tailsDone) noexcept
{
    using Sample = typename Layout::Sample;
    const Sample inputGain = lanes::splat<Sample>(s.inputGain);
    // The elements after the input stage and after the first stage of an
    // iteration's samples run at the start of the next iteration, when the
    // step's results are (nearly) there, rather than waiting for them in
    // the processor's queues behind the step.
    Sample pendingIn{};
    Sample pendingFirst{};
    for (int u = kSecondLag; u < count; ++u)
    {
        const int f = u - kFirstLag;
        const int g = u - kSecondLag;
        path.bindFor(stages, sides, f, g);
        path.tails(k, x, s, tailsDone, u - kTailLag + 1);
        if (u > kSecondLag)
        {
            path.beforeFirst(k, pendingIn, s, u - 1);
            path.beforeSecond(k, pendingFirst, s, f - 1);
            x[u - 1] = pendingIn;
            x[f - 1] = pendingFirst;
        }
        Sample in = x[u] * inputGain;
        Sample first = x[f];
        Sample second = x[g];
        stages.step(in, first, second);
        pendingIn = in;
        pendingFirst = first;
        x[g] = second;
    }
    stages.unbind();
    if (count > kSecondLag)
    {
        path.beforeFirst(k, pendingIn, s, count - 1);
        path.beforeSecond(k, pendingFirst, s, count - 1 - kFirstLag);
        x[count - 1] = pendingIn;
        x[count - 1 - kFirstLag] = pendingFirst;
    }
}

/// Iteration u outside the lane layout, at the edges of the chunk where not
/// all three stages have a sample: each stage steps on its records.  A
/// function of its own (a handful of calls per chunk), so its work space
/// does not add to the loop's stack frame.
template <class Sample>
__attribute__((noinline)) void runEdgeIteration(ChannelLanes<Sample>& k, AmpChannel* const* sides,
                                                Sample* x, int u, int count, const PairFlags* flags,
                                                const BlockSnapshot& s, const double& rate) noexcept
{
    const auto voicingOf = [flags](int sample) { return voicingIndex(flags[sample / 2]); };
    if (u < count)
    {
        x[u] = x[u] * lanes::splat<Sample>(s.inputGain);
        stepStageRecords(sides, kInputStage.stage, x[u], rate);
        runBeforeFirst(k, x[u], s, flags[u / 2]);
    }
    const int f = u - kFirstLag;
    if (f >= 0 && f < count)
    {
        const auto stage = kVoicings[static_cast<std::size_t>(voicingOf(f))]->first.stage;
        stepStageRecords(sides, stage, x[f], rate);
        runBeforeSecond(k, x[f], s, flags[f / 2]);
    }
    const int g = u - kSecondLag;
    if (g >= 0 && g < count)
        stepStageRecords(sides, kVoicings[static_cast<std::size_t>(voicingOf(g))]->second.stage,
                         x[g], rate);
}

/// The samples x[0 .. count) (flags[u / 2] belong to sample u) through the
/// model of `sides` (one, or two in lock-step), with the lane layout
/// `stages`.  `k` holds the sides' filters in lanes.  With kInlineExp the
/// shaper takes the library's exp inline (callers compiled for FMA only).
template <bool kInlineExp, class Layout>
VORLA_LANE_INLINE void runModel(Layout& stages, ChannelLanes<typename Layout::Sample>& k,
                                AmpChannel* const* sides, typename Layout::Sample* __restrict x,
                                int count, const PairFlags* __restrict flags,
                                const BlockSnapshot& s, const double& rate) noexcept
{
    const auto edge = [&](int u) { runEdgeIteration(k, sides, x, u, count, flags, s, rate); };

    // The tails (the elements after the second stage and the power section)
    // of samples 0 .. tailsDone - 1 have run; any sample whose second stage
    // has run may take its tail.
    TailCursor tailsDone;
    for (int u = 0; u < std::min(kSecondLag, count); ++u)
        edge(u);
    if (count > kSecondLag)
    {
        bool sameSwitches = true;
        for (int pair = 1; pair < count / 2; ++pair)
            sameSwitches =
                sameSwitches && std::memcmp(&flags[pair], &flags[0], sizeof(PairFlags)) == 0;
        if (sameSwitches)
        {
            const int v = voicingIndex(flags[0]);
            stages.bind(sides, v, v);
            // The loop works on a copy of the bound lanes: a local whose
            // address never leaves the loop can stay in registers.
            Layout bound = stages;
            withVoicing(v, [&]<const VoicingPath & V>() {
                OneVoicing<V, kInlineExp> path{flags[0], true};
                runFullIterations(bound, path, k, sides, x, count, s, tailsDone);
            });
        }
        else
        {
            VoicingPerPair path{flags};
            runFullIterations(stages, path, k, sides, x, count, s, tailsDone);
        }
    }
    for (int u = std::max(count, kSecondLag); u < count + kSecondLag; ++u)
        edge(u);
    VoicingPerPair{flags}.finishTails(k, x, s, tailsDone, count);
}

} // namespace vorla::loops
