// One chunk of host samples through the amplifier: up-sampling, the model
// over every oversampled sample (chain/model_loops.h) and down-sampling
// (chain/resample.h), with the lane layout the processor allows.
#include "chain/chunk_process.h"

#include "chain/model_loops.h"
#include "chain/resample.h"
#include "chain/voicing_graph.h"

namespace vorla {

namespace {

/// The three phases of a chunk on the lane layout `Layout`, with the
/// shaper's exp inline when kInlineExp (chain/model_loops.h).
template <bool kInlineExp = false, class Layout>
VORLA_LANE_INLINE void processChunk(Layout& layout, AmpChannel* const* sides, int factor,
                                    int frames, ChunkBuffers& b, const BlockSnapshot& snapshot,
                                    const double& rate) noexcept
{
    using Sample = typename Layout::Sample;
    constexpr bool stereo = lanes::kWidth<Sample> == 2;
    AmpChannel& first = *sides[0];
    AmpChannel& second = *sides[stereo ? 1 : 0];
    const int count = resample::upsampleChunk(first, second, stereo, factor, frames, b);
    ChannelLanes<Sample>* lanes;
    Sample* x;
    if constexpr (stereo)
    {
        lanes = &b.stereoFilters;
        x = b.stereoModel;
    }
    else
    {
        lanes = &b.monoFilters;
        x = b.monoModel;
    }
    ChannelLanes<Sample>& filters = *lanes;
    filters.load(sides, snapshot);
    loops::runModel<kInlineExp>(layout, filters, sides, x, count, b.flags, snapshot, rate);
    filters.storeStates(sides);
    resample::downsampleChunk(first, second, stereo, factor, frames, b);
}

// The AVX chunks are compiled for 256-bit registers as a whole (flatten
// folds every step into them, so no lane operation stays a call).  Each has
// a twin compiled for FMA as well, which the effect runs when the C
// library's exp is the fused form (fusedExpMatchesLibrary): its shaper
// takes that exp inline.  The build never contracts, so FMA instructions
// appear only where the exp asks for them.

#define VORLA_AVX_FMA __attribute__((target("avx,fma")))
#define VORLA_AVX512_FMA __attribute__((target("avx512f,avx512vl,fma")))

template <bool kInlineExp>
VORLA_LANE_INLINE void monoChunkWide(AmpChannel& side, int factor, int frames, ChunkBuffers& b,
                                     const BlockSnapshot& snapshot, const double& rate) noexcept
{
    AmpChannel* sides[1] = {&side};
    loops::MonoWide layout(rate);
    processChunk<kInlineExp>(layout, sides, factor, frames, b, snapshot, rate);
}

template <bool kInlineExp, class Layout = loops::StereoWide>
VORLA_LANE_INLINE void stereoChunkWide(AmpChannel& first, AmpChannel& second, int factor,
                                       int frames, ChunkBuffers& b, const BlockSnapshot& snapshot,
                                       const double& rate) noexcept
{
    AmpChannel* sides[2] = {&first, &second};
    Layout layout(rate);
    processChunk<kInlineExp>(layout, sides, factor, frames, b, snapshot, rate);
}

VORLA_AVX __attribute__((flatten)) void processMonoChunkWide(AmpChannel& side, int factor,
                                                             int frames, ChunkBuffers& b,
                                                             const BlockSnapshot& snapshot,
                                                             const double& rate) noexcept
{
    monoChunkWide<false>(side, factor, frames, b, snapshot, rate);
}

VORLA_AVX_FMA __attribute__((flatten)) void processMonoChunkWideFma(AmpChannel& side, int factor,
                                                                    int frames, ChunkBuffers& b,
                                                                    const BlockSnapshot& snapshot,
                                                                    const double& rate) noexcept
{
    monoChunkWide<true>(side, factor, frames, b, snapshot, rate);
}

VORLA_AVX __attribute__((flatten)) void
processStereoChunkWide(AmpChannel& first, AmpChannel& second, int factor, int frames,
                       ChunkBuffers& b, const BlockSnapshot& snapshot, const double& rate) noexcept
{
    stereoChunkWide<false>(first, second, factor, frames, b, snapshot, rate);
}

VORLA_AVX_FMA __attribute__((flatten)) void
processStereoChunkWideFma(AmpChannel& first, AmpChannel& second, int factor, int frames,
                          ChunkBuffers& b, const BlockSnapshot& snapshot,
                          const double& rate) noexcept
{
    stereoChunkWide<true>(first, second, factor, frames, b, snapshot, rate);
}

// Stereo on AVX-512: the six stages of both sides in one 512-bit step, and
// 32 registers for their states (mono's three stages fit one AVX step).
VORLA_AVX512 __attribute__((flatten)) void processStereoChunkWide512(AmpChannel& first,
                                                                     AmpChannel& second, int factor,
                                                                     int frames, ChunkBuffers& b,
                                                                     const BlockSnapshot& snapshot,
                                                                     const double& rate) noexcept
{
    stereoChunkWide<false, loops::StereoWide512>(first, second, factor, frames, b, snapshot, rate);
}

VORLA_AVX512_FMA __attribute__((flatten)) void
processStereoChunkWide512Fma(AmpChannel& first, AmpChannel& second, int factor, int frames,
                             ChunkBuffers& b, const BlockSnapshot& snapshot,
                             const double& rate) noexcept
{
    stereoChunkWide<true, loops::StereoWide512>(first, second, factor, frames, b, snapshot, rate);
}

void processMonoChunkNarrow(AmpChannel& side, int factor, int frames, ChunkBuffers& b,
                            const BlockSnapshot& snapshot, const double& rate) noexcept
{
    AmpChannel* sides[1] = {&side};
    loops::MonoNarrow layout(rate);
    processChunk(layout, sides, factor, frames, b, snapshot, rate);
}

void processStereoChunkNarrow(AmpChannel& first, AmpChannel& second, int factor, int frames,
                              ChunkBuffers& b, const BlockSnapshot& snapshot,
                              const double& rate) noexcept
{
    AmpChannel* sides[2] = {&first, &second};
    loops::StereoNarrow layout(rate);
    processChunk(layout, sides, factor, frames, b, snapshot, rate);
}

using MonoChunk = void (*)(AmpChannel&, int, int, ChunkBuffers&, const BlockSnapshot&,
                           const double&) noexcept;
using StereoChunk = void (*)(AmpChannel&, AmpChannel&, int, int, ChunkBuffers&,
                             const BlockSnapshot&, const double&) noexcept;

// The chunk function of each lane set (LaneSet order), with the library's
// exp called and inline.  SSE2 processors have no FMA, so their chunks
// always call it.
constexpr MonoChunk kMonoChunks[3][2] = {
    {processMonoChunkNarrow, processMonoChunkNarrow},
    {processMonoChunkWide, processMonoChunkWideFma},
    {processMonoChunkWide, processMonoChunkWideFma}, // mono's three stages fit one AVX step
};
constexpr StereoChunk kStereoChunks[3][2] = {
    {processStereoChunkNarrow, processStereoChunkNarrow},
    {processStereoChunkWide, processStereoChunkWideFma},
    {processStereoChunkWide512, processStereoChunkWide512Fma},
};
static_assert(static_cast<int>(LaneSet::Sse2) == 0 && static_cast<int>(LaneSet::Avx) == 1 &&
              static_cast<int>(LaneSet::Avx512) == 2);

} // namespace

void processMonoChunk(AmpChannel& side, int factor, int frames, ChunkBuffers& buffers,
                      const BlockSnapshot& snapshot, const double& rate) noexcept
{
    kMonoChunks[static_cast<int>(buffers.lanes)][buffers.inlineExp ? 1 : 0](
        side, factor, frames, buffers, snapshot, rate);
}

void processStereoChunk(AmpChannel& first, AmpChannel& second, int factor, int frames,
                        ChunkBuffers& buffers, const BlockSnapshot& snapshot,
                        const double& rate) noexcept
{
    kStereoChunks[static_cast<int>(buffers.lanes)][buffers.inlineExp ? 1 : 0](
        first, second, factor, frames, buffers, snapshot, rate);
}

void processPair(AmpChannel& channel, double& a, double& b, const BlockSnapshot& s,
                 const PairFlags& flags, const double& rate) noexcept
{
    // The reference order: every segment of the chain on a, then on b (each
    // element sees a before b, which is all the order that matters).
    AmpChannel* sides[1] = {&channel};
    ChannelLanes<double> filters;
    filters.load(sides, s);
    const VoicingPath& voicing = *kVoicings[static_cast<std::size_t>(voicingIndex(flags))];
    for (double* x : {&a, &b})
    {
        *x = *x * s.inputGain;
        stepStageRecords(sides, kInputStage.stage, *x, rate);
        runBeforeFirst(filters, *x, s, flags);
        stepStageRecords(sides, voicing.first.stage, *x, rate);
        runBeforeSecond(filters, *x, s, flags);
        stepStageRecords(sides, voicing.second.stage, *x, rate);
        runAfterSecond(filters, *x, s, flags);
        runPowerSection(filters, *x, s);
    }
    filters.storeStates(sides);
}

} // namespace vorla
