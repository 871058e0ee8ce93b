// SPDX-License-Identifier: GPL-3.0-or-later
// exact_exp.cpp - does this process's std::exp round as the fused form?
#include "dsp/exact_exp.h"

#include <cmath>

namespace vorla {

namespace exact_exp {

namespace {

// Arguments -i / 10^6 where the fused and the plain form differ in the last
// bit (found by search), so the check tells the two builds of glibc apart.
constexpr int kTellingMillionths[] = {2970,    203596,  407473,  607571,  808276,  1008898,
                                      1209453, 1410480, 1610538, 1811889, 2013193, 2213258,
                                      2413564, 2613809, 2815266, 3018357};

} // namespace

bool fusedFormMatchesLibrary() noexcept
{
    bool same = true;
    const auto check = [&](double x) {
        // Hide x from the compiler: it would fold std::exp of a constant,
        // correctly rounded, where the point is the library's rounding.
        asm("" : "+x"(x));
        same = same && expFused(x) == std::exp(x);
    };
    for (const int millionths : kTellingMillionths)
        check(-static_cast<double>(millionths) / 1e6);
    // A spread over -8 .. 8 that visits every table row many times, at
    // irregular offsets (steps of the golden ratio's fraction).
    double phase = 0.0;
    for (int i = 0; i < 4096; ++i)
    {
        phase += 0.6180339887498949;
        phase -= std::floor(phase);
        check(16.0 * phase - 8.0);
    }
    return same;
}

} // namespace exact_exp

bool fusedExpMatchesLibrary() noexcept
{
    static const bool matches = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("fma") != 0 && exact_exp::fusedFormMatchesLibrary();
    }();
    return matches;
}

} // namespace vorla
