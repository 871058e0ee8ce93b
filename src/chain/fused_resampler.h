// SPDX-License-Identifier: GPL-3.0-or-later
// fused_resampler.h - the resampling inside the model's loop, each level's
// way up and way down stepped side by side in one register.
//
// One side's half-band filter fills only two of a register's four lanes
// (paths A and B), and a level's way down takes as many steps per host frame
// as its way up.  So a level holds both:
//
//   lanes 0, 1   the up-sampling filter's paths A and B
//   lanes 2, 3   the down-sampling filter's paths A and B
//
// (both sides: each in an SSE register's worth, the way up in the lower
// half of an AVX register, the way down in the upper), and one step of the
// pair costs what one step of either did.  The steps
// run inside the model's loop, in the shadow of the stages' recursion: in
// the iterations of host frame f, level after level from the host rate up,
// the way up raises frame f + 1 (the model needs it from the next frame on)
// while the way down brings down a frame the model finished a few frames
// before.  Each level down trails the one above it by a frame, because it
// takes what that level brought down.  What is left when the loop ends
// comes down after it, and frame 0 goes up before it.
//
// Where only one way has a sample (at a span's ends), the other's lanes
// step on a copy of it and keep their state.  Every filter sees its own
// samples in order, so the bits are those of the filters run one by one.
#pragma once

#include "chain/amp_channel.h"
#include "chain/chain_order.h"
#include "chain/oversampler.h"

#include <immintrin.h>

#include <cstddef>
#include <type_traits>

namespace vorla {

namespace paired {

/// The lanes of a level's pair: one side's two paths each way in an SSE
/// register, both sides' in an AVX register, the way down in its upper
/// half.  The stereo pair is AVX code, so it runs only inside the model's
/// AVX runs.
template <int kSides> struct Lanes;

template <> struct Lanes<1>
{
    using V = __m128;
    using Sample = double;

    static VORLA_RESAMPLE V gather(const float* up0, const float*, const float* down0,
                                   const float*) noexcept
    {
        return _mm_setr_ps(up0[0], up0[1], down0[0], down0[1]);
    }
    static VORLA_RESAMPLE void scatter(V v, float* up0, float*, float* down0, float*) noexcept
    {
        _mm_storel_pi(reinterpret_cast<__m64*>(up0), v);
        _mm_storeh_pi(reinterpret_cast<__m64*>(down0), v);
    }
    /// The way up's sample of each path (u) and the way down's pair (d:
    /// path A the later sample, path B the earlier) as one register.
    static VORLA_RESAMPLE V join(__m128 u, __m128 d) noexcept { return _mm_movelh_ps(u, d); }
    static VORLA_RESAMPLE __m128 upPart(V s) noexcept { return s; }
    static VORLA_RESAMPLE __m128 downPart(V s) noexcept { return _mm_movehl_ps(s, s); }
    /// Lanes of the way up from `up`, of the way down from `down`.
    static VORLA_RESAMPLE V halves(V up, V down) noexcept
    {
        return _mm_shuffle_ps(up, down, _MM_SHUFFLE(3, 2, 1, 0));
    }
};

template <> struct Lanes<2>
{
    using V = __m256;
    using Sample = __m128d;

    static VORLA_AVX inline V gather(const float* up0, const float* up1, const float* down0,
                                     const float* down1) noexcept
    {
        return _mm256_setr_ps(up0[0], up0[1], up1[0], up1[1], down0[0], down0[1], down1[0],
                              down1[1]);
    }
    static VORLA_AVX inline void scatter(V v, float* up0, float* up1, float* down0,
                                         float* down1) noexcept
    {
        const __m128 up = _mm256_castps256_ps128(v);
        const __m128 down = _mm256_extractf128_ps(v, 1);
        _mm_storel_pi(reinterpret_cast<__m64*>(up0), up);
        _mm_storeh_pi(reinterpret_cast<__m64*>(up1), up);
        _mm_storel_pi(reinterpret_cast<__m64*>(down0), down);
        _mm_storeh_pi(reinterpret_cast<__m64*>(down1), down);
    }
    static VORLA_AVX inline V join(__m128 u, __m128 d) noexcept
    {
        return _mm256_insertf128_ps(_mm256_castps128_ps256(u), d, 1);
    }
    static VORLA_AVX inline __m128 upPart(V s) noexcept { return _mm256_castps256_ps128(s); }
    static VORLA_AVX inline __m128 downPart(V s) noexcept { return _mm256_extractf128_ps(s, 1); }
    static VORLA_AVX inline V halves(V up, V down) noexcept
    {
        return _mm256_blend_ps(up, down, 0xF0);
    }
};

} // namespace paired

/// A level's up- and down-sampling filters of every side, as the lanes
/// (up: A0, B0[, A1, B1]; down: A0, B0[, A1, B1]).
template <std::size_t N, int kSides> struct PairedHalfband
{
    using L = paired::Lanes<kSides>;
    using V = typename L::V;
    static constexpr std::size_t kPairs = N / 2;
    V c[kPairs];
    V x[kPairs];
    V y[kPairs];

    /// up[side], down[side]: the filters (mono: side 0 only).
    VORLA_RESAMPLE void load(HalfbandFilter<N>* const* up, HalfbandFilter<N>* const* down) noexcept
    {
        const int last = kSides - 1;
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            const std::size_t k = 2 * j;
            c[j] = L::gather(&up[0]->c[k], &up[last]->c[k], &down[0]->c[k], &down[last]->c[k]);
            x[j] = L::gather(&up[0]->xPrev[k], &up[last]->xPrev[k], &down[0]->xPrev[k],
                             &down[last]->xPrev[k]);
            y[j] = L::gather(&up[0]->yPrev[k], &up[last]->yPrev[k], &down[0]->yPrev[k],
                             &down[last]->yPrev[k]);
        }
    }

    VORLA_RESAMPLE void store(HalfbandFilter<N>* const* up,
                              HalfbandFilter<N>* const* down) const noexcept
    {
        const int last = kSides - 1;
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            const std::size_t k = 2 * j;
            L::scatter(x[j], &up[0]->xPrev[k], &up[last]->xPrev[k], &down[0]->xPrev[k],
                       &down[last]->xPrev[k]);
            L::scatter(y[j], &up[0]->yPrev[k], &up[last]->yPrev[k], &down[0]->yPrev[k],
                       &down[last]->yPrev[k]);
        }
    }
};

/// Every level of the cascade, paired.
template <int kSides> struct PairedCascade
{
    PairedHalfband<12, kSides> level0; // host rate <-> 2x
    PairedHalfband<8, kSides> level1;  // 2x <-> 4x
    PairedHalfband<4, kSides> level2;  // 4x <-> 8x
};

namespace paired {

/// One step of a level: up-sampling the frame *upIn into upOut[0, 1]
/// (earlier, later) and down-sampling the pair downIn[0, 1] into
/// *downOut.  A way whose input is null has no sample: its lanes step on
/// the other's and keep their state.
template <std::size_t N, int kSides, class High>
VORLA_RESAMPLE void step(PairedHalfband<N, kSides>& l, const __m128* upIn, High* upOut,
                         const High* downIn, __m128* downOut) noexcept
{
    using L = Lanes<kSides>;
    using V = typename L::V;
    constexpr std::size_t P = N / 2;
    // Both paths of a side get its sample: (x0, x0, x1, x1).  The way
    // down: path A takes the later sample, path B the earlier one.
    __m128 u = upIn ? _mm_unpacklo_ps(*upIn, *upIn) : _mm_setzero_ps();
    const __m128 d = downIn ? _mm_unpacklo_ps(toFrame(downIn[1]), toFrame(downIn[0])) : u;
    if (!upIn)
        u = d;
    V x[P], y[P];
    for (std::size_t j = 0; j < P; ++j)
    {
        x[j] = l.x[j];
        y[j] = l.y[j];
    }
    const V s = runAllpassSections(l.c, x, y, L::join(u, d));
    if (upIn)
    {
        const __m128 up = L::upPart(s);
        fromFrame(_mm_shuffle_ps(up, up, _MM_SHUFFLE(2, 0, 2, 0)), upOut[0]); // path A
        fromFrame(_mm_shuffle_ps(up, up, _MM_SHUFFLE(3, 1, 3, 1)), upOut[1]); // path B
    }
    if (downIn)
    {
        // A + B per side (float addition commutes exactly), then halved.
        const __m128 down = L::downPart(s);
        const __m128 sum = _mm_add_ps(down, _mm_shuffle_ps(down, down, _MM_SHUFFLE(2, 3, 0, 1)));
        const __m128 half = _mm_mul_ps(_mm_set1_ps(0.5f), sum);
        *downOut = _mm_shuffle_ps(half, half, _MM_SHUFFLE(2, 0, 2, 0));
    }
    for (std::size_t j = 0; j < P; ++j)
    {
        l.x[j] = upIn && downIn ? x[j] : upIn ? L::halves(x[j], l.x[j]) : L::halves(l.x[j], x[j]);
        l.y[j] = upIn && downIn ? y[j] : upIn ? L::halves(y[j], l.y[j]) : L::halves(l.y[j], y[j]);
    }
}

} // namespace paired

/// A span of one side or both: host frames host[0 .. n) up into the
/// model's samples, and the model's samples down into host[0 .. n), step by
/// step as the model's loop runs (atIteration).
template <int kFrames, int kSides> class FusedResampler
{
public:
    using Sample = typename paired::Lanes<kSides>::Sample;

    FusedResampler(AmpChannel* const* channels, int factor, int frames,
                   ResampleBuffers<kFrames>& buffers, PairedCascade<kSides>& cascade,
                   Sample* model) noexcept
        : sides(channels), levels(factor == 2   ? 1
                                  : factor == 4 ? 2
                                                : 3),
          n(frames), r(buffers), work(cascade), samples(model),
          // The last level brings a frame down `lag` frames later, its last
          // pair in that frame's next-to-last iteration.  The pair's later
          // sample went in in its own frame's last iteration and is final
          // kMaxLag iterations on: lag * factor - 1 > kMaxLag.
          lag((kMaxLag + 2 + factor - 1) / factor)
    {
        // The iterations of a frame: level 0's step, level 1's two steps,
        // level 2's four, one iteration each; the last iteration has none.
        int phase = 0;
        for (int level = 0; level < levels; ++level)
            for (int j = 0; j < (1 << level); ++j)
                steps[phase++] = {level, j};
        for (; phase < 8; ++phase)
            steps[phase] = {-1, 0};
    }

    /// Loads the levels and raises frame 0 (if the span has one).
    VORLA_RESAMPLE void start() noexcept
    {
        for (int level = 0; level < levels; ++level)
            withFilters(level, [&](auto& lanes, auto up, auto down) VORLA_LAMBDA_INLINE {
                lanes.load(up, down);
                for (int j = 0; j < (n > 0 ? 1 << level : 0); ++j)
                    stepLevel(lanes, level, j, 0, -1, samples);
            });
    }

    /// Before iteration u of the model's loop, whose samples are `model`
    /// (the loop's own pointer to them, which no other may touch).
    VORLA_RESAMPLE void atIteration(int u, Sample* model) noexcept
    {
        const Step s = steps[u & ((1 << levels) - 1)];
        if (s.level < 0)
            return;
        const int f = u >> levels;
        const int up = f + 1 < n ? f + 1 : -1;
        const int down = f - lag - (levels - 1 - s.level);
        if (up < 0 && down < 0)
            return;
        atLevel(s.level, [&](auto& lanes) VORLA_LAMBDA_INLINE {
            stepLevel(lanes, s.level, s.j, up, down, model);
        });
    }

    /// After the model's loop (every iteration up to the last sample's
    /// kMaxLag): brings down what is left, from the model's rate down, and
    /// stores the levels.
    VORLA_RESAMPLE void finish() noexcept
    {
        const int iterations = (n << levels) + kMaxLag;
        for (int level = levels - 1; level >= 0; --level)
            withFilters(level, [&](auto& lanes, auto up, auto down) VORLA_LAMBDA_INLINE {
                const int trail = lag + (levels - 1 - level);
                const int first = iterations / (1 << levels) - trail - 1;
                for (int g = first > 0 ? first : 0; g < n; ++g)
                    for (int j = 0; j < (1 << level); ++j)
                        if (((g + trail) << levels) + phaseOf(level, j) >= iterations)
                            stepLevel(lanes, level, j, -1, g, samples);
                lanes.store(up, down);
            });
    }

private:
    struct Step
    {
        int level; // -1: none
        int j;     // the step of the level within its frame
    };

    static constexpr int phaseOf(int level, int j) noexcept { return (1 << level) - 1 + j; }

    /// Step j of a level: frame `up` on the way up, frame `down` on the way
    /// down (-1: none); the model's samples are `model`.
    template <class Lanes>
    VORLA_RESAMPLE void stepLevel(Lanes& lanes, int level, int j, int up, int down,
                                  Sample* model) noexcept
    {
        __m128* low = lowBuffer(level);
        const __m128* upIn = up >= 0 ? low + (up << level) + j : nullptr;
        __m128* downOut = down >= 0 ? low + (down << level) + j : nullptr;
        if (level == levels - 1)
        {
            Sample* upOut = up >= 0 ? model + (up << (level + 1)) + 2 * j : nullptr;
            const Sample* downIn = down >= 0 ? model + (down << (level + 1)) + 2 * j : nullptr;
            paired::step(lanes, upIn, upOut, downIn, downOut);
        }
        else
        {
            __m128* high = lowBuffer(level + 1);
            __m128* upOut = up >= 0 ? high + (up << (level + 1)) + 2 * j : nullptr;
            const __m128* downIn = down >= 0 ? high + (down << (level + 1)) + 2 * j : nullptr;
            paired::step(lanes, upIn, upOut, downIn, downOut);
        }
    }

    VORLA_RESAMPLE __m128* lowBuffer(int level) noexcept
    {
        return level == 0 ? r.host : level == 1 ? r.a : r.b;
    }

    /// f(paired lanes) of a level.
    template <class F> VORLA_RESAMPLE void atLevel(int level, F&& f) noexcept
    {
        if (level == 0)
            f(work.level0);
        else if (level == 1)
            f(work.level1);
        else
            f(work.level2);
    }

    /// f(paired lanes, up filters, down filters) of a level: the filters of
    /// every side (the first twice in mono).
    template <class F> VORLA_RESAMPLE void withFilters(int level, F&& f) noexcept
    {
        const auto with = [&](auto& lanes, auto AmpChannel::*up, auto AmpChannel::*down)
                              VORLA_LAMBDA_INLINE {
                                  std::remove_reference_t<decltype(sides[0]->*up)>* ups[2];
                                  std::remove_reference_t<decltype(sides[0]->*down)>* downs[2];
                                  filtersOf<kSides>(sides, up, ups);
                                  filtersOf<kSides>(sides, down, downs);
                                  f(lanes, ups, downs);
                              };
        if (level == 0)
            with(work.level0, &AmpChannel::upsampler1, &AmpChannel::downsampler1);
        else if (level == 1)
            with(work.level1, &AmpChannel::upsampler2, &AmpChannel::downsampler2);
        else
            with(work.level2, &AmpChannel::upsampler3, &AmpChannel::downsampler3);
    }

    AmpChannel* const* sides;
    const int levels; // filters each way: 1, 2 or 3 for 2x, 4x, 8x
    const int n;      // host frames of the span
    ResampleBuffers<kFrames>& r;
    PairedCascade<kSides>& work;
    Sample* samples; // the model's
    const int lag;   // frames the last level's way down trails the way up
    Step steps[8];   // by iteration within a frame
};

} // namespace vorla
