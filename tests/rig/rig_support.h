// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the rig tests: responses written to files, and a plain
// convolution to hold the engine against.
#pragma once

#include "host/sound_files.h"
#include "rig/impulse_response.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace vorla::test {

/// A cabinet-like response: a decaying resonance at `frequency` with a
/// little noise-free ripple, `length` samples.
inline std::vector<float> testResponse(std::size_t length, double rate, double frequency = 2000.0)
{
    std::vector<float> response(length);
    for (std::size_t n = 0; n < length; ++n)
    {
        const double t = double(n) / rate;
        response[n] = float(std::exp(-t / 0.004) * std::cos(2.0 * M_PI * frequency * t) +
                            0.3 * std::exp(-t / 0.001));
    }
    return response;
}

/// y = x * h, in double, as long as x.
inline std::vector<double> convolve(const std::vector<float>& x, const std::vector<float>& h)
{
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t n = 0; n < x.size(); ++n)
    {
        if (x[n] == 0.0f)
            continue;
        const std::size_t end = std::min(h.size(), x.size() - n);
        for (std::size_t k = 0; k < end; ++k)
            y[n + k] += double(x[n]) * double(h[k]);
    }
    return y;
}

} // namespace vorla::test
