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

/// The samples of one chunk at every rate.  Mono uses the float arrays and
/// `mono`; stereo the __m128 arrays (lanes 0 and 1 = the sides) and
/// `lanes`, which holds both sides of a sample next to each other, ready to
/// load as one SSE2 register.
struct ChunkBuffers
{
    // Host rate, 2x, 4x, 8x.
    float rate1[kChunkFrames];
    float rate2[kChunkFrames * 2];
    float rate4[kChunkFrames * 4];
    float rate8[kChunkFrames * 8];
    __m128 both1[kChunkFrames];
    __m128 both2[kChunkFrames * 2];
    __m128 both4[kChunkFrames * 4];
    __m128 both8[kChunkFrames * 8];
    alignas(16) double lanes[kMaxSamples][2];
    double mono[kMaxSamples];
    PairFlags flags[kMaxSamples / 2];
    /// Whether the stereo model may use 256-bit AVX registers.  Set from
    /// the processor when the effect is created; both ways give the same
    /// bits (tests clear it to compare).
    bool wideLanes = wide::processorHasAvx();
};

} // namespace vorla
