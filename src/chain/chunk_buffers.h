// chunk_buffers.h - the work space of the amplifier's audio loop.
//
// processReplacing handles a block in chunks of host samples; each chunk's
// samples at every rate, the model's doubles and the switch flags of every
// pair live here.  The effect holds one ChunkBuffers by value, so the audio
// thread needs only a small stack (hosts may give it little) and nothing is
// allocated per block.  The sample arrays are scratch: nothing in them
// survives a chunk.
#pragma once

#include "chain/amp_channel.h"
#include "chain/voicing_graph.h"
#include "dsp/exact_exp.h"
#include "dsp/lanes.h"

#include <emmintrin.h>

namespace vorla {

/// The instruction sets the model has lane layouts for.
enum class LaneSet
{
    Sse2,   // every x86-64 processor: two double lanes
    Avx,    // four double lanes
    Avx512, // four double lanes with 32 registers (stereo keeps both sides'
            // stages in registers)
};

/// The best set this processor offers.
inline LaneSet bestLaneSet() noexcept
{
    if (processorHasAvx512())
        return LaneSet::Avx512;
    return processorHasAvx() ? LaneSet::Avx : LaneSet::Sse2;
}

/// Host samples handled per pass of up-sampling, model and down-sampling.
/// The model's pipeline fills and drains once per chunk (edge iterations
/// outside the lanes); 256 keeps that to a few percent of a host's usual
/// block while every buffer stays well inside the processor's L2 cache.
constexpr int kChunkFrames = 256;
constexpr int kMaxFactor = 8;
constexpr int kMaxSamples = kChunkFrames * kMaxFactor;

/// The samples of one chunk at every rate.  Mono uses the float arrays
/// mono* and `monoModel`; stereo the __m128 arrays stereo* (lanes 0 and 1 =
/// the sides) and `stereoModel`, which holds both sides of a sample as the two
/// lanes of one SSE2 register.
struct ChunkBuffers
{
    // Resampler samples at the host rate and at 2x, 4x and 8x it.
    float monoHost[kChunkFrames];
    float mono2x[kChunkFrames * 2];
    float mono4x[kChunkFrames * 4];
    float mono8x[kChunkFrames * 8];
    __m128 stereoHost[kChunkFrames];
    __m128 stereo2x[kChunkFrames * 2];
    __m128 stereo4x[kChunkFrames * 4];
    __m128 stereo8x[kChunkFrames * 8];
    // The model's samples (doubles) at the processing rate.
    __m128d stereoModel[kMaxSamples]; // lane 0 the first side, lane 1 the second
    double monoModel[kMaxSamples];
    // The filters of the side(s) in lanes for the chunk.
    ChannelLanes<double> monoFilters;
    ChannelLanes<__m128d> stereoFilters;
    // The switch flags of each oversampled pair.
    PairFlags flags[kMaxSamples / 2];
    /// The instruction set the model runs on, chosen from the processor
    /// when the effect is created; every choice gives the same bits (tests
    /// set each to compare).
    LaneSet lanes = bestLaneSet();
    /// True when the shaper may take the library's exp inline
    /// (dsp/exact_exp.h), otherwise it calls std::exp; either gives the same
    /// bits (tests set false to compare).
    bool inlineExp = fusedExpMatchesLibrary();
};

} // namespace vorla
