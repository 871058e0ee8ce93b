// SPDX-License-Identifier: GPL-3.0-or-later
// A span through the amplifier: in, the model on the lane layout the
// processor allows with the resampler stepping in its loop
// (chain/fused_resampler.h), out.
//
// The model runs are compiled for each lane layout (chain/stage_lanes.h).
// The AVX runs are compiled for 256-bit registers as a whole (flatten folds
// every step into them, so no lane operation stays a call).  Each has a
// twin compiled for FMA as well, which the amplifier runs when the C
// library's exp is the fused form (fusedExpMatchesLibrary): its shaper
// takes that exp inline.  The build never contracts, so FMA instructions
// appear only where the exp asks for them.
#include "chain/block_process.h"

#include "chain/chain_order.h"
#include "chain/pipeline.h"
#include "chain/stage_lanes.h"

namespace vorla {

namespace {

#define VORLA_AVX_FMA __attribute__((target("avx,fma")))
#define VORLA_AVX512_FMA __attribute__((target("avx512f,avx512vl,fma")))
#define VORLA_MODEL __attribute__((flatten)) void

// The lane layouts, by processor.
using MonoSse2 = StageLanes<double, __m128d, double>;
using MonoAvx = StageLanes<double, __m256d>;
using StereoSse2 = StageLanes<__m128d, __m128d, __m128d, __m128d>;
using StereoAvx = StageLanes<__m128d, __m256d, __m128d>;
using StereoAvx512 = StageLanes<__m128d, __m512d>;

// The runs step the resampler in their loop (feed) where one is given.
template <class Sample>
using FeedOf = std::conditional_t<std::is_same_v<Sample, double>, MonoFeed, StereoFeed>;

template <class Sample>
using ModelFunction = void (*)(AmpChannel* const*, Sample*, int, const PairFlags*,
                               const BlockSnapshot&, double, ChannelLanes<Sample>&,
                               FeedOf<Sample>*) noexcept;

#define VORLA_MODEL_RUN_FED(name, target, Layout, inlineExp, feedOfRun)                            \
    target VORLA_MODEL name(AmpChannel* const* sides, Layout::SampleType* x, int count,            \
                            const PairFlags* flags, const BlockSnapshot& s, double rate,           \
                            ChannelLanes<Layout::SampleType>& filters,                             \
                            [[maybe_unused]] FeedOf<Layout::SampleType>* feed) noexcept            \
    {                                                                                              \
        pipeline::ModelRun<Layout, inlineExp>::run(sides, x, count, flags, s, rate, filters,       \
                                                   feedOfRun);                                     \
    }
#define VORLA_MODEL_RUN(name, target, Layout, inlineExp)                                           \
    VORLA_MODEL_RUN_FED(name, target, Layout, inlineExp, feed)

VORLA_MODEL_RUN(monoSse2, , MonoSse2, false)
VORLA_MODEL_RUN(monoAvx, VORLA_AVX, MonoAvx, false)
VORLA_MODEL_RUN(monoAvxFma, VORLA_AVX_FMA, MonoAvx, true)
// Both sides' resampler takes AVX registers: on SSE2 it runs on its own,
// before and after the model.
VORLA_MODEL_RUN_FED(stereoSse2, , StereoSse2, false, static_cast<pipeline::NoFeed*>(nullptr))
VORLA_MODEL_RUN(stereoAvx, VORLA_AVX, StereoAvx, false)
VORLA_MODEL_RUN(stereoAvxFma, VORLA_AVX_FMA, StereoAvx, true)
// AVX-512: stereo's six stages of both sides in one 512-bit step; mono's
// three stages fit one AVX step, compiled for AVX-512 VL all the same for
// its 32 registers, which hold what 16 cannot (the loop spills less).
VORLA_MODEL_RUN(monoAvx512, VORLA_AVX512, MonoAvx, false)
VORLA_MODEL_RUN(monoAvx512Fma, VORLA_AVX512_FMA, MonoAvx, true)
VORLA_MODEL_RUN(stereoAvx512, VORLA_AVX512, StereoAvx512, false)
VORLA_MODEL_RUN(stereoAvx512Fma, VORLA_AVX512_FMA, StereoAvx512, true)
// The same instructions and registers, stereo's stages in the AVX layout:
// on cores whose 512-bit division and square root take half again as long
// as the 256-bit ones, the one long step can lose to the two shorter ones.
VORLA_MODEL_RUN(stereoAvxOn512, VORLA_AVX512, StereoAvx, false)
VORLA_MODEL_RUN(stereoAvxOn512Fma, VORLA_AVX512_FMA, StereoAvx, true)

// The run of each lane set (LaneSet order), with the library's exp called
// and inline.  SSE2 processors have no FMA, so their runs always call it.
// Both AVX-512 sets run the same mono code (hasMonoCodeOfItsOwn).
constexpr ModelFunction<double> kMonoRuns[4][2] = {
    {monoSse2, monoSse2},
    {monoAvx, monoAvxFma},
    {monoAvx512, monoAvx512Fma},
    {monoAvx512, monoAvx512Fma},
};
constexpr ModelFunction<__m128d> kStereoRuns[4][2] = {
    {stereoSse2, stereoSse2},
    {stereoAvx, stereoAvxFma},
    {stereoAvx512, stereoAvx512Fma},
    {stereoAvxOn512, stereoAvxOn512Fma},
};
static_assert(static_cast<int>(LaneSet::Sse2) == 0 && static_cast<int>(LaneSet::Avx) == 1 &&
              static_cast<int>(LaneSet::Avx512) == 2 &&
              static_cast<int>(LaneSet::Avx512Narrow) == 3);

/// The span's model samples through the model with the resampler stepping
/// in its loop: `model` the sides' samples, `cascade` the pairs' lanes.
template <int kSides, class Sample>
VORLA_RESAMPLE void modelSpanFed(const HostBlock& block, int n, const ModelCode& code,
                                 SpanBuffers& b, PairedCascade<kSides>& cascade,
                                 Sample* model) noexcept
{
    const int count = n * block.factor;
    FusedResampler<kSpanFrames, kSides> resampler(block.sides, block.factor, n, b.frames, cascade,
                                                  model);
    resampler.start();
    if constexpr (kSides == 2)
        runModel(*block.sides[0], *block.sides[1], model, count, b.flags, *block.snapshot,
                 block.rate, code, b, &resampler);
    else
        runModel(*block.sides[0], model, count, b.flags, *block.snapshot, block.rate, code, b,
                 &resampler);
    resampler.finish();
}

/// Both sides' pairs take AVX registers.
VORLA_AVX void modelBothSidesFed(const HostBlock& block, int n, const ModelCode& code,
                                 SpanBuffers& b) noexcept
{
    modelSpanFed<2>(block, n, code, b, b.stereoCascade, b.stereoModel);
}

/// One side (kSides 1) or both (2): the span's host frames (already in
/// buffers.frames.host, and the pairs' switches in buffers.flags) through
/// the whole amplifier, back into the host frames.
template <int kSides>
void modelSpan(const HostBlock& block, int n, const ModelCode& code, SpanBuffers& b) noexcept
{
    if constexpr (kSides == 2)
    {
        if (code.stereo != LaneSet::Sse2)
            return modelBothSidesFed(block, n, code, b);
        // Without AVX: the resampler's runs before and after the model.
        const int factor = block.factor;
        upsampleSpan<kSides>(block.sides, factor, n, b.frames, b.stereoModel);
        runModel(*block.sides[0], *block.sides[1], b.stereoModel, n * factor, b.flags,
                 *block.snapshot, block.rate, code, b);
        downsampleSpan<kSides>(block.sides, factor, n, b.frames, b.stereoModel);
    }
    else
    {
        modelSpanFed<1>(block, n, code, b, b.monoCascade, b.monoModel);
    }
}

} // namespace

void runModel(AmpChannel& side, double* x, int count, const PairFlags* flags,
              const BlockSnapshot& snapshot, double rate, const ModelCode& code,
              SpanBuffers& buffers, MonoFeed* feed) noexcept
{
    AmpChannel* sides[1] = {&side};
    kMonoRuns[static_cast<int>(code.mono)][code.inlineExp ? 1 : 0](sides, x, count, flags, snapshot,
                                                                   rate, buffers.monoFilters, feed);
}

void runModel(AmpChannel& first, AmpChannel& second, __m128d* x, int count, const PairFlags* flags,
              const BlockSnapshot& snapshot, double rate, const ModelCode& code,
              SpanBuffers& buffers, StereoFeed* feed) noexcept
{
    AmpChannel* sides[2] = {&first, &second};
    kStereoRuns[static_cast<int>(code.stereo)][code.inlineExp ? 1 : 0](
        sides, x, count, flags, snapshot, rate, buffers.stereoFilters, feed);
}

int32_t processSpan(const HostBlock& block, int32_t start, const ModelCode& code, SpanBuffers& b,
                    bool& stereo) noexcept
{
    constexpr std::memory_order relaxed = std::memory_order_relaxed;
    const SwitchFlags& switches = *block.switches;
    const int32_t stereoFlag = switches.stereoOn.load(relaxed);
    stereo = stereoFlag == 1;
    const int pairsPerFrame = block.factor / 2;

    // In: the host samples (the phase of the anti-denormal sine restarts
    // with every block and runs backwards in it), and the switches of every
    // pair.
    int n = 0;
    for (; n < kSpanFrames && start + n < block.frames; ++n)
    {
        if (n > 0 && switches.stereoOn.load(relaxed) != stereoFlag)
            break;
        const int32_t i = start + n;
        const double antiDenormal = block.antiDenormal->at(block.frames - 1 - i);
        const float x1 = enterSample(block.in[0][i], antiDenormal);
        const float x2 = stereo ? enterSample(block.in[1][i], antiDenormal) : 0.0f;
        b.frames.host[n] = _mm_setr_ps(x1, x2, 0.0f, 0.0f);
        const PairFlags flags = readPairFlags(switches);
        for (int pair = 0; pair < pairsPerFrame; ++pair)
            b.flags[n * pairsPerFrame + pair] = flags;
    }

    if (stereo)
        modelSpan<2>(block, n, code, b);
    else
        modelSpan<1>(block, n, code, b);

    // Out, with the output level (Volume read at every host sample).
    for (int h = 0; h < n; ++h)
    {
        const int32_t i = start + h;
        const __m128 y = b.frames.host[h];
        const float left = outputLevel(_mm_cvtss_f32(y), *block.volume);
        block.out[0][i] = left;
        if (stereo)
            block.out[1][i] = outputLevel(_mm_cvtss_f32(_mm_shuffle_ps(y, y, 1)), *block.volume);
        else if (stereoFlag == 0)
            block.out[1][i] = left; // mono: the same value on both outputs
        // (A switch value other than 0 or 1 cannot be stored; output 2 is
        // then left alone.)
    }
    return start + n;
}

void processPair(AmpChannel& channel, double& a, double& b, const BlockSnapshot& s,
                 const PairFlags& flags, const double& rate) noexcept
{
    AmpChannel* sides[1] = {&channel};
    ChannelLanes<double> filters;
    filters.load(sides, s);
    for (double* x : {&a, &b})
        runChainInOrder<false>(filters, sides, *x, s, flags, rate);
    filters.storeStates(sides);
}

} // namespace vorla
