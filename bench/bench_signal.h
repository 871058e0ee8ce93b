// SPDX-License-Identifier: GPL-3.0-or-later
// bench_signal.h - the test signal of the amplifier benchmarks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorla::bench {

/// Plucked strings (Karplus-Strong) at DI level, a few seconds long.
inline std::vector<float> pluckedStrings(std::size_t frames, float rate, uint32_t seed)
{
    std::vector<float> out(frames, 0.0f);
    const float notes[] = {82.41f, 110.0f, 146.83f, 196.0f, 246.94f, 329.63f};
    uint32_t lcg = seed;
    // Re-pluck a chord every half second, so the signal never dies away.
    const auto spacing = static_cast<std::size_t>(rate * 0.5f);
    for (std::size_t start = 0; start < frames; start += spacing)
        for (float f : notes)
        {
            const auto period = static_cast<std::size_t>(rate / f);
            std::vector<float> line(period);
            for (float& v : line)
            {
                lcg = lcg * 1664525u + 1013904223u;
                v = 0.08f *
                    (static_cast<float>(static_cast<int32_t>(lcg >> 8) - 8388608) / 8388608.0f);
            }
            std::size_t pos = 0;
            for (std::size_t n = start; n < std::min(frames, start + spacing); ++n)
            {
                const std::size_t next = pos + 1 == period ? 0 : pos + 1;
                const float v = line[pos];
                line[pos] = 0.4985f * (v + line[next]);
                out[n] += v;
                pos = next;
            }
        }
    return out;
}

} // namespace vorla::bench
