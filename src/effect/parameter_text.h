// SPDX-License-Identifier: GPL-3.0-or-later
// parameter_text.h - parameter values as text, the way hosts show them.
//
// A value gets eight characters: sign, digits and the decimal point all
// count.  The integer digits come first, the remaining room is filled with
// decimals, which are truncated rather than rounded (0.7f, which is
// 0.699999988, shows "0.699999").  Volume is shown in decibels.
//
// Both functions write like copyBounded (effect/bounded_text.h): the text
// cut at `limit` characters, zero bytes up to [limit] inclusive, so the
// buffer needs limit + 1 bytes.
#pragma once

#include <cstddef>

namespace vorla {

/// The value in at most eight characters; "Huge!" beyond 99999999 (or
/// -9999999), "NaN" for NaN.
void formatFloat(float value, char* text, std::size_t limit) noexcept;

/// 20 log10(value) through formatFloat, each step rounded to float; "-oo"
/// at 0 and below.
void formatDecibels(float value, char* text, std::size_t limit) noexcept;

} // namespace vorla
