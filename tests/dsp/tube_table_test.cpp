// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/tube_table.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "dsp/biquad.h"

namespace vorla {
namespace {

// Rows the curve must pass through (x, y), as measured.
struct Row
{
    double x;
    double y;
};
constexpr Row kRows[] = {
    {-199.9, 0.446188007274}, {-199.8, 0.447232531817}, {-180, 0.446474696554},
    {-100, 0.443322496416},   {-50, 0.440211064561},    {-20, 0.437561075239},
    {-10, 0.436482240167},    {-5, 0.435783102653},     {-4, 0.43464133054},
    {-3, 0.425145363936},     {-2.8, 0.418715435267},   {-2.6, 0.407479664827},
    {-2.4, 0.387806699319},   {-2.2, 0.356763965448},   {-2, 0.315293952653},
    {-1.9, 0.291472611352},   {-1.8, 0.264232746206},   {-1.7, 0.234316252788},
    {-1.6, 0.203768687526},   {-1.5, 0.173231209127},   {-1.4, 0.143323397785},
    {-1.3, 0.114735061914},   {-1.2, 0.088195569036},   {-1.1, 0.06441329251},
    {-1, 0.043845888819},     {-0.9, 0.026458196786},   {-0.8, 0.011559753046},
    {-0.7, -0.002355837702},  {-0.6, -0.017425943321},  {-0.5, -0.035943907636},
    {-0.4, -0.059721975885},  {-0.3, -0.089682363092},  {-0.2, -0.125787539203},
    {-0.1, -0.167256480393},  {0.0, -0.212997229504},   {0.1, -0.261668972052},
    {0.2, -0.311335894555},   {0.3, -0.358295634779},   {0.4, -0.395540619346},
    {0.5, -0.417768427328},   {0.6, -0.429076434698},   {0.7, -0.435180880812},
    {0.8, -0.438882595724},   {0.9, -0.441353076757},   {1, -0.443121066843},
    {1.2, -0.445491933641},   {1.5, -0.447477621519},   {2, -0.447649375658},
    {3, -0.44777471192},      {5, -0.447912297758},     {10, -0.448091077554},
    {41.1, -0.448336961307},  {100, -0.44797866076},    {180, -0.446220847891},
    {200, -0.445548982451},
};

double lookup(double x)
{
    double s = x;
    const double r = lookupTubeTable(s);
    EXPECT_EQ(std::memcmp(&r, &s, sizeof r), 0) << "result and written-back sample differ";
    return r;
}

// Finds the pair whose stored x is the given value, by search (independent
// of the index arithmetic of the lookup).
std::size_t findPair(double x)
{
    for (std::size_t i = 0; i < kTubeTableSize; ++i)
    {
        if (kTubeTable.pairs[i].x == x)
        {
            return i;
        }
    }
    ADD_FAILURE() << "no pair at x = " << x;
    return 0;
}

TEST(TubeTable, StoredGridRunsFromMinus199_9To200InTenths)
{
    for (std::size_t i = 0; i < kTubeTableSize; ++i)
    {
        ASSERT_EQ(kTubeTable.pairs[i].x, (double(i) - 1999.0) / 10.0) << "pair " << i;
        ASSERT_TRUE(std::isfinite(kTubeTable.pairs[i].y)) << "pair " << i;
    }
    EXPECT_EQ(kTubeTable.pairs[1999].x, 0.0);
}

TEST(TubeTable, StoresEveryMeasuredRowExactly)
{
    for (const Row& row : kRows)
    {
        EXPECT_EQ(kTubeTable.pairs[findPair(row.x)].y, row.y) << "x = " << row.x;
    }
}

TEST(TubeTable, ExtremesAreTheMeasuredOnes)
{
    std::size_t hi = 0, lo = 0;
    for (std::size_t i = 0; i < kTubeTableSize; ++i)
    {
        if (kTubeTable.pairs[i].y > kTubeTable.pairs[hi].y)
            hi = i;
        if (kTubeTable.pairs[i].y < kTubeTable.pairs[lo].y)
            lo = i;
    }
    EXPECT_EQ(kTubeTable.pairs[hi].x, -199.8);
    EXPECT_EQ(kTubeTable.pairs[lo].x, 41.1);
    // Falls from -199.8 to 41.1 and rises after it (the slow drift back).
    for (std::size_t i = hi; i < lo; ++i)
    {
        EXPECT_LE(kTubeTable.pairs[i + 1].y, kTubeTable.pairs[i].y) << "pair " << i;
    }
    for (std::size_t i = lo; i + 1 < kTubeTableSize; ++i)
    {
        EXPECT_GE(kTubeTable.pairs[i + 1].y, kTubeTable.pairs[i].y) << "pair " << i;
    }
}

TEST(TubeTableLookup, ReturnsTableValuesAtGridPoints)
{
    EXPECT_EQ(lookup(0.0), -0.212997229504);
    EXPECT_EQ(lookup(0.0), kTubeRestOutput);
    EXPECT_EQ(lookup(1.0), -0.443121066843);
    EXPECT_EQ(lookup(-0.7), -0.002355837702);
    for (const Row& row : kRows)
    {
        if (row.x > -180.0 && row.x < 180.0)
        {
            EXPECT_EQ(lookup(row.x), row.y) << "x = " << row.x;
        }
    }
}

TEST(TubeTableLookup, FollowsTheCubicBetweenPoints)
{
    const double y = lookup(-0.05);
    EXPECT_NEAR(y, -0.1896767, 1e-7);
    // Not the straight line through the neighbours.
    EXPECT_GT(std::fabs(y - 0.5 * (-0.167256480393 + -0.212997229504)), 4e-4);
}

TEST(TubeTableLookup, ClampsOutsideTheWorkingRange)
{
    const double first = 0.446188007274;
    const double last = -0.445548982451;
    EXPECT_EQ(lookup(-180.0), first); // not the value stored at x = -180
    EXPECT_EQ(lookup(-1000.0), first);
    EXPECT_EQ(lookup(-std::numeric_limits<double>::infinity()), first);
    EXPECT_EQ(lookup(180.0), last);
    EXPECT_EQ(lookup(1000.0), last);
    EXPECT_EQ(lookup(std::numeric_limits<double>::infinity()), last);
    EXPECT_EQ(lookup(std::numeric_limits<double>::quiet_NaN()), last);
    EXPECT_EQ(lookup(-std::numeric_limits<double>::quiet_NaN()), last);
}

// Catmull-Rom in its textbook polynomial form, from the four rows around x.
double catmullRom(double p0, double p1, double p2, double p3, double t)
{
    return 0.5 * (2.0 * p1 + (p2 - p0) * t + (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3) * t * t +
                  (3.0 * p1 - p0 - 3.0 * p2 + p3) * t * t * t);
}

TEST(TubeTableLookup, InterpolatesJustBelowTheUpperClamp)
{
    const std::size_t i = findPair(179.9);
    ASSERT_EQ(kTubeTable.pairs[i + 1].x, 180.0);
    const double t = (179.99 - 179.9) / 0.1;
    const double expected = catmullRom(kTubeTable.pairs[i - 1].y, kTubeTable.pairs[i].y,
                                       kTubeTable.pairs[i + 1].y, kTubeTable.pairs[i + 2].y, t);
    EXPECT_NEAR(lookup(179.99), expected, 1e-15);
    EXPECT_NE(lookup(179.99), -0.445548982451);
}

TEST(TubeTableLookup, MatchesCatmullRomAcrossTheRange)
{
    // A sweep at odd positions: the lookup agrees with the textbook form,
    // is continuous and stays within the curve's range.
    double previous = lookup(-179.9995);
    for (double x = -179.9995; x < 179.99; x += 0.0137)
    {
        const double y = lookup(x);
        const std::size_t i = static_cast<std::size_t>(std::floor((x + 199.9) * 10.0 + 1e-9));
        const TubePoint* p = kTubeTable.pairs;
        if (p[i].x <= x && x < p[i + 1].x)
        {
            const double t = (x - p[i].x) / (p[i + 1].x - p[i].x);
            ASSERT_NEAR(y, catmullRom(p[i - 1].y, p[i].y, p[i + 1].y, p[i + 2].y, t), 1e-14) << x;
        }
        ASSERT_LT(std::fabs(y - previous), 0.01) << x;
        ASSERT_LT(y, 0.4473);
        ASSERT_GT(y, -0.4484);
        previous = y;
    }
}

} // namespace
} // namespace vorla
