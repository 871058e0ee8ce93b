// Four-lane triode stage step for processors with AVX.
//
// The stereo model runs its stages on SSE2 lanes, one side per lane.  With
// 256-bit registers two such pairs fit in one instruction stream: lanes 0
// and 1 hold one stage of both sides, lanes 2 and 3 another stage of both
// sides (the input stage on one sample and the voicing's first stage on the
// sample before, as the one-side loop pairs them).  AVX addition,
// subtraction, multiplication, division, square root, min and compare are
// correctly rounded or exact per lane like their SSE2 forms, so every lane
// gives the same bits as the scalar stage; no fused multiply-add is used.
//
// Every function here is compiled for AVX only (target attribute); callers
// must check the processor first (processorHasAvx, chain/chunk_buffers.h)
// and must themselves be AVX functions.
#pragma once

#include "chain/chunk_buffers.h"
#include "chain/lockstep.h"

#include <immintrin.h>

#define VORLA_AVX __attribute__((target("avx")))

namespace vorla::wide {

using Quad = __m256d; // lanes 0, 1: stage A of both sides; 2, 3: stage B

VORLA_AVX inline Quad join(lockstep::Lanes low, lockstep::Lanes high) noexcept
{
    return _mm256_insertf128_pd(_mm256_castpd128_pd256(low), high, 1);
}

VORLA_AVX inline lockstep::Lanes lowHalf(Quad v) noexcept
{
    return _mm256_castpd256_pd128(v);
}
VORLA_AVX inline lockstep::Lanes highHalf(Quad v) noexcept
{
    return _mm256_extractf128_pd(v, 1);
}

/// The coefficients of two stage pairs (see lockstep::StageCoefficients).
struct QuadCoefficients
{
    Quad F, halfInvF, invRg, invRp, cathodeCoef, couplingCoef, Vb, Ck;
    Quad c0, c1, c2, c3, c4, c5, c6, c7, c8, c9, c10, c11, c12;
};

VORLA_AVX inline QuadCoefficients joinStages(const lockstep::StageCoefficients& a,
                                             const lockstep::StageCoefficients& b) noexcept
{
    QuadCoefficients k;
    k.F = join(a.F, b.F);
    k.halfInvF = join(a.halfInvF, b.halfInvF);
    k.invRg = join(a.invRg, b.invRg);
    k.invRp = join(a.invRp, b.invRp);
    k.cathodeCoef = join(a.cathodeCoef, b.cathodeCoef);
    k.couplingCoef = join(a.couplingCoef, b.couplingCoef);
    k.Vb = join(a.Vb, b.Vb);
    k.Ck = join(a.Ck, b.Ck);
    k.c0 = join(a.c0, b.c0);
    k.c1 = join(a.c1, b.c1);
    k.c2 = join(a.c2, b.c2);
    k.c3 = join(a.c3, b.c3);
    k.c4 = join(a.c4, b.c4);
    k.c5 = join(a.c5, b.c5);
    k.c6 = join(a.c6, b.c6);
    k.c7 = join(a.c7, b.c7);
    k.c8 = join(a.c8, b.c8);
    k.c9 = join(a.c9, b.c9);
    k.c10 = join(a.c10, b.c10);
    k.c11 = join(a.c11, b.c11);
    k.c12 = join(a.c12, b.c12);
    return k;
}

/// The state of two stage pairs, one stage of both sides per half.
struct QuadState
{
    Quad Vg, Vk, Vp, Ig, Ip, out;

    VORLA_AVX void join(const lockstep::StageState& a, const lockstep::StageState& b) noexcept
    {
        Vg = wide::join(a.Vg, b.Vg);
        Vk = wide::join(a.Vk, b.Vk);
        Vp = wide::join(a.Vp, b.Vp);
        Ig = wide::join(a.Ig, b.Ig);
        Ip = wide::join(a.Ip, b.Ip);
        out = wide::join(a.out, b.out);
    }

    VORLA_AVX void split(lockstep::StageState& a, lockstep::StageState& b) const noexcept
    {
        a.Vg = lowHalf(Vg);
        b.Vg = highHalf(Vg);
        a.Vk = lowHalf(Vk);
        b.Vk = highHalf(Vk);
        a.Vp = lowHalf(Vp);
        b.Vp = highHalf(Vp);
        a.Ig = lowHalf(Ig);
        b.Ig = highHalf(Ig);
        a.Ip = lowHalf(Ip);
        b.Ip = highHalf(Ip);
        a.out = lowHalf(out);
        b.out = highHalf(out);
    }
};

/// One step of two stage pairs whose coefficients `k` and state `st` hold
/// (stage A in lanes 0 and 1 of `sample`, stage B in lanes 2 and 3).  The
/// same operations in the same order as lockstep::processTriodeStage.
VORLA_AVX inline __attribute__((always_inline)) void
processTriodeStages(const QuadCoefficients& k, QuadState& st, Quad& sample, Quad rate) noexcept
{
    const Quad one = _mm256_set1_pd(1.0);
    const Quad zero = _mm256_setzero_pd();

    const Quad vkOld = st.Vk;
    const Quad VpOld = st.Vp;
    const Quad outOld = st.out;

    const Quad x = sample;
    const Quad drive = x - vkOld;

    // Grid current where the grid would rise above the cathode.
    const Quad conducting = _mm256_cmp_pd(drive, zero, _CMP_GE_OQ);
    Quad Vg = x;
    if (_mm256_movemask_pd(conducting) != 0)
    {
        const Quad clamped = (_mm256_sqrt_pd(one + _mm256_set1_pd(4.0) * k.F * drive) +
                              _mm256_set1_pd(2.0) * k.F * vkOld - one) *
                             k.halfInvF;
        Vg = _mm256_blendv_pd(x, clamped, conducting);
    }
    const Quad Ig = (x - Vg) * k.invRg;

    // Plate from the curve, cut off below -10 V, limited by the supply.
    const Quad v = Vg - vkOld;
    const Quad num =
        ((((((k.c12 * v + k.c10) * v + k.c8) * v + k.c6) * v + k.c4) * v + k.c2) * v + k.c0);
    const Quad den =
        ((((((k.c11 * v + k.c9) * v + k.c7) * v + k.c5) * v + k.c3) * v + k.c1) * v + one);
    const Quad cutOff = _mm256_cmp_pd(v, _mm256_set1_pd(-10.0), _CMP_LT_OQ);
    const Quad vpk = _mm256_blendv_pd(num / den, k.Vb, cutOff);
    // (limit < vpNew) ? limit : vpNew, as the scalar test vpNew > limit.
    const Quad vpNew = _mm256_min_pd(k.Vb + vkOld, vpk + vkOld);
    const Quad Ip = (k.Vb - vpNew) * k.invRp;

    const Quad out = k.couplingCoef * (outOld + vpNew - VpOld);
    sample = out;

    const Quad vk = (Ip + Ig + k.Ck * vkOld * rate) * k.cathodeCoef;

    st.Vg = Vg;
    st.Vk = _mm256_andnot_pd(_mm256_cmp_pd(vk, zero, _CMP_LE_OQ), vk);
    st.Vp = vpNew;
    st.Ig = Ig;
    st.Ip = Ip;
    st.out = out;
}

} // namespace vorla::wide
