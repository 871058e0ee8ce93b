// The rate handler: the host rate and the quality switch choose how far the
// amplifier model is oversampled, and everything whose coefficients depend
// on the processing rate is designed from here.
//
// The nonlinear stages alias badly at the host rate, so the model always
// runs at least twice as fast; below 50 kHz it runs four times as fast, and
// the quality switch doubles either factor.
#include "plugin/vorla.h"

#include <cmath>

namespace {

/// Host rates from here on need only half the oversampling.
constexpr double kHighRateThreshold = 50000.0;

} // namespace

void Vorla::setSampleRate(float rate)
{
    // Hosts send a rate of 0 while they open an effect, and a broken host may
    // send a negative, infinite or NaN rate.  No design exists for those: the
    // effect is left exactly as it was and keeps its last usable rate.
    if (!(rate > 0.0f) || !std::isfinite(rate))
        return;

    int32_t factor = 2;
    if (kHighRateThreshold > rate)
        factor = 4;
    if (highQuality.load(std::memory_order_relaxed) != 0)
        factor *= 2;

    // The processing rate is formed in float, as the host rate is a float.
    const float oversampledRate = rate * static_cast<float>(factor);
    if (!std::isfinite(oversampledRate))
        return;
    const double period = 1.0 / static_cast<double>(oversampledRate);

    AudioEffect::setSampleRate(rate);
    oversampling.store(factor, std::memory_order_relaxed);
    samplePeriod.store(period, std::memory_order_relaxed);
    processRate.store(1.0 / period, std::memory_order_relaxed);

    // The stages of both sides first (they keep their voltages), then every
    // filter of side 1 and of side 2 at the new processing rate.
    const double stagePeriod = 1.0 / processRate.load(std::memory_order_relaxed);
    for (vorla::AmpChannel& channel : ampChannels)
        vorla::updateAmpChannelStageRates(channel, stagePeriod);
    for (vorla::AmpChannel& channel : ampChannels)
        vorla::designAmpChannelFilters(channel, static_cast<double>(oversampledRate));
}
