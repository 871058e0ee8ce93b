// SPDX-License-Identifier: GPL-3.0-or-later
// exact_exp.h - exp without a library call, bit for bit the C library's.
//
// The Crunch and Overdrive voicings' shaper takes one exp per positive
// sample.  A call into the C library there costs more than the exp itself:
// the model loop keeps its stage states in vector registers, which every
// call clobbers.  The model's output is pinned bit for bit, so an inline exp
// must round exactly as the library's does.  This one is the library's own
// algorithm (glibc's exp since 2.28), operation for operation:
//
//   n = round(128 x / ln2),  r = x - n ln2/128      (|r| <= ln2/256)
//   k = n mod 128,  s = 2^(n div 128) H[k]          (2^(k/128) = H[k] (1 + T[k]))
//   exp(x) = s + s (T[k] + r + r^2 (C2 + r C3) + r^4 (C4 + r C5))
//
// with ln2/128 in two parts (the high one exact in products with n), the
// rounding done by adding 1.5 * 2^52, and H, T from kTable.  glibc builds
// it in two forms that round differently and picks one when it loads: with
// fused multiply-adds on processors with FMA and AVX2, with separate
// multiplies and adds elsewhere.  This is the fused form, the one every
// current x86-64 processor runs; fusedExpMatchesLibrary() checks once, by
// comparing with std::exp, that the process's library is that one.  Where it
// is not (another C library, an old glibc, an older processor) callers keep
// std::exp.  The code is in exact_exp_inline.h.
#pragma once

#include <cstdint>

namespace vorla {

/// True when exact_exp::exp (exact_exp_inline.h, fused form) gives
/// std::exp's bits in this process and the processor has FMA.  The first call
/// compares the two (some ten microseconds); call it when an effect is
/// created, not on the audio thread.
bool fusedExpMatchesLibrary() noexcept;

namespace exact_exp {

inline constexpr int kTableSize = 128;

/// Pairs {bits of T[k], bits of H[k] - (k << 45)}, k = 0 .. 127
/// (tools/gen_exp_table.py).
extern const std::uint64_t kTable[2 * kTableSize];

/// The fused form as a function, compiled for FMA (exact_exp_fused.cpp):
/// call it only when the processor has FMA.
double expFused(double x) noexcept;

/// True when expFused gives std::exp's bits on the self-check's arguments
/// (the processor must have FMA).
bool fusedFormMatchesLibrary() noexcept;

} // namespace exact_exp

} // namespace vorla
