// SPDX-License-Identifier: GPL-3.0-or-later
// exact_exp_inline.h - the library's exp as inline code (dsp/exact_exp.h).
//
// exact_exp::exp<true> is the fused form: it inlines only into code compiled
// for FMA (a target attribute or -mfma), which runs only where
// fusedExpMatchesLibrary() said yes.  exp<false> is the plain form, for
// comparison in tests.
#pragma once

#include "dsp/exact_exp.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace vorla::exact_exp {

inline constexpr double kInvLn2N = 0x1.71547652b82fep0 * kTableSize; // 128 / ln2
inline constexpr double kShift = 0x1.8p52; // x + kShift rounds x to an integer in the low bits
inline constexpr double kNegLn2HiN = -0x1.62e42fefa0000p-8;  // -ln2/128, high part
inline constexpr double kNegLn2LoN = -0x1.cf79abc9e3b3ap-47; // -ln2/128 minus the high part
// The polynomial for exp(r) - 1 - r on |r| <= ln2/256 (C2 is not quite 1/2).
inline constexpr double kC2 = 0x1.ffffffffffdbdp-2;
inline constexpr double kC3 = 0x1.555555555543cp-3;
inline constexpr double kC4 = 0x1.55555cf172b91p-5;
inline constexpr double kC5 = 0x1.1111167a4d017p-7;

// a * b + c, rounded once (Fused) or twice (the build never contracts).
template <bool Fused>
inline __attribute__((always_inline)) double mulAdd(double a, double b, double c) noexcept
{
    if constexpr (Fused)
        return __builtin_fma(a, b, c);
    else
        return a * b + c;
}

/// The library's fast path, for 2^-54 <= |x| < 512: its expression order,
/// with its multiply-adds where the fused build contracts them.
template <bool Fused> inline __attribute__((always_inline)) double expFast(double x) noexcept
{
    double kd = mulAdd<Fused>(kInvLn2N, x, kShift);
    const auto ki = std::bit_cast<std::uint64_t>(kd);
    kd = kd - kShift;
    const double r = mulAdd<Fused>(kd, kNegLn2LoN, mulAdd<Fused>(kd, kNegLn2HiN, x));
    const std::uint64_t row = (ki & (kTableSize - 1)) * 2;
    const double tail = std::bit_cast<double>(kTable[row]);
    // The exponent field starts at bit 52: ki << 45 adds n/128 of a step.
    const double scale = std::bit_cast<double>(kTable[row + 1] + (ki << 45));
    const double r2 = r * r;
    const double low = mulAdd<Fused>(r2, mulAdd<Fused>(r, kC3, kC2), tail + r);
    const double tmp = mulAdd<Fused>(r2 * r2, mulAdd<Fused>(r, kC5, kC4), low);
    return mulAdd<Fused>(scale, tmp, scale);
}

/// Everything off the fast path (tiny, huge, infinite, NaN) is the
/// library's own business; out of line and cold, so the caller's registers
/// are not given up for it.
__attribute__((noinline, cold)) inline double expSlow(double x) noexcept
{
    return std::exp(x);
}

/// std::exp(x), bit for bit, in the library's form Fused or plain.
template <bool Fused> inline __attribute__((always_inline)) double exp(double x) noexcept
{
    const double magnitude = std::fabs(x);
    if (magnitude >= 0x1p-54 && magnitude < 512.0) [[likely]]
        return expFast<Fused>(x);
    return expSlow(x);
}

} // namespace vorla::exact_exp
