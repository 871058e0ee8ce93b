// SPDX-License-Identifier: GPL-3.0-or-later
// Lane types: the sample types every per-sample primitive is written for.
//
// Each primitive (the triode step, the tube-curve lookup, the biquad, the
// tone-stack step, the half-band section) is one template over its lane
// type, so one sample and several samples in SIMD lanes run the very same
// operations in the very same order:
//
//   double    one sample (the reference, and the scalar parts of the chain)
//   __m128d   two double lanes (SSE2, every x86-64 processor)
//   __m256d   four double lanes (AVX; only where the processor has it)
//   __m512d   eight double lanes (AVX-512 F; likewise)
//   float     one half-band sample
//   __m128    four float lanes for the half-band sections
//
// Why the lanes give the scalar bits: SSE2, AVX and AVX-512 addition, subtraction,
// multiplication, division and square root are correctly rounded per lane
// exactly like the scalar instructions, min and the compares are exact, and
// the build forbids contraction into fused multiply-adds.  Data-dependent
// choices become per-lane selects that compute both sides and keep one;
// neither side has an effect of its own, so the kept value is the scalar
// one.  Nothing here is approximated: a function the hardware cannot do per
// lane (exp) is called per lane by the caller.
//
// Masks: a comparison gives bool for double, an all-ones/all-zeros lane
// pattern for the SSE2 and AVX types and a bit per lane for __m512d
// (Mask<L>).
//
// AVX: the __m256d operations are compiled for AVX (target attribute), the
// __m512d ones for AVX-512 F, and
// are plain inline functions.  The primitive templates are always inlined,
// so an instantiation for __m256d is only ever code inside an AVX function
// of the caller, which then inlines these operations too.  Such callers must
// check the processor first (processorHasAvx) and be compiled for AVX
// themselves (VORLA_AVX, best with flatten so nothing stays a call).
#pragma once

// GCC 12's AVX-512 intrinsics start from a deliberately undefined vector
// (`__Y = __Y`), which -Wmaybe-uninitialized reports once they are inlined;
// the state of the warning goes by the header's own lines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include <cmath>
#include <cstddef>
#include <cstring>

// Every lane-generic primitive is folded into its caller, also into callers
// compiled for wider registers.
#define VORLA_LANE_INLINE inline __attribute__((always_inline))
// A lambda folded into its caller like VORLA_LANE_INLINE functions (GCC
// otherwise compiles a lambda in a lane template on its own, where it cannot
// take in the wider operations of its caller).
#define VORLA_LAMBDA_INLINE __attribute__((always_inline))
// A function compiled for AVX; call it only when processorHasAvx() is true.
#define VORLA_AVX __attribute__((target("avx")))
// A function compiled for AVX-512 F and VL (lanes as with AVX, 32 registers);
// call it only when processorHasAvx512() is true.
#define VORLA_AVX512 __attribute__((target("avx512f,avx512vl")))

namespace vorla {

/// True when the processor and the operating system support AVX.  Asked
/// once, when an effect is created; not for the audio thread's inner loops.
inline bool processorHasAvx() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
}

/// True when the processor and the operating system support AVX-512 F and
/// VL: the same 256-bit lanes, with 32 vector registers instead of 16.
inline bool processorHasAvx512() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512vl") != 0;
}

namespace lanes {

template <class L> struct Traits;

template <> struct Traits<double>
{
    static constexpr int width = 1;
    using Mask = bool;
    using Scalar = double;
};
template <> struct Traits<__m128d>
{
    static constexpr int width = 2;
    using Mask = __m128d;
    using Scalar = double;
};
template <> struct Traits<__m256d>
{
    static constexpr int width = 4;
    using Mask = __m256d;
    using Scalar = double;
};
template <> struct Traits<__m512d>
{
    static constexpr int width = 8;
    using Mask = __mmask8; // AVX-512 compares give a bit per lane
    using Scalar = double;
};
template <> struct Traits<float>
{
    static constexpr int width = 1;
    using Mask = bool;
    using Scalar = float;
};
template <> struct Traits<__m128>
{
    static constexpr int width = 4;
    using Mask = __m128;
    using Scalar = float;
};

template <class L> inline constexpr int kWidth = Traits<L>::width;
template <class L> using Mask = typename Traits<L>::Mask;

// GCC and Clang give the vector types the arithmetic operators + - * / as
// element-wise instructions; the functions below are the rest.

// --- Broadcast ---------------------------------------------------------------------

/// `v` in every lane.
template <class L> L splat(double v) noexcept;

template <> VORLA_LANE_INLINE double splat<double>(double v) noexcept
{
    return v;
}
template <> VORLA_LANE_INLINE __m128d splat<__m128d>(double v) noexcept
{
    return _mm_set1_pd(v);
}
template <> VORLA_AVX inline __m256d splat<__m256d>(double v) noexcept
{
    return _mm256_set1_pd(v);
}
template <> VORLA_AVX512 inline __m512d splat<__m512d>(double v) noexcept
{
    return _mm512_set1_pd(v);
}

// --- Lanes to and from doubles -----------------------------------------------------

/// The vector holding v[0] in lane 0, v[1] in lane 1, ...
template <class L> L fromLanes(const double* v) noexcept;

template <> VORLA_LANE_INLINE double fromLanes<double>(const double* v) noexcept
{
    return v[0];
}
template <> VORLA_LANE_INLINE __m128d fromLanes<__m128d>(const double* v) noexcept
{
    return _mm_setr_pd(v[0], v[1]);
}
template <> VORLA_AVX inline __m256d fromLanes<__m256d>(const double* v) noexcept
{
    return _mm256_setr_pd(v[0], v[1], v[2], v[3]);
}
template <> VORLA_AVX512 inline __m512d fromLanes<__m512d>(const double* v) noexcept
{
    return _mm512_loadu_pd(v);
}

/// Writes lane i of `x` to v[i].
VORLA_LANE_INLINE void toLanes(double x, double* v) noexcept
{
    v[0] = x;
}
VORLA_LANE_INLINE void toLanes(__m128d x, double* v) noexcept
{
    _mm_storeu_pd(v, x);
}
VORLA_AVX inline void toLanes(__m256d x, double* v) noexcept
{
    _mm256_storeu_pd(v, x);
}
VORLA_AVX512 inline void toLanes(__m512d x, double* v) noexcept
{
    _mm512_storeu_pd(v, x);
}

// --- Arithmetic beyond the operators --------------------------------------------------

VORLA_LANE_INLINE double sqrt(double x) noexcept
{
    return std::sqrt(x);
}
VORLA_LANE_INLINE __m128d sqrt(__m128d x) noexcept
{
    return _mm_sqrt_pd(x);
}
VORLA_AVX inline __m256d sqrt(__m256d x) noexcept
{
    return _mm256_sqrt_pd(x);
}
VORLA_AVX512 inline __m512d sqrt(__m512d x) noexcept
{
    return _mm512_sqrt_pd(x);
}

/// a < b ? a : b per lane (so b when either is NaN), the x86 min.
VORLA_LANE_INLINE double min(double a, double b) noexcept
{
    return a < b ? a : b;
}
VORLA_LANE_INLINE __m128d min(__m128d a, __m128d b) noexcept
{
    return _mm_min_pd(a, b);
}
VORLA_AVX inline __m256d min(__m256d a, __m256d b) noexcept
{
    return _mm256_min_pd(a, b);
}
VORLA_AVX512 inline __m512d min(__m512d a, __m512d b) noexcept
{
    return _mm512_min_pd(a, b);
}

// --- Comparisons (false where either side is NaN, unless said) -----------------------

VORLA_LANE_INLINE bool lessThan(double a, double b) noexcept
{
    return a < b;
}
VORLA_LANE_INLINE __m128d lessThan(__m128d a, __m128d b) noexcept
{
    return _mm_cmplt_pd(a, b);
}
VORLA_AVX inline __m256d lessThan(__m256d a, __m256d b) noexcept
{
    return _mm256_cmp_pd(a, b, _CMP_LT_OQ);
}
VORLA_AVX512 inline __mmask8 lessThan(__m512d a, __m512d b) noexcept
{
    return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ);
}

VORLA_LANE_INLINE bool lessEqual(double a, double b) noexcept
{
    return a <= b;
}
VORLA_LANE_INLINE __m128d lessEqual(__m128d a, __m128d b) noexcept
{
    return _mm_cmple_pd(a, b);
}
VORLA_AVX inline __m256d lessEqual(__m256d a, __m256d b) noexcept
{
    return _mm256_cmp_pd(a, b, _CMP_LE_OQ);
}
VORLA_AVX512 inline __mmask8 lessEqual(__m512d a, __m512d b) noexcept
{
    return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ);
}

VORLA_LANE_INLINE bool greaterThan(double a, double b) noexcept
{
    return a > b;
}
VORLA_LANE_INLINE __m128d greaterThan(__m128d a, __m128d b) noexcept
{
    return _mm_cmpgt_pd(a, b);
}
VORLA_AVX inline __m256d greaterThan(__m256d a, __m256d b) noexcept
{
    return _mm256_cmp_pd(a, b, _CMP_GT_OQ);
}
VORLA_AVX512 inline __mmask8 greaterThan(__m512d a, __m512d b) noexcept
{
    return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ);
}

VORLA_LANE_INLINE bool greaterEqual(double a, double b) noexcept
{
    return a >= b;
}
VORLA_LANE_INLINE __m128d greaterEqual(__m128d a, __m128d b) noexcept
{
    return _mm_cmpge_pd(a, b);
}
VORLA_AVX inline __m256d greaterEqual(__m256d a, __m256d b) noexcept
{
    return _mm256_cmp_pd(a, b, _CMP_GE_OQ);
}
VORLA_AVX512 inline __mmask8 greaterEqual(__m512d a, __m512d b) noexcept
{
    return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ);
}

/// !(a < b): true where a >= b and where either side is NaN.
VORLA_LANE_INLINE bool notLessThan(double a, double b) noexcept
{
    return !(a < b);
}
VORLA_LANE_INLINE __m128d notLessThan(__m128d a, __m128d b) noexcept
{
    return _mm_cmpnlt_pd(a, b);
}
VORLA_AVX inline __m256d notLessThan(__m256d a, __m256d b) noexcept
{
    return _mm256_cmp_pd(a, b, _CMP_NLT_UQ);
}
VORLA_AVX512 inline __mmask8 notLessThan(__m512d a, __m512d b) noexcept
{
    return _mm512_cmp_pd_mask(a, b, _CMP_NLT_UQ);
}

// --- Masks ---------------------------------------------------------------------------

/// Per lane: mask ? yes : no.
VORLA_LANE_INLINE double select(bool mask, double yes, double no) noexcept
{
    return mask ? yes : no;
}
VORLA_LANE_INLINE __m128d select(__m128d mask, __m128d yes, __m128d no) noexcept
{
    return _mm_or_pd(_mm_and_pd(mask, yes), _mm_andnot_pd(mask, no));
}
VORLA_AVX inline __m256d select(__m256d mask, __m256d yes, __m256d no) noexcept
{
    // Bitwise, not blendv: GCC turns a blendv on a compare into a vector
    // condition that it then splits into one branch per lane.
    return _mm256_or_pd(_mm256_and_pd(mask, yes), _mm256_andnot_pd(mask, no));
}
VORLA_AVX512 inline __m512d select(__mmask8 mask, __m512d yes, __m512d no) noexcept
{
    return _mm512_mask_blend_pd(mask, no, yes);
}

/// Bit i set where lane i of the mask is set.
VORLA_LANE_INLINE int laneBits(bool mask) noexcept
{
    return mask ? 1 : 0;
}
VORLA_LANE_INLINE int laneBits(__m128d mask) noexcept
{
    return _mm_movemask_pd(mask);
}
VORLA_AVX inline int laneBits(__m256d mask) noexcept
{
    return _mm256_movemask_pd(mask);
}
VORLA_LANE_INLINE int laneBits(__mmask8 mask) noexcept
{
    return mask;
}

/// True when the mask is set in some lane.
template <class M> VORLA_LANE_INLINE bool any(M mask) noexcept
{
    return laneBits(mask) != 0;
}

/// The mask set in lane i where bit i of `bits` is set (the inverse of
/// laneBits).
template <class L> Mask<L> laneMask(int bits) noexcept;

template <> VORLA_LANE_INLINE bool laneMask<double>(int bits) noexcept
{
    return (bits & 1) != 0;
}
template <> VORLA_LANE_INLINE __m128d laneMask<__m128d>(int bits) noexcept
{
    return _mm_castsi128_pd(_mm_set_epi64x(-static_cast<long long>((bits >> 1) & 1),
                                           -static_cast<long long>(bits & 1)));
}
template <> VORLA_AVX inline __m256d laneMask<__m256d>(int bits) noexcept
{
    return _mm256_castsi256_pd(_mm256_set_epi64x(
        -static_cast<long long>((bits >> 3) & 1), -static_cast<long long>((bits >> 2) & 1),
        -static_cast<long long>((bits >> 1) & 1), -static_cast<long long>(bits & 1)));
}
template <> VORLA_LANE_INLINE __mmask8 laneMask<__m512d>(int bits) noexcept
{
    return static_cast<__mmask8>(bits);
}

// --- Float lanes (half-band sections) --------------------------------------------------
// float and __m128 need only the operators + - *.

} // namespace lanes

// --- Records of lanes -------------------------------------------------------------------
//
// A primitive keeps what its step reads in small records templated on the
// lane type (TriodeCoefficients<L>, BiquadState<L>, ...), each a plain list of
// L fields.  The one-sample record of the primitive is made of the double
// versions, and these move whole records between one-sample records and
// lanes, field by field, without naming a field again.

/// Lane i of every field of the result from records[i].  The records are
/// trivially copyable lists of doubles (tests/dsp/headers_test.cpp holds the
/// layout) and lane i of a vector lies i doubles into it, so the fields move
/// as bytes: no lane instruction, so this serves functions compiled for any
/// instruction set.
template <template <class> class Record, class L>
inline Record<L> gatherLanes(const Record<double>* const* records) noexcept
{
    constexpr int W = lanes::kWidth<L>;
    constexpr std::size_t fields = sizeof(Record<double>) / sizeof(double);
    static_assert(sizeof(Record<L>) == fields * sizeof(L), "a lane record holds only lane fields");
    static_assert(sizeof(L) == W * sizeof(double), "lanes of doubles");
    Record<L> out;
    for (std::size_t f = 0; f < fields; ++f)
        for (int i = 0; i < W; ++i)
            std::memcpy(reinterpret_cast<char*>(&out) + f * sizeof(L) + i * sizeof(double),
                        reinterpret_cast<const char*>(records[i]) + f * sizeof(double),
                        sizeof(double));
    return out;
}

/// Per lane and field: mask ? yes : no (a record of lanes kept where the
/// mask is clear, e.g. the state of a stage that had no sample to step).
template <template <class> class Record, class L>
VORLA_LANE_INLINE Record<L> selectLanes(lanes::Mask<L> mask, const Record<L>& yes,
                                        const Record<L>& no) noexcept
{
    constexpr std::size_t fields = sizeof(Record<L>) / sizeof(L);
    static_assert(sizeof(Record<L>) == fields * sizeof(L), "a lane record holds only lane fields");
    Record<L> out;
    for (std::size_t f = 0; f < fields; ++f)
    {
        L a;
        L b;
        std::memcpy(&a, reinterpret_cast<const char*>(&yes) + f * sizeof(L), sizeof(L));
        std::memcpy(&b, reinterpret_cast<const char*>(&no) + f * sizeof(L), sizeof(L));
        const L c = lanes::select(mask, a, b);
        std::memcpy(reinterpret_cast<char*>(&out) + f * sizeof(L), &c, sizeof(L));
    }
    return out;
}

/// Lane i of every field of `in` back to records[i].
template <template <class> class Record, class L>
inline void scatterLanes(const Record<L>& in, Record<double>* const* records) noexcept
{
    constexpr int W = lanes::kWidth<L>;
    constexpr std::size_t fields = sizeof(Record<double>) / sizeof(double);
    static_assert(sizeof(Record<L>) == fields * sizeof(L), "a lane record holds only lane fields");
    static_assert(sizeof(L) == W * sizeof(double), "lanes of doubles");
    for (std::size_t f = 0; f < fields; ++f)
        for (int i = 0; i < W; ++i)
            std::memcpy(reinterpret_cast<char*>(records[i]) + f * sizeof(double),
                        reinterpret_cast<const char*>(&in) + f * sizeof(L) + i * sizeof(double),
                        sizeof(double));
}

} // namespace vorla
