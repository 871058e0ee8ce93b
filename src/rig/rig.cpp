// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig/rig.h"

#include <algorithm>
#include <cmath>

namespace vorla {

void Rig::prepare(double hostRate, int32_t maxFrames)
{
    rate = hostRate;
    requestedRate.store(hostRate, std::memory_order_relaxed);
    designedDb = 1.0f;
    noiseGate.clear();
    noiseGate.gain = 1.0f;
    cab.prepare(hostRate, maxFrames);
}

void Rig::setRate(double hostRate) noexcept
{
    if (hostRate > 0.0 && std::isfinite(hostRate))
        requestedRate.store(hostRate, std::memory_order_relaxed);
}

void Rig::setGate(bool on, float thresholdDb) noexcept
{
    if (std::isfinite(thresholdDb))
        gateDb.store(std::clamp(thresholdDb, kMinGateDb, kMaxGateDb), std::memory_order_relaxed);
    gateEnabled.store(on, std::memory_order_relaxed);
}

void Rig::gate(float* const* io, int32_t channels, int32_t frames) noexcept
{
    if (frames <= 0 || channels <= 0 || !(rate > 0.0))
        return;
    const float threshold = gateDb.load(std::memory_order_relaxed);
    const double wantedRate = requestedRate.load(std::memory_order_relaxed);
    if (threshold != designedDb || wantedRate != rate)
    {
        rate = wantedRate;
        designedDb = threshold;
        noiseGate.design(rate, threshold);
    }
    const bool on = gateEnabled.load(std::memory_order_relaxed);
    if (!on)
    {
        if (noiseGate.gain >= 1.0f)
            return; // untouched, bit for bit
        for (int32_t i = 0; i < frames; ++i)
        {
            noiseGate.gain = std::min(1.0f, noiseGate.gain + noiseGate.attackStep);
            for (int32_t c = 0; c < channels; ++c)
                io[c][i] *= noiseGate.gain;
        }
        noiseGate.envelope = 0.0f;
        noiseGate.open = true;
        gateGainSeen.store(noiseGate.gain, std::memory_order_relaxed);
        return;
    }
    for (int32_t i = 0; i < frames; ++i)
    {
        float level = 0.0f;
        for (int32_t c = 0; c < channels; ++c)
            level = std::max(level, std::fabs(io[c][i]));
        const float gain = noiseGate.step(level);
        for (int32_t c = 0; c < channels; ++c)
            io[c][i] *= gain;
    }
    gateGainSeen.store(noiseGate.gain, std::memory_order_relaxed);
}

} // namespace vorla
