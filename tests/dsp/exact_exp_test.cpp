// SPDX-License-Identifier: GPL-3.0-or-later
// The inline exp against the C library's: every argument gives std::exp's
// bits, in the fast range (all 128 table rows, both signs), at its edges and
// off it (tiny, huge, infinite, NaN).  glibc's two builds are told apart:
// the fused form is the library's where the processor has FMA, the plain
// form where glibc is made to load its other build (CTest runs this suite a
// second time so, with GLIBC_TUNABLES).
#include "dsp/exact_exp_inline.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

namespace {

using namespace vorla;

bool processorHasFma()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma") != 0;
}

/// True when this run has glibc load its build without FMA.
bool plainLibraryExpected()
{
    return std::getenv("VORLA_EXPECT_PLAIN_LIBRARY_EXP") != nullptr;
}

/// How many of `x` give other bits than std::exp (a NaN matches any NaN).
template <class F> int mismatches(F form, const std::vector<double>& x)
{
    int count = 0;
    for (const double v : x)
    {
        const double got = form(v);
        const double want = std::exp(v);
        const bool same = std::isnan(want) ? std::isnan(got) : vorla::test::sameBits(got, want);
        count += same ? 0 : 1;
    }
    return count;
}

std::vector<double> spreadArguments()
{
    std::vector<double> x;
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> wide(-20.0, 20.0);
    std::uniform_real_distribution<double> shaper(-4.0, 0.0); // the shaper's range
    for (int i = 0; i < 400000; ++i)
        x.push_back(i % 2 == 0 ? wide(random) : shaper(random));
    // Every table row at its centre and near both ends (r near +-ln2/256).
    for (int n = -2000; n <= 2000; ++n)
        for (double offset : {-0.5, -0.4999999, 0.0, 0.4999999, 0.5})
            x.push_back((n + offset) * 0.6931471805599453 / 128.0);
    return x;
}

std::vector<double> edgeArguments()
{
    const double inf = std::numeric_limits<double>::infinity();
    return {0.0,
            -0.0,
            0x1p-54,
            -0x1p-54,
            std::nextafter(0x1p-54, 0.0),
            -std::nextafter(0x1p-54, 0.0),
            0x1p-60,
            -1e-300,
            5e-324,
            -5e-324,
            511.99999999999994,
            -511.99999999999994,
            512.0,
            -512.0,
            700.0,
            -700.0,
            709.78,
            709.79,
            -745.1,
            -745.2,
            -1000.0,
            1000.0,
            inf,
            -inf,
            std::numeric_limits<double>::quiet_NaN(),
            -1.0,
            1.0,
            2.5};
}

TEST(ExactExp, TheFusedFormIsTheLibrarysWhereTheProcessorHasFma)
{
    if (!processorHasFma())
        GTEST_SKIP() << "no FMA: the effect calls std::exp";
#if defined(__GLIBC__)
    EXPECT_EQ(fusedExpMatchesLibrary(), !plainLibraryExpected());
#endif
    if (!fusedExpMatchesLibrary())
        GTEST_SKIP() << "this process's exp is not the fused form";
    EXPECT_EQ(mismatches(exact_exp::expFused, spreadArguments()), 0);
    EXPECT_EQ(mismatches(exact_exp::expFused, edgeArguments()), 0);
}

TEST(ExactExp, ThePlainFormIsGlibcsOtherBuild)
{
#if !defined(__GLIBC__)
    GTEST_SKIP() << "glibc's builds only";
#endif
    const auto plain = [](double x) { return exact_exp::exp<false>(x); };
    if (plainLibraryExpected() || !processorHasFma())
    {
        EXPECT_EQ(mismatches(plain, spreadArguments()), 0);
        EXPECT_EQ(mismatches(plain, edgeArguments()), 0);
        EXPECT_FALSE(fusedExpMatchesLibrary());
    }
    else
    {
        // The two builds differ in the last bit now and then, so the
        // self-check can tell which one the library is.
        EXPECT_GT(mismatches(plain, spreadArguments()), 0);
    }
}

} // namespace
