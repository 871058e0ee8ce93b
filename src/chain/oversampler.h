// SPDX-License-Identifier: GPL-3.0-or-later
// oversampler.h - the half-band cascades that raise host samples to the
// model's rate and bring the model's samples back.
//
// A frame is one host-rate or oversampled instant of every side as float
// lanes of one SSE register: side 0 in lane 0, side 1 in lane 1 (stereo).
// Inside a filter the allpass sections of both paths (A, B) of every side
// step side by side as the lanes (A0, B0, A1, B1) of one register
// (stepAllpassSection, dsp/halfband.h); mono leaves lanes 2 and 3 at zero.
// So one piece of code serves one side and two.
//
//   up-sampling   a frame in; both paths get each side's sample; path A
//                 gives the earlier frame out, path B the later one.
//   down-sampling two frames in; path A takes the later, path B the
//                 earlier; out = 0.5 (A + B) per side.
//
// A span's frames pass each filter in one run, filter after filter (the
// 12-, 8- and 4-coefficient filters for factor 2, 4 or 8), with the
// filter's lanes held in registers for the run; the last filter up writes
// the model's samples (doubles) and the first filter down reads them.
// Every filter sees its own samples in order, so this is the same to the
// bit as stepping the cascade sample by sample.  These runs serve both
// sides on processors without AVX; elsewhere the cascade steps inside the
// model's loop (chain/fused_resampler.h).
#pragma once

#include "chain/amp_channel.h"
#include "dsp/halfband.h"

#include <xmmintrin.h>

#include <cstddef>

#define VORLA_RESAMPLE inline __attribute__((always_inline))

namespace vorla {

/// One half-band filter of every side, as lanes (A0, B0, A1, B1).
template <std::size_t N, int kSides> struct HalfbandLanes
{
    static_assert(kSides == 1 || kSides == 2);
    static constexpr std::size_t kPairs = N / 2;
    __m128 c[kPairs];
    __m128 x[kPairs];
    __m128 y[kPairs];

    VORLA_RESAMPLE void load(HalfbandFilter<N>* const* f) noexcept
    {
        const auto lanesOf = [&](const float* a, const float* b) VORLA_LAMBDA_INLINE {
            // Mono: lanes 2 and 3 stay zero.
            return kSides == 2 ? _mm_setr_ps(a[0], a[1], b[0], b[1])
                               : _mm_setr_ps(a[0], a[1], 0.0f, 0.0f);
        };
        const HalfbandFilter<N>& a = *f[0];
        const HalfbandFilter<N>& b = *f[kSides - 1];
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            c[j] = lanesOf(&a.c[2 * j], &b.c[2 * j]);
            x[j] = lanesOf(&a.xPrev[2 * j], &b.xPrev[2 * j]);
            y[j] = lanesOf(&a.yPrev[2 * j], &b.yPrev[2 * j]);
        }
    }

    VORLA_RESAMPLE void store(HalfbandFilter<N>* const* f) const noexcept
    {
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            _mm_storel_pi(reinterpret_cast<__m64*>(&f[0]->xPrev[2 * j]), x[j]);
            _mm_storel_pi(reinterpret_cast<__m64*>(&f[0]->yPrev[2 * j]), y[j]);
            if constexpr (kSides == 2)
            {
                _mm_storeh_pi(reinterpret_cast<__m64*>(&f[1]->xPrev[2 * j]), x[j]);
                _mm_storeh_pi(reinterpret_cast<__m64*>(&f[1]->yPrev[2 * j]), y[j]);
            }
        }
    }

    /// Up-sampling: `in` gives the earlier and the later frame.
    VORLA_RESAMPLE void up(__m128 in, __m128& earlier, __m128& later) noexcept
    {
        // Both paths of a side get its sample: (x0, x0, x1, x1).
        const __m128 s = runAllpassSections(c, x, y, _mm_unpacklo_ps(in, in));
        earlier = _mm_shuffle_ps(s, s, _MM_SHUFFLE(2, 0, 2, 0)); // path A
        later = _mm_shuffle_ps(s, s, _MM_SHUFFLE(3, 1, 3, 1));   // path B
    }

    /// Down-sampling: the frame of the pair (earlier, later).
    VORLA_RESAMPLE __m128 down(__m128 earlier, __m128 later) noexcept
    {
        // Path A takes the later sample, path B the earlier one:
        // (later0, earlier0, later1, earlier1).
        const __m128 s = runAllpassSections(c, x, y, _mm_unpacklo_ps(later, earlier));
        // A + B per side (float addition commutes exactly), then halved.
        const __m128 sum = _mm_add_ps(s, _mm_shuffle_ps(s, s, _MM_SHUFFLE(2, 3, 0, 1)));
        const __m128 half = _mm_mul_ps(_mm_set1_ps(0.5f), sum);
        return _mm_shuffle_ps(half, half, _MM_SHUFFLE(2, 0, 2, 0));
    }
};

// A frame as the model takes it: double (one side) or __m128d (two sides,
// lane 0 the first), converted where the span meets the model, inside the
// first and last filter's runs, so that no pass of its own copies it.
VORLA_RESAMPLE void fromFrame(__m128 frame, __m128& out) noexcept
{
    out = frame;
}
VORLA_RESAMPLE void fromFrame(__m128 frame, double& out) noexcept
{
    out = static_cast<double>(_mm_cvtss_f32(frame));
}
VORLA_RESAMPLE void fromFrame(__m128 frame, __m128d& out) noexcept
{
    out = _mm_cvtps_pd(frame);
}
// Back to a frame, rounded to float; the unused lanes are zero.
VORLA_RESAMPLE __m128 toFrame(__m128 in) noexcept
{
    return in;
}
VORLA_RESAMPLE __m128 toFrame(double in) noexcept
{
    return _mm_cvtpd_ps(_mm_set_sd(in));
}
VORLA_RESAMPLE __m128 toFrame(__m128d in) noexcept
{
    return _mm_cvtpd_ps(in);
}

/// One filter over a run of frames, with its lanes held in registers for
/// the run: up-sampling in[0 .. n) into out[0 .. 2n), earlier first.  Out
/// is a frame or a model sample.
template <std::size_t N, int kSides, class Out>
VORLA_RESAMPLE void upsampleRun(HalfbandFilter<N>* const* filters, const __m128* in, int n,
                                Out* out) noexcept
{
    HalfbandLanes<N, kSides> lanes;
    lanes.load(filters);
    for (int i = 0; i < n; ++i)
    {
        __m128 earlier, later;
        lanes.up(in[i], earlier, later);
        fromFrame(earlier, out[2 * i]);
        fromFrame(later, out[2 * i + 1]);
    }
    lanes.store(filters);
}

/// Down-sampling the pairs (in[2i], in[2i + 1]) into out[i].  In is a
/// frame or a model sample.
template <std::size_t N, int kSides, class In>
VORLA_RESAMPLE void downsampleRun(HalfbandFilter<N>* const* filters, const In* in, int n,
                                  __m128* out) noexcept
{
    HalfbandLanes<N, kSides> lanes;
    lanes.load(filters);
    for (int i = 0; i < n; ++i)
        out[i] = lanes.down(toFrame(in[2 * i]), toFrame(in[2 * i + 1]));
    lanes.store(filters);
}

/// The filters `member` of the run's sides (the first twice in mono).
template <int kSides, class Filter>
VORLA_RESAMPLE void filtersOf(AmpChannel* const* sides, Filter AmpChannel::*member,
                              Filter* (&filters)[2]) noexcept
{
    filters[0] = &(sides[0]->*member);
    filters[1] = &(sides[kSides - 1]->*member);
}

/// The work space of a span's resampling: the host frames, and two buffers
/// that the cascade's stages between the host and the model fill in turn
/// (host -> a -> b up, the same way back down), each big enough for the
/// span at 4x.
template <int kFrames> struct ResampleBuffers
{
    __m128 host[kFrames];
    __m128 a[kFrames * 4];
    __m128 b[kFrames * 4];
};

/// The host frames host[0 .. n) up by `factor` (2, 4 or 8), filter after
/// filter, in time order, into the model's samples model[0 .. n * factor).
/// At 8x the pairs come in the order (p0: u0: w0 w1), (p0: u1: w0 w1),
/// (p1: ...).
template <int kSides, int kFrames, class Sample>
__attribute__((noinline)) void upsampleSpan(AmpChannel* const* sides, int factor, int n,
                                            ResampleBuffers<kFrames>& r, Sample* model) noexcept
{
    HalfbandFilter12* f12[2];
    filtersOf<kSides>(sides, &AmpChannel::upsampler1, f12);
    if (factor < 4)
        return upsampleRun<12, kSides>(f12, r.host, n, model);
    upsampleRun<12, kSides>(f12, r.host, n, r.a);
    HalfbandFilter8* f8[2];
    filtersOf<kSides>(sides, &AmpChannel::upsampler2, f8);
    if (factor < 8)
        return upsampleRun<8, kSides>(f8, r.a, 2 * n, model);
    upsampleRun<8, kSides>(f8, r.a, 2 * n, r.b);
    HalfbandFilter4* f4[2];
    filtersOf<kSides>(sides, &AmpChannel::upsampler3, f4);
    upsampleRun<4, kSides>(f4, r.b, 4 * n, model);
}

/// The model's samples model[0 .. n * factor) back down into host[0 .. n).
template <int kSides, int kFrames, class Sample>
__attribute__((noinline)) void downsampleSpan(AmpChannel* const* sides, int factor, int n,
                                              ResampleBuffers<kFrames>& r,
                                              const Sample* model) noexcept
{
    HalfbandFilter12* f12[2];
    filtersOf<kSides>(sides, &AmpChannel::downsampler1, f12);
    if (factor < 4)
        return downsampleRun<12, kSides>(f12, model, n, r.host);
    HalfbandFilter8* f8[2];
    filtersOf<kSides>(sides, &AmpChannel::downsampler2, f8);
    if (factor < 8)
    {
        downsampleRun<8, kSides>(f8, model, 2 * n, r.a);
    }
    else
    {
        HalfbandFilter4* f4[2];
        filtersOf<kSides>(sides, &AmpChannel::downsampler3, f4);
        downsampleRun<4, kSides>(f4, model, 4 * n, r.b);
        downsampleRun<8, kSides>(f8, r.b, 2 * n, r.a);
    }
    downsampleRun<12, kSides>(f12, r.a, n, r.host);
}

} // namespace vorla
