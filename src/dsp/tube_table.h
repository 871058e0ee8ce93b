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
#pragma once

#include <cmath>
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

// Replaces the sample by the curve output and returns that output.
// Audio thread; no state, no allocation.
inline double lookupTubeTable(double& sample) noexcept;

// ---------------------------------------------------------------------------
// Inline implementation
// ---------------------------------------------------------------------------

inline double lookupTubeTable(double& sample) noexcept
{
    const TubePoint* p = kTubeTable.pairs;
    const double x = sample;
    double result;
    if (x <= -180.0)
    {
        result = p[0].y;
    }
    else if (x >= 180.0 || std::isnan(x))
    {
        result = p[kTubeTableSize - 1].y;
    }
    else
    {
        // Strictly inside (-180, 180): i is 199..3798, so i-1 .. i+2 exist.
        const int i = static_cast<int>(std::floor(10.0 * x + 1999.0));
        const double t = (x - p[i].x) / (p[i + 1].x - p[i].x);
        const double ym = p[i - 1].y;
        const double y0 = p[i].y;
        const double y1 = p[i + 1].y;
        const double y2 = p[i + 2].y;
        const double m0 = (y1 - ym) * 0.5;
        const double m1 = (y2 - y0) * 0.5;
        const double a = 2.0 * (y0 - y1) + m0 + m1;
        const double b = 3.0 * (y1 - y0) - 2.0 * m0 - m1;
        result = y0 + t * (m0 + t * (b + t * a));
    }
    sample = result;
    return result;
}

} // namespace vorla
