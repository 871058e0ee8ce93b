// SPDX-License-Identifier: GPL-3.0-or-later
// The rate handler: the host rate and the quality switch choose how far the
// amplifier model is oversampled, and everything whose coefficients depend
// on the processing rate is designed for it.
//
// The nonlinear stages alias badly at the host rate, so the model always
// runs at least twice as fast; below 50 kHz it runs four times as fast, and
// the quality switch doubles either factor.
//
// The handler may run on any thread while a block is being processed (hosts
// change the rate from their UI thread, the quality switch arrives through
// setParameter from anywhere), so it never touches the amplifier: it
// records the new design in one atomic word and the audio thread performs
// the redesign at the start of its next block (EffectCore).  Called between
// blocks on one thread this gives the same bits as designing at once.
#include "effect/effect_state.h"

#include <bit>
#include <cmath>

namespace vorla {

namespace {

/// Host rates from here on need only half the oversampling.
constexpr double kHighRateThreshold = 50000.0;

/// Below this host rate the voicing filters' corners (up to 4.8 kHz) would
/// reach half the processing rate even at 4x, where no stable design exists.
constexpr float kLowestHostRate = 4000.0f;

uint64_t packDesign(float rate, int32_t factor, uint32_t request)
{
    return (static_cast<uint64_t>(std::bit_cast<uint32_t>(rate)) << 32) |
           (static_cast<uint64_t>(request & 0xFFFFFFu) << 8) | static_cast<uint64_t>(factor);
}

} // namespace

bool EffectState::setSampleRate(float rate) noexcept
{
    // Hosts send a rate of 0 while they open an effect, and a broken host may
    // send a negative, infinite, NaN or uselessly low rate.  No design exists
    // for those: the state is left exactly as it was and keeps its last
    // usable rate.
    if (!(rate >= kLowestHostRate) || !std::isfinite(rate))
        return false;

    int32_t oversampled = 2;
    if (kHighRateThreshold > rate)
        oversampled = 4;
    if (highQualityOn.load(std::memory_order_relaxed) != 0)
        oversampled *= 2;

    // The processing rate is formed in float, as the host rate is a float.
    if (!std::isfinite(rate * static_cast<float>(oversampled)))
        return false;
    const ChainDesign design = makeChainDesign(rate, oversampled);

    hostRate.store(rate, std::memory_order_relaxed);
    factorValue.store(oversampled, std::memory_order_relaxed);
    periodValue.store(design.samplePeriod, std::memory_order_relaxed);
    processRateValue.store(design.processRate, std::memory_order_relaxed);

    const uint32_t request = designRequests.fetch_add(1, std::memory_order_relaxed) + 1;
    designRequest.store(packDesign(rate, oversampled, request), std::memory_order_release);
    return true;
}

ChainDesign EffectState::designOf(uint64_t request) noexcept
{
    const auto rate = std::bit_cast<float>(static_cast<uint32_t>(request >> 32));
    const auto oversampled = static_cast<int32_t>(request & 0xFFu);
    return makeChainDesign(rate, oversampled);
}

} // namespace vorla
