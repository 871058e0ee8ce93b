// SPDX-License-Identifier: GPL-3.0-or-later
// Polyphase IIR half-band filters for 2x up- and down-sampling.
//
// What it models: a half-band low-pass H(z) = 0.5 (A(z^2) + z^-1 B(z^2)),
// where A and B are cascades of first-order allpass sections
//   A_k(z) = (c_k + z^-1) / (1 + c_k z^-1)
// running at the low rate (polyphase form: each section costs one multiply
// and two additions).  Coefficients in rising order; even positions form
// path A, odd positions path B.  Section k, input s:
//   t = (s - yPrev[k]) c[k] + xPrev[k];  xPrev[k] = s;  yPrev[k] = t
//
// Gain 1 at DC and exactly -3 dB at a quarter of the high rate.  Stop band
// with the coefficients rounded to float, from the high rate's 0.255 (12 and
// 8 coefficients) or 0.275 (4 coefficients) upwards: about 103.7 dB, 69 dB
// and 53.6 dB.  The chain cascades up to three stages (12, 8, then 4
// coefficients) for 2x, 4x or 8x oversampling.
//
//   up-sampling   one low-rate sample in; both paths get it; path A's output
//                 is the earlier high-rate sample, path B's the later one.
//   down-sampling two high-rate samples in (first, second); path A gets the
//                 second, path B the first; out = 0.5 (A + B).
//
// State: 2N floats; the filters are IIR (non-linear phase, no fixed latency).
// All arithmetic is single precision, as the chain exchanges floats with the
// host; keep every literal a float so nothing widens to double.  Fed a
// constant, the float recursion settles into a limit cycle of a few ulps.
//
// The allpass section is written once, as stepAllpassSection over a float
// lane type (float, or __m128 holding sections of several paths or filters
// side by side); runAllpassSections runs a cascade of them.
#pragma once

#include "dsp/lanes.h"

#include <cstddef>

namespace vorla {

template <std::size_t N> struct HalfbandFilter
{
    static_assert(N >= 2 && N % 2 == 0, "a half-band filter needs an even number of sections");
    static constexpr std::size_t order = N;

    // Coefficients.
    float c[N] = {};
    // State, per section.
    float xPrev[N] = {};
    float yPrev[N] = {};
};

using HalfbandFilter12 = HalfbandFilter<12>;
using HalfbandFilter8 = HalfbandFilter<8>;
using HalfbandFilter4 = HalfbandFilter<4>;

// Design tables (doubles; converted to float on loading).
extern const double kHalfbandCoefficients12[12];
extern const double kHalfbandCoefficients8[8];
extern const double kHalfbandCoefficients4[4];

// Coefficients and state to zero.
template <std::size_t N> void resetHalfband(HalfbandFilter<N>& filter) noexcept;

// Loads the table of the filter's order into c (double -> float); the state
// is not touched, so running audio continues across a rate change.
void loadHalfbandCoefficients(HalfbandFilter12& filter) noexcept;
void loadHalfbandCoefficients(HalfbandFilter8& filter) noexcept;
void loadHalfbandCoefficients(HalfbandFilter4& filter) noexcept;

// The same with the table named by the caller; its length must match.
template <std::size_t N>
void loadHalfbandCoefficients(HalfbandFilter<N>& filter, const double (&table)[N]) noexcept;

// One first-order allpass section per lane: t = (s - yPrev) c + xPrev;
// xPrev = s; yPrev = t; returns t.  F is float or __m128.
template <class F> VORLA_LANE_INLINE F stepAllpassSection(F c, F& xPrev, F& yPrev, F s) noexcept;

// Sections 0 .. P-1 in cascade, each lane its own cascade: the output of
// section j is the input of section j + 1.
template <class F, std::size_t P>
VORLA_LANE_INLINE F runAllpassSections(const F (&c)[P], F (&xPrev)[P], F (&yPrev)[P], F s) noexcept;

// Up-sampling step: one low-rate sample in, two high-rate samples out.
template <std::size_t N>
inline void processHalfband(HalfbandFilter<N>& filter, float input, float& earlier,
                            float& later) noexcept;

// Down-sampling step: two consecutive high-rate samples in, one out.
template <std::size_t N>
inline float decimateHalfband(HalfbandFilter<N>& filter, float first, float second) noexcept;

// ---------------------------------------------------------------------------
// Inline implementation
// ---------------------------------------------------------------------------

template <std::size_t N> void resetHalfband(HalfbandFilter<N>& filter) noexcept
{
    for (std::size_t k = 0; k < N; ++k)
    {
        filter.c[k] = 0.0f;
        filter.xPrev[k] = 0.0f;
        filter.yPrev[k] = 0.0f;
    }
}

template <std::size_t N>
void loadHalfbandCoefficients(HalfbandFilter<N>& filter, const double (&table)[N]) noexcept
{
    for (std::size_t k = 0; k < N; ++k)
    {
        filter.c[k] = static_cast<float>(table[k]);
    }
}

template <class F> VORLA_LANE_INLINE F stepAllpassSection(F c, F& xPrev, F& yPrev, F s) noexcept
{
    const F t = (s - yPrev) * c + xPrev;
    xPrev = s;
    yPrev = t;
    return t;
}

template <class F, std::size_t P>
VORLA_LANE_INLINE F runAllpassSections(const F (&c)[P], F (&xPrev)[P], F (&yPrev)[P], F s) noexcept
{
    for (std::size_t j = 0; j < P; ++j)
        s = stepAllpassSection(c[j], xPrev[j], yPrev[j], s);
    return s;
}

namespace detail {

// Runs one path: sections first, first + 2, first + 4, ...
template <std::size_t N>
inline float runHalfbandPath(HalfbandFilter<N>& f, std::size_t first, float s) noexcept
{
    for (std::size_t k = first; k < N; k += 2)
        s = stepAllpassSection(f.c[k], f.xPrev[k], f.yPrev[k], s);
    return s;
}

} // namespace detail

template <std::size_t N>
inline void processHalfband(HalfbandFilter<N>& filter, float input, float& earlier,
                            float& later) noexcept
{
    earlier = detail::runHalfbandPath(filter, 0, input);
    later = detail::runHalfbandPath(filter, 1, input);
}

template <std::size_t N>
inline float decimateHalfband(HalfbandFilter<N>& filter, float first, float second) noexcept
{
    const float a = detail::runHalfbandPath(filter, 0, second);
    const float b = detail::runHalfbandPath(filter, 1, first);
    return 0.5f * (a + b);
}

} // namespace vorla
