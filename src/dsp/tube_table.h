// SPDX-License-Identifier: GPL-3.0-or-later
// Power-stage transfer curve: a sampled, inverting, saturating tube curve.
//
// What it models: the static transfer of the power stage, from the drive at
// the power-tube grids (volts) to a normalised output.  Large negative drive
// gives about +0.447, large positive drive about -0.448; the transition lies
// within a few volts of zero and crosses zero between -0.8 and -0.7.  The
// far ends are not monotonic (a small wobble below -199.7, a minimum at 41.1
// and a slow rise after it); the lookup reproduces that.
//
// Data: 4000 pairs {x, y} with x = (i - 1999) / 10, so -199.9 .. 200.0 in
// steps of 0.1 and pair 1999 at x = 0.  The values come from
// resources/tube_table.txt (made by tools/gen_tube_table.py, a monotone
// piecewise-cubic Hermite curve through measured rows) and are compiled in
// by src/dsp/embed_tube_table.cmake.  The stored x values, not computed
// ones, enter the interpolation.
//
// Lookup, for input x:
//   x <= -180        -> y[0]
//   x >= 180 or NaN  -> y[3999]
//   otherwise i = floor(10 x + 1999), t = (x - x[i]) / (x[i+1] - x[i]) and a
//   cubic Hermite segment with Catmull-Rom tangents through y[i-1..i+2]:
//     m0 = (y[i+1] - y[i-1]) / 2,  m1 = (y[i+2] - y[i]) / 2
//     a  = 2 (y0 - y1) + m0 + m1,  b = 3 (y1 - y0) - 2 m0 - m1
//     y  = y0 + t (m0 + t (b + t a))
//   exact at the table points.  No state; one division per call.
//
// Written once over a lane type (dsp/lanes.h): lookupTubeCurve<L> looks up
// every lane, with the range tests as per-lane selects and the table rows
// fetched per lane; inside (-180, 180) the index 10 x + 1999 is positive, so
// truncation is its floor.
#pragma once

#include "dsp/lanes.h"

#include <cstddef>

namespace vorla {

inline constexpr std::size_t kTubeTableSize = 4000;
inline constexpr int kTubeTableCentre = 1999; // index of x = 0

struct TubePoint
{
    double x;
    double y;
};

struct TubeTable
{
    TubePoint pairs[kTubeTableSize];
};

// The compiled-in curve (generated translation unit).
extern const TubeTable kTubeTable;

// The curve output for every lane of x.  Audio thread; no state.
template <class L> VORLA_LANE_INLINE L lookupTubeCurve(L x) noexcept;

// Replaces the sample by the curve output and returns that output.
// Audio thread; no state, no allocation.
inline double lookupTubeTable(double& sample) noexcept;

// ---------------------------------------------------------------------------
// Inline implementation
// ---------------------------------------------------------------------------

template <class L> VORLA_LANE_INLINE L lookupTubeCurve(L x) noexcept
{
    using namespace lanes;
    constexpr int W = kWidth<L>;
    const TubePoint* p = kTubeTable.pairs;
    const Mask<L> low = lessEqual(x, splat<L>(-180.0));
    // Not below 180: 180 or more, or NaN.
    const Mask<L> high = notLessThan(x, splat<L>(180.0));

    // Lanes outside (-180, 180) look up the centre row; their result is
    // replaced below.
    const L inside = select(low, splat<L>(0.0), select(high, splat<L>(0.0), x));
    double position[W];
    toLanes(splat<L>(10.0) * inside + splat<L>(1999.0), position);
    double x0[W], x1[W], ym[W], y0[W], y1[W], y2[W];
    for (int lane = 0; lane < W; ++lane)
    {
        const int i = static_cast<int>(position[lane]);
        x0[lane] = p[i].x;
        x1[lane] = p[i + 1].x;
        ym[lane] = p[i - 1].y;
        y0[lane] = p[i].y;
        y1[lane] = p[i + 1].y;
        y2[lane] = p[i + 2].y;
    }
    const L vy0 = fromLanes<L>(y0);
    const L vy1 = fromLanes<L>(y1);
    const L vx0 = fromLanes<L>(x0);
    const L t = (x - vx0) / (fromLanes<L>(x1) - vx0);
    const L half = splat<L>(0.5);
    const L m0 = (vy1 - fromLanes<L>(ym)) * half;
    const L m1 = (fromLanes<L>(y2) - vy0) * half;
    const L a = splat<L>(2.0) * (vy0 - vy1) + m0 + m1;
    const L b = splat<L>(3.0) * (vy1 - vy0) - splat<L>(2.0) * m0 - m1;
    const L curve = vy0 + t * (m0 + t * (b + t * a));

    L result = select(low, splat<L>(p[0].y), curve);
    result = select(high, splat<L>(p[kTubeTableSize - 1].y), result);
    return result;
}

inline double lookupTubeTable(double& sample) noexcept
{
    sample = lookupTubeCurve<double>(sample);
    return sample;
}

} // namespace vorla
