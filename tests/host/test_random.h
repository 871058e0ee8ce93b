// SPDX-License-Identifier: GPL-3.0-or-later
// A deterministic random source for tests: the same bits on every machine.
#pragma once

#include <cstdint>

namespace vorla::test {

/// Deterministic 32-bit LCG (Numerical Recipes constants).
struct Lcg
{
    uint32_t state;
    explicit Lcg(uint32_t seed) : state(seed) {}
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    /// Uniform in [-1, 1), exact in float.
    float bipolar()
    {
        return static_cast<float>(static_cast<int32_t>(next() >> 8) - 8388608) *
               (1.0f / 8388608.0f);
    }
};

} // namespace vorla::test
