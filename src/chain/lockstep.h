// Two amplifier sides in lock-step: the model of both stereo sides runs as
// the two lanes of one SSE2 instruction stream.
//
// The sides share every switch and knob, so they always take the same
// voicing; only the signal differs.  Each lane performs exactly the scalar
// operations of the one-side primitives (dsp/triode_stage.h, dsp/biquad.h,
// dsp/tone_stack.h, dsp/tube_table.h and stageShaper), in the same order:
// SSE2 addition, subtraction, multiplication, division and square root are
// correctly rounded per lane, so every lane gives the same bits as the
// scalar code.  Data-dependent choices become per-lane selects; exp and the
// tone stack's coefficient update stay scalar calls per lane.
//
// The coefficients of both sides are loaded into lanes once per chunk of
// samples (StageCoefficients, BiquadCoefficients, ToneCoefficients); states
// are loaded from the two records for a step and stored back, or, for the
// stages, kept in lanes for the chunk (StageState).  The same two-lane stage
// step also serves one side, with two different stages in the lanes.  On
// processors with AVX the stereo loop steps two such stage pairs in one
// 256-bit register (lockstep_wide.h).
#pragma once

#include "chain/amp_channel.h"
#include "dsp/tube_table.h"

#include <emmintrin.h>

#include <cmath>
#include <initializer_list>

// The lane steps fold into the chunk loops that call them, also into the
// loops compiled for wider registers.
#define VORLA_LANES_INLINE inline __attribute__((always_inline))

namespace vorla::lockstep {

using Lanes = __m128d; // lane 0: first side, lane 1: second side

inline Lanes load(const double& first, const double& second) noexcept
{
    return _mm_loadh_pd(_mm_load_sd(&first), &second);
}

inline void store(double& first, double& second, Lanes v) noexcept
{
    _mm_storel_pd(&first, v);
    _mm_storeh_pd(&second, v);
}

inline Lanes splat(double v) noexcept
{
    return _mm_set1_pd(v);
}

// GCC and Clang give __m128d the arithmetic operators as element-wise
// addpd, subpd, mulpd and divpd.

/// Per lane: mask ? yes : no.
inline Lanes select(Lanes mask, Lanes yes, Lanes no) noexcept
{
    return _mm_or_pd(_mm_and_pd(mask, yes), _mm_andnot_pd(mask, no));
}

inline double lane0(Lanes v) noexcept
{
    return _mm_cvtsd_f64(v);
}
inline double lane1(Lanes v) noexcept
{
    return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v));
}

// --- Coefficients in lanes ----------------------------------------------------------

/// The coefficients of two stages, one per lane, loaded once per chunk of
/// samples rather than at every step.
struct StageCoefficients
{
    Lanes F, halfInvF, invRg, invRp, cathodeCoef, couplingCoef, Vb, Ck;
    Lanes c0, c1, c2, c3, c4, c5, c6, c7, c8, c9, c10, c11, c12;
};

inline StageCoefficients packStage(const TriodeStage& s0, const TriodeStage& s1) noexcept
{
    StageCoefficients k;
    k.F = load(s0.F, s1.F);
    k.halfInvF = load(s0.halfInvF, s1.halfInvF);
    k.invRg = load(s0.invRg, s1.invRg);
    k.invRp = load(s0.invRp, s1.invRp);
    k.cathodeCoef = load(s0.cathodeCoef, s1.cathodeCoef);
    k.couplingCoef = load(s0.couplingCoef, s1.couplingCoef);
    k.Vb = load(s0.Vb, s1.Vb);
    k.Ck = load(s0.Ck, s1.Ck);
    k.c0 = load(s0.c0, s1.c0);
    k.c1 = load(s0.c1, s1.c1);
    k.c2 = load(s0.c2, s1.c2);
    k.c3 = load(s0.c3, s1.c3);
    k.c4 = load(s0.c4, s1.c4);
    k.c5 = load(s0.c5, s1.c5);
    k.c6 = load(s0.c6, s1.c6);
    k.c7 = load(s0.c7, s1.c7);
    k.c8 = load(s0.c8, s1.c8);
    k.c9 = load(s0.c9, s1.c9);
    k.c10 = load(s0.c10, s1.c10);
    k.c11 = load(s0.c11, s1.c11);
    k.c12 = load(s0.c12, s1.c12);
    return k;
}

struct BiquadCoefficients
{
    Lanes norm, a1, a2, b0, b1, b2;
};

inline BiquadCoefficients packBiquad(const Biquad& q0, const Biquad& q1) noexcept
{
    return {load(q0.norm, q1.norm), load(q0.a1, q1.a1), load(q0.a2, q1.a2),
            load(q0.b0, q1.b0),     load(q0.b1, q1.b1), load(q0.b2, q1.b2)};
}

struct ToneCoefficients
{
    Lanes B0, B1, B2, B3, A1, A2, A3;
};

/// Brings both tone stacks' coefficients up to the controls (as their first
/// sample would) and loads them.
inline ToneCoefficients packToneStack(ToneStack& t0, ToneStack& t1, const BlockSnapshot& s) noexcept
{
    for (ToneStack* ts : {&t0, &t1})
        if (s.low != ts->low || s.mid != ts->mid || s.high != ts->high || s.contour != ts->contour)
            updateToneStackCoefficients(*ts, s.low, s.mid, s.high, s.contour);
    return {load(t0.B0n, t1.B0n), load(t0.B1n, t1.B1n), load(t0.B2n, t1.B2n), load(t0.B3n, t1.B3n),
            load(t0.A1n, t1.A1n), load(t0.A2n, t1.A2n), load(t0.A3n, t1.A3n)};
}

// --- Triode stage ------------------------------------------------------------

/// The state of two stages, one per lane.
struct StageState
{
    Lanes Vg, Vk, Vp, Ig, Ip, out;

    void load(const TriodeStage& s0, const TriodeStage& s1) noexcept
    {
        Vg = lockstep::load(s0.Vg, s1.Vg);
        Vk = lockstep::load(s0.Vk, s1.Vk);
        Vp = lockstep::load(s0.Vp, s1.Vp);
        Ig = lockstep::load(s0.Ig, s1.Ig);
        Ip = lockstep::load(s0.Ip, s1.Ip);
        out = lockstep::load(s0.out, s1.out);
    }

    void store(TriodeStage& s0, TriodeStage& s1) const noexcept
    {
        lockstep::store(s0.Vg, s1.Vg, Vg);
        lockstep::store(s0.Vk, s1.Vk, Vk);
        lockstep::store(s0.Vp, s1.Vp, Vp);
        lockstep::store(s0.Ig, s1.Ig, Ig);
        lockstep::store(s0.Ip, s1.Ip, Ip);
        lockstep::store(s0.out, s1.out, out);
    }
};

/// processTriodeStage on two stages whose coefficients `k` and state `st`
/// hold, one per lane.
VORLA_LANES_INLINE void processTriodeStage(const StageCoefficients& k, StageState& st,
                                           Lanes& sample, Lanes rate) noexcept
{
    const Lanes one = splat(1.0);
    const Lanes zero = _mm_setzero_pd();

    const Lanes Vk = st.Vk;
    const Lanes VpOld = st.Vp;
    const Lanes outOld = st.out;

    const Lanes x = sample;
    const Lanes vkOld = Vk;
    const Lanes drive = x - vkOld;

    // Grid current where the grid would rise above the cathode.
    const Lanes conducting = _mm_cmpge_pd(drive, zero);
    Lanes Vg = x;
    if (_mm_movemask_pd(conducting) != 0)
    {
        const Lanes clamped =
            (_mm_sqrt_pd(one + splat(4.0) * k.F * drive) + splat(2.0) * k.F * vkOld - one) *
            k.halfInvF;
        Vg = select(conducting, clamped, x);
    }
    const Lanes Ig = (x - Vg) * k.invRg;

    // Plate from the curve, cut off below -10 V, limited by the supply.
    const Lanes v = Vg - vkOld;
    const Lanes num =
        ((((((k.c12 * v + k.c10) * v + k.c8) * v + k.c6) * v + k.c4) * v + k.c2) * v + k.c0);
    const Lanes den =
        ((((((k.c11 * v + k.c9) * v + k.c7) * v + k.c5) * v + k.c3) * v + k.c1) * v + one);
    const Lanes vpk = select(_mm_cmplt_pd(v, splat(-10.0)), k.Vb, num / den);
    // (limit < vpNew) ? limit : vpNew, as the scalar test vpNew > limit.
    const Lanes vpNew = _mm_min_pd(k.Vb + vkOld, vpk + vkOld);
    const Lanes Ip = (k.Vb - vpNew) * k.invRp;

    const Lanes out = k.couplingCoef * (outOld + vpNew - VpOld);
    sample = out;

    const Lanes vk = (Ip + Ig + k.Ck * vkOld * rate) * k.cathodeCoef;

    st.Vg = Vg;
    st.Vk = _mm_andnot_pd(_mm_cmple_pd(vk, zero), vk);
    st.Vp = vpNew;
    st.Ig = Ig;
    st.Ip = Ip;
    st.out = out;
}

/// The same on two stage records (lane 0: s0, lane 1: s1).
inline void processTriodeStage(const StageCoefficients& k, TriodeStage& s0, TriodeStage& s1,
                               Lanes& sample, Lanes rate) noexcept
{
    StageState st;
    st.load(s0, s1);
    processTriodeStage(k, st, sample, rate);
    st.store(s0, s1);
}

inline void processTriodeStage(TriodeStage& s0, TriodeStage& s1, Lanes& sample, Lanes rate) noexcept
{
    processTriodeStage(packStage(s0, s1), s0, s1, sample, rate);
}

// --- Biquad --------------------------------------------------------------------

/// The histories of two biquads, one per lane.
struct BiquadState
{
    Lanes x1, x2, y1, y2;

    void load(const Biquad& q0, const Biquad& q1) noexcept
    {
        x1 = lockstep::load(q0.x1, q1.x1);
        x2 = lockstep::load(q0.x2, q1.x2);
        y1 = lockstep::load(q0.y1, q1.y1);
        y2 = lockstep::load(q0.y2, q1.y2);
    }

    void store(Biquad& q0, Biquad& q1) const noexcept
    {
        lockstep::store(q0.x1, q1.x1, x1);
        lockstep::store(q0.x2, q1.x2, x2);
        lockstep::store(q0.y1, q1.y1, y1);
        lockstep::store(q0.y2, q1.y2, y2);
    }
};

/// processBiquad on two biquads whose coefficients `k` and histories `st`
/// hold, one per lane.
VORLA_LANES_INLINE void processBiquad(const BiquadCoefficients& k, BiquadState& st,
                                      Lanes& sample) noexcept
{
    const Lanes x = sample;
    const Lanes y = (k.b0 * x + k.b1 * st.x1 + k.b2 * st.x2 - k.a1 * st.y1 - k.a2 * st.y2) * k.norm;
    st.x2 = st.x1;
    st.x1 = x;
    st.y2 = st.y1;
    st.y1 = y;
    sample = y;
}

/// processBiquad on both sides.
inline void processBiquad(const BiquadCoefficients& k, Biquad& q0, Biquad& q1,
                          Lanes& sample) noexcept
{
    BiquadState st;
    st.load(q0, q1);
    processBiquad(k, st, sample);
    st.store(q0, q1);
}

inline void processBiquad(Biquad& q0, Biquad& q1, Lanes& sample) noexcept
{
    processBiquad(packBiquad(q0, q1), q0, q1, sample);
}

// --- Tone stack ------------------------------------------------------------------

/// The filter state of two tone stacks, one per lane.
struct ToneState
{
    Lanes s0, s1, s2;

    void load(const ToneStack& t0, const ToneStack& t1) noexcept
    {
        s0 = lockstep::load(t0.s0, t1.s0);
        s1 = lockstep::load(t0.s1, t1.s1);
        s2 = lockstep::load(t0.s2, t1.s2);
    }

    void store(ToneStack& t0, ToneStack& t1) const noexcept
    {
        lockstep::store(t0.s0, t1.s0, s0);
        lockstep::store(t0.s1, t1.s1, s1);
        lockstep::store(t0.s2, t1.s2, s2);
    }
};

/// processToneStack on two tone stacks whose coefficients `k` (from
/// packToneStack) and state `st` hold, one per lane.
VORLA_LANES_INLINE void processToneStack(const ToneCoefficients& k, ToneState& st,
                                         Lanes& sample) noexcept
{
    const Lanes x = sample;
    const Lanes y = k.B0 * x + st.s0;
    st.s0 = k.B1 * x + st.s1 - k.A1 * y;
    st.s1 = k.B2 * x + st.s2 - k.A2 * y;
    st.s2 = k.B3 * x - k.A3 * y;
    sample = y;
}

/// processToneStack on both sides, with coefficients from packToneStack.
inline void processToneStack(const ToneCoefficients& k, ToneStack& t0, ToneStack& t1,
                             Lanes& sample) noexcept
{
    ToneState st;
    st.load(t0, t1);
    processToneStack(k, st, sample);
    st.store(t0, t1);
}

inline void processToneStack(ToneStack& t0, ToneStack& t1, const BlockSnapshot& s,
                             Lanes& sample) noexcept
{
    processToneStack(packToneStack(t0, t1, s), t0, t1, sample);
}

// --- Power stage curve -------------------------------------------------------------

/// lookupTubeTable on both lanes.
VORLA_LANES_INLINE Lanes lookupTubeTable(Lanes x) noexcept
{
    const TubePoint* p = kTubeTable.pairs;
    const Lanes low = _mm_cmple_pd(x, splat(-180.0));
    // Not below 180: 180 or more, or NaN.
    const Lanes high = _mm_cmpnlt_pd(x, splat(180.0));
    const Lanes inside = _mm_andnot_pd(_mm_or_pd(low, high), _mm_castsi128_pd(_mm_set1_epi32(-1)));

    // Index per lane; 10 x + 1999 is positive inside (-180, 180), where
    // truncation is the floor.  Lanes outside use the centre row and are
    // replaced below.
    const Lanes xi = _mm_and_pd(inside, x);
    const __m128i index = _mm_cvttpd_epi32(splat(10.0) * xi + splat(1999.0));
    const int i0 = _mm_cvtsi128_si32(index);
    const int i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 1));

    const Lanes x0 = load(p[i0].x, p[i1].x);
    const Lanes x1 = load(p[i0 + 1].x, p[i1 + 1].x);
    const Lanes ym = load(p[i0 - 1].y, p[i1 - 1].y);
    const Lanes y0 = load(p[i0].y, p[i1].y);
    const Lanes y1 = load(p[i0 + 1].y, p[i1 + 1].y);
    const Lanes y2 = load(p[i0 + 2].y, p[i1 + 2].y);

    const Lanes t = (x - x0) / (x1 - x0);
    const Lanes half = splat(0.5);
    const Lanes two = splat(2.0);
    const Lanes m0 = (y1 - ym) * half;
    const Lanes m1 = (y2 - y0) * half;
    const Lanes ca = two * (y0 - y1) + m0 + m1;
    const Lanes cb = splat(3.0) * (y1 - y0) - two * m0 - m1;
    const Lanes curve = y0 + t * (m0 + t * (cb + t * ca));

    Lanes result = select(low, splat(p[0].y), curve);
    result = select(high, splat(p[kTubeTableSize - 1].y), result);
    return result;
}

/// lookupTubeTable for one sample.  Inside (-180, 180) the index
/// 10 x + 1999 is positive, so truncation gives its floor; the ends and NaN
/// go to the table's own lookup.
inline double lookupTubeTable(double x) noexcept
{
    if (!(x > -180.0 && x < 180.0))
        return vorla::lookupTubeTable(x);
    const TubePoint* p = kTubeTable.pairs;
    const int i = static_cast<int>(10.0 * x + 1999.0);
    const double t = (x - p[i].x) / (p[i + 1].x - p[i].x);
    const double ym = p[i - 1].y;
    const double y0 = p[i].y;
    const double y1 = p[i + 1].y;
    const double y2 = p[i + 2].y;
    const double m0 = (y1 - ym) * 0.5;
    const double m1 = (y2 - y0) * 0.5;
    const double a = 2.0 * (y0 - y1) + m0 + m1;
    const double b = 3.0 * (y1 - y0) - 2.0 * m0 - m1;
    return y0 + t * (m0 + t * (b + t * a));
}

// --- Shaper ------------------------------------------------------------------------

VORLA_LANES_INLINE Lanes stageShaper(Lanes x) noexcept
{
    const Lanes positive = _mm_cmpgt_pd(x, _mm_setzero_pd());
    const int lanes = _mm_movemask_pd(positive);
    if (lanes == 0)
        return x;
    const Lanes arg = splat(-0.004) * x;
    const double e0 = (lanes & 1) != 0 ? std::exp(lane0(arg)) : 0.0;
    const double e1 = (lanes & 2) != 0 ? std::exp(lane1(arg)) : 0.0;
    const Lanes shaped = splat(250.0) * (splat(1.0) - _mm_set_pd(e1, e0));
    return select(positive, shaped, x);
}

// --- The chain ------------------------------------------------------------------------

/// processPair for both sides at once: lane 0 of a and b belongs to
/// `first`, lane 1 to `second`.
void processPair(AmpChannel& first, AmpChannel& second, Lanes& a, Lanes& b,
                 const BlockSnapshot& snapshot, const PairFlags& flags,
                 const double& processRate) noexcept;

} // namespace vorla::lockstep
