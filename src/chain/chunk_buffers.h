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

#include <xmmintrin.h>

namespace vorla {

namespace wide {

/// True when the processor and the operating system support AVX (the
/// stereo model's 256-bit path).  Asked once, when the effect is created.
inline bool processorHasAvx() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
}

} // namespace wide

/// Host samples handled per pass of up-sampling, model and down-sampling.
constexpr int kChunkFrames = 32;
constexpr int kMaxFactor = 8;
constexpr int kMaxSamples = kChunkFrames * kMaxFactor;

/// The samples of one chunk at every rate.  Mono uses the float arrays
/// mono* and `monoModel`; stereo the __m128 arrays stereo* (lanes 0 and 1 =
/// the sides) and `stereoModel`, which holds both sides of a sample next to
/// each other, ready to load as one SSE2 register.
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
    alignas(16) double stereoModel[kMaxSamples][2];
    double monoModel[kMaxSamples];
    // The switch flags of each oversampled pair.
    PairFlags flags[kMaxSamples / 2];
    /// Whether the stereo model may use 256-bit AVX registers.  Set from
    /// the processor when the effect is created; both ways give the same
    /// bits (tests clear it to compare).
    bool wideLanes = wide::processorHasAvx();
};

} // namespace vorla
