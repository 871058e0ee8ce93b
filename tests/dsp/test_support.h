// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the DSP and chain tests: exact comparison, and sine fitting
// for steady-state response points.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

namespace vorla::test {

/// The same double, bit for bit (so -0 differs from 0, and a NaN matches
/// only the same NaN).
inline bool sameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

/// The same record, byte for byte (filter and stage states, coefficients).
template <class T> bool sameBytes(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Least-squares fit of a sin(wn) + b cos(wn) + c to y[first..], with
// w = 2 pi f / rate (true pi: this is the measuring instrument, not the
// model).  Returns the amplitude sqrt(a^2 + b^2); rmsResidual receives the
// RMS of what the fit leaves over.
inline double fitSineAmplitude(const std::vector<double>& y, std::size_t first, double f,
                               double rate, double* rmsResidual = nullptr)
{
    const double w = 2.0 * std::numbers::pi * f / rate;
    // Normal equations of the 3x3 problem.
    double m[3][4] = {};
    for (std::size_t n = first; n < y.size(); ++n)
    {
        const double v[3] = {std::sin(w * double(n)), std::cos(w * double(n)), 1.0};
        for (int r = 0; r < 3; ++r)
        {
            for (int c = 0; c < 3; ++c)
            {
                m[r][c] += v[r] * v[c];
            }
            m[r][3] += v[r] * y[n];
        }
    }
    for (int p = 0; p < 3; ++p)
    {
        for (int r = p + 1; r < 3; ++r)
        {
            const double q = m[r][p] / m[p][p];
            for (int c = p; c < 4; ++c)
            {
                m[r][c] -= q * m[p][c];
            }
        }
    }
    double s[3];
    for (int r = 2; r >= 0; --r)
    {
        double acc = m[r][3];
        for (int c = r + 1; c < 3; ++c)
        {
            acc -= m[r][c] * s[c];
        }
        s[r] = acc / m[r][r];
    }
    if (rmsResidual != nullptr)
    {
        double e2 = 0.0;
        for (std::size_t n = first; n < y.size(); ++n)
        {
            const double e =
                y[n] - (s[0] * std::sin(w * double(n)) + s[1] * std::cos(w * double(n)) + s[2]);
            e2 += e * e;
        }
        *rmsResidual = std::sqrt(e2 / double(y.size() - first));
    }
    return std::hypot(s[0], s[1]);
}

inline double toDb(double gain)
{
    return 20.0 * std::log10(gain);
}

} // namespace vorla::test
