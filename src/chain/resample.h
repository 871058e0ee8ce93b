// resample.h - the oversampler's runs over a chunk of samples.
//
// A chunk's samples pass each half-band filter in one run (filter after
// filter), with the filter's coefficients and states held in registers for
// the run: the allpass sections of both paths of a filter (and, in stereo,
// of both sides) step side by side as float lanes of one SSE register
// (stepAllpassSection, dsp/halfband.h).  Every filter still sees its own
// samples in order, so this is the same to the bit as stepping the cascade
// sample by sample; the order of pairs at 8x stays (p0: u0: w0 w1),
// (p0: u1: w0 w1), (p1: u0: ...), ...
//
// The runs are inlined into the two chunk-level functions, which are
// functions of their own: their registers and work space stay out of the
// model loop's stack frame (hosts may give the audio thread a small stack).
#pragma once

#include "chain/amp_channel.h"
#include "chain/chunk_buffers.h"
#include "dsp/halfband.h"

#include <xmmintrin.h>

#include <cstddef>

#define VORLA_RESAMPLE inline __attribute__((always_inline))

namespace vorla::resample {

/// One side: the filter's two allpass paths as lanes 0 (A) and 1 (B).
template <std::size_t N> struct PathLanes
{
    static constexpr std::size_t kPairs = N / 2;
    __m128 c[kPairs];
    __m128 x[kPairs];
    __m128 y[kPairs];

    explicit PathLanes(const HalfbandFilter<N>& f) noexcept
    {
        const __m128 zero = _mm_setzero_ps();
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            c[j] = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(&f.c[2 * j]));
            x[j] = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(&f.xPrev[2 * j]));
            y[j] = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(&f.yPrev[2 * j]));
        }
    }

    void storeState(HalfbandFilter<N>& f) const noexcept
    {
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            _mm_storel_pi(reinterpret_cast<__m64*>(&f.xPrev[2 * j]), x[j]);
            _mm_storel_pi(reinterpret_cast<__m64*>(&f.yPrev[2 * j]), y[j]);
        }
    }

    VORLA_RESAMPLE __m128 run(__m128 s) noexcept { return runAllpassSections(c, x, y, s); }
};

/// processHalfband over in[0 .. n): out[2i] earlier, out[2i + 1] later.
template <std::size_t N>
VORLA_RESAMPLE void upsampleRun(HalfbandFilter<N>& f, const float* in, int n, float* out) noexcept
{
    PathLanes<N> lanes(f);
    for (int i = 0; i < n; ++i)
    {
        const __m128 s = lanes.run(_mm_set1_ps(in[i]));
        out[2 * i] = _mm_cvtss_f32(s);
        out[2 * i + 1] = _mm_cvtss_f32(_mm_shuffle_ps(s, s, 1));
    }
    lanes.storeState(f);
}

/// decimateHalfband over the pairs (in[2i], in[2i + 1]) into out[i].
template <std::size_t N>
VORLA_RESAMPLE void downsampleRun(HalfbandFilter<N>& f, const float* in, int n, float* out) noexcept
{
    PathLanes<N> lanes(f);
    for (int i = 0; i < n; ++i)
    {
        // Path A takes the later sample, path B the earlier one.
        const __m128 s = lanes.run(_mm_setr_ps(in[2 * i + 1], in[2 * i], 0.0f, 0.0f));
        const float a = _mm_cvtss_f32(s);
        const float b = _mm_cvtss_f32(_mm_shuffle_ps(s, s, 1));
        out[i] = 0.5f * (a + b);
    }
    lanes.storeState(f);
}

/// Both sides: each pair of sections (2j for path A, 2j + 1 for path B)
/// of both sides in one register, lanes (A first, B first, A second,
/// B second).
template <std::size_t N> struct SidePathLanes
{
    static constexpr std::size_t kPairs = N / 2;
    __m128 c[kPairs];
    __m128 x[kPairs];
    __m128 y[kPairs];

    VORLA_RESAMPLE SidePathLanes(const HalfbandFilter<N>& f0, const HalfbandFilter<N>& f1) noexcept
    {
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            c[j] = _mm_setr_ps(f0.c[2 * j], f0.c[2 * j + 1], f1.c[2 * j], f1.c[2 * j + 1]);
            x[j] = _mm_setr_ps(f0.xPrev[2 * j], f0.xPrev[2 * j + 1], f1.xPrev[2 * j],
                               f1.xPrev[2 * j + 1]);
            y[j] = _mm_setr_ps(f0.yPrev[2 * j], f0.yPrev[2 * j + 1], f1.yPrev[2 * j],
                               f1.yPrev[2 * j + 1]);
        }
    }

    VORLA_RESAMPLE void storeState(HalfbandFilter<N>& f0, HalfbandFilter<N>& f1) const noexcept
    {
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            _mm_storel_pi(reinterpret_cast<__m64*>(&f0.xPrev[2 * j]), x[j]);
            _mm_storeh_pi(reinterpret_cast<__m64*>(&f1.xPrev[2 * j]), x[j]);
            _mm_storel_pi(reinterpret_cast<__m64*>(&f0.yPrev[2 * j]), y[j]);
            _mm_storeh_pi(reinterpret_cast<__m64*>(&f1.yPrev[2 * j]), y[j]);
        }
    }

    VORLA_RESAMPLE __m128 run(__m128 s) noexcept { return runAllpassSections(c, x, y, s); }
};

// The stereo buffers hold the two sides of a sample in lanes 0 and 1.

template <std::size_t N>
VORLA_RESAMPLE void upsampleRun(HalfbandFilter<N>& f0, HalfbandFilter<N>& f1, const __m128* in,
                                int n, __m128* out) noexcept
{
    SidePathLanes<N> lanes(f0, f1);
    for (int i = 0; i < n; ++i)
    {
        // Both paths of a side get its sample: (x0, x0, x1, x1).
        const __m128 s = lanes.run(_mm_unpacklo_ps(in[i], in[i]));
        out[2 * i] = _mm_shuffle_ps(s, s, _MM_SHUFFLE(2, 0, 2, 0));     // path A: earlier
        out[2 * i + 1] = _mm_shuffle_ps(s, s, _MM_SHUFFLE(3, 1, 3, 1)); // path B: later
    }
    lanes.storeState(f0, f1);
}

template <std::size_t N>
VORLA_RESAMPLE void downsampleRun(HalfbandFilter<N>& f0, HalfbandFilter<N>& f1, const __m128* in,
                                  int n, __m128* out) noexcept
{
    SidePathLanes<N> lanes(f0, f1);
    for (int i = 0; i < n; ++i)
    {
        // Path A takes the later sample, path B the earlier one:
        // (later0, earlier0, later1, earlier1).
        const __m128 s = lanes.run(_mm_unpacklo_ps(in[2 * i + 1], in[2 * i]));
        // A + B per side (float addition commutes exactly), then halved.
        const __m128 sum = _mm_add_ps(s, _mm_shuffle_ps(s, s, _MM_SHUFFLE(2, 3, 0, 1)));
        const __m128 half = _mm_mul_ps(_mm_set1_ps(0.5f), sum);
        out[i] = _mm_shuffle_ps(half, half, _MM_SHUFFLE(2, 0, 2, 0));
    }
    lanes.storeState(f0, f1);
}

/// Up-samples `frames` host samples (in monoHost / stereoHost) to the model's rate
/// and widens them to doubles; returns the number of model samples.
__attribute__((noinline)) inline int upsampleChunk(AmpChannel& first, AmpChannel& second,
                                                   bool stereo, int factor, int frames,
                                                   ChunkBuffers& b) noexcept
{
    const int count = frames * factor;
    if (stereo)
    {
        __m128* top = b.stereo2x;
        upsampleRun(first.upsampler1, second.upsampler1, b.stereoHost, frames, b.stereo2x);
        if (factor >= 4)
        {
            upsampleRun(first.upsampler2, second.upsampler2, b.stereo2x, frames * 2, b.stereo4x);
            top = b.stereo4x;
        }
        if (factor >= 8)
        {
            upsampleRun(first.upsampler3, second.upsampler3, b.stereo4x, frames * 4, b.stereo8x);
            top = b.stereo8x;
        }
        for (int k = 0; k < count; ++k)
            b.stereoModel[k] = _mm_cvtps_pd(top[k]);
    }
    else
    {
        float* top = b.mono2x;
        upsampleRun(first.upsampler1, b.monoHost, frames, b.mono2x);
        if (factor >= 4)
        {
            upsampleRun(first.upsampler2, b.mono2x, frames * 2, b.mono4x);
            top = b.mono4x;
        }
        if (factor >= 8)
        {
            upsampleRun(first.upsampler3, b.mono4x, frames * 4, b.mono8x);
            top = b.mono8x;
        }
        for (int k = 0; k < count; ++k)
            b.monoModel[k] = top[k];
    }
    return count;
}

/// Rounds the model's outputs to floats and decimates them back to the
/// host rate, into monoHost / stereoHost.
__attribute__((noinline)) inline void downsampleChunk(AmpChannel& first, AmpChannel& second,
                                                      bool stereo, int factor, int frames,
                                                      ChunkBuffers& b) noexcept
{
    const int count = frames * factor;
    if (stereo)
    {
        __m128* top = factor == 8 ? b.stereo8x : factor == 4 ? b.stereo4x : b.stereo2x;
        for (int k = 0; k < count; ++k)
            top[k] = _mm_cvtpd_ps(b.stereoModel[k]);
        if (factor >= 8)
            downsampleRun(first.downsampler3, second.downsampler3, b.stereo8x, frames * 4,
                          b.stereo4x);
        if (factor >= 4)
            downsampleRun(first.downsampler2, second.downsampler2, b.stereo4x, frames * 2,
                          b.stereo2x);
        downsampleRun(first.downsampler1, second.downsampler1, b.stereo2x, frames, b.stereoHost);
    }
    else
    {
        float* top = factor == 8 ? b.mono8x : factor == 4 ? b.mono4x : b.mono2x;
        for (int k = 0; k < count; ++k)
            top[k] = static_cast<float>(b.monoModel[k]);
        if (factor >= 8)
            downsampleRun(first.downsampler3, b.mono8x, frames * 4, b.mono4x);
        if (factor >= 4)
            downsampleRun(first.downsampler2, b.mono4x, frames * 2, b.mono2x);
        downsampleRun(first.downsampler1, b.mono2x, frames, b.monoHost);
    }
}

} // namespace vorla::resample
