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
// setParameter from anywhere), so it never touches the chain: it records the
// new design in one atomic word and the audio thread performs the redesign
// at the start of its next block (applyPendingChanges).  Called between
// blocks on one thread this gives the same bits as designing at once.
#include "plugin/vorla.h"

#include <bit>
#include <cmath>

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

void Vorla::setSampleRate(float rate)
{
    // Hosts send a rate of 0 while they open an effect, and a broken host may
    // send a negative, infinite, NaN or uselessly low rate.  No design exists
    // for those: the effect is left exactly as it was and keeps its last
    // usable rate.
    if (!(rate >= kLowestHostRate) || !std::isfinite(rate))
        return;

    int32_t factor = 2;
    if (kHighRateThreshold > rate)
        factor = 4;
    if (highQuality.load(std::memory_order_relaxed) != 0)
        factor *= 2;

    // The processing rate is formed in float, as the host rate is a float.
    if (!std::isfinite(rate * static_cast<float>(factor)))
        return;
    const vorla::ChainDesign design = vorla::makeChainDesign(rate, factor);

    AudioEffect::setSampleRate(rate);
    oversampling.store(factor, std::memory_order_relaxed);
    samplePeriod.store(design.samplePeriod, std::memory_order_relaxed);
    processRate.store(design.processRate, std::memory_order_relaxed);

    const uint32_t request = designRequests.fetch_add(1, std::memory_order_relaxed) + 1;
    requestedDesign.store(packDesign(rate, factor, request), std::memory_order_release);
}

void Vorla::applyPendingChanges() noexcept
{
    const uint64_t request = requestedDesign.load(std::memory_order_acquire);
    if (request == appliedRequest)
        return;
    appliedRequest = request;
    const auto rate = std::bit_cast<float>(static_cast<uint32_t>(request >> 32));
    const auto factor = static_cast<int32_t>(request & 0xFFu);
    appliedDesign = vorla::makeChainDesign(rate, factor);
    // Every biquad and tone stack of both sides, the stages' rate terms and
    // the resampler coefficients; stage voltages and resampler states run on.
    for (vorla::AmpChannel& channel : ampChannels)
        vorla::designAmpChannel(channel, appliedDesign);
}
