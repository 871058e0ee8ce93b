// Setting up one side of the amplifier: zero state, the stage operating
// points and the designs at the processing rate.
#include "chain/amp_channel.h"

#include "dsp/triode_sets.h"

namespace vorla {

namespace {

// The tone stack's components (farads, ohms): treble cap, bass and middle
// caps, treble, bass and middle pots, and the fourth resistor that the
// contour control scales.
constexpr double kStackC1 = 4.7e-10;
constexpr double kStackC2 = 2.2e-8;
constexpr double kStackC3 = 2.2e-8;
constexpr double kStackR1 = 250000.0;
constexpr double kStackR2 = 1000000.0;
constexpr double kStackR3 = 25000.0;
constexpr double kStackR4 = 94000.0;

} // namespace

void resetAmpChannel(AmpChannel& channel) noexcept
{
    channel = AmpChannel{};
    resetHalfband(channel.upsampler1);
    resetHalfband(channel.downsampler1);
    resetHalfband(channel.upsampler2);
    resetHalfband(channel.downsampler2);
    resetHalfband(channel.upsampler3);
    resetHalfband(channel.downsampler3);
}

void initAmpChannelStages(AmpChannel& channel, double rate)
{
    initTriodeStage(channel.cleanStage1, kTriodeSetS1, rate);
    initTriodeStage(channel.crunchStage1, kTriodeSetS1, rate);
    initTriodeStage(channel.inputStage, kTriodeSetS2, rate);
    initTriodeStage(channel.overdriveStage1, kTriodeSetS3, rate);
    initTriodeStage(channel.cleanStage2, kTriodeSetS4, rate);
    initTriodeStage(channel.crunchStage2, kTriodeSetS4, rate);
    initTriodeStage(channel.overdriveStage2, kTriodeSetS4, rate);
}

void updateAmpChannelStageRates(AmpChannel& channel, double period)
{
    updateTriodeStageRate(channel.cleanStage1, period);
    updateTriodeStageRate(channel.crunchStage1, period);
    updateTriodeStageRate(channel.inputStage, period);
    updateTriodeStageRate(channel.overdriveStage1, period);
    updateTriodeStageRate(channel.cleanStage2, period);
    updateTriodeStageRate(channel.crunchStage2, period);
    updateTriodeStageRate(channel.overdriveStage2, period);
}

void designAmpChannelFilters(AmpChannel& channel, double rate)
{
    designToneStack(kStackC1, kStackC2, kStackC3, kStackR1, kStackR2, kStackR3, kStackR4, rate,
                    channel.toneStack);

    designPeak(4500.0, 0.7, 1.6, rate, channel.brightPeak);
    designLowpass(2257.0, 0.85, rate, channel.overdriveLowpass1);
    designLowpass(4800.0, 1.0, rate, channel.cleanLowpass);
    designLowpass(4800.0, 0.85, rate, channel.crunchLowpass);
    designLowpass(4800.0, 0.85, rate, channel.overdriveLowpass2);
    designLowShelf(720.0, 0.7, 0.5, rate, channel.cleanBrightShelf);
    designLowShelf(250.0, 0.7, 0.45, rate, channel.overdriveShelf);
    designLowShelf(600.0, 0.7, 0.25, rate, channel.cleanShelf);
    designLowShelf(600.0, 0.7, 0.35, rate, channel.crunchShelf);
    designLowShelf(720.0, 0.7, 0.5, rate, channel.crunchBrightShelf);
    designHighpass(2.0, 0.7, rate, channel.dcBlocker);

    // The resamplers' coefficients do not depend on the rate; reloading
    // them keeps their state, so running audio continues without a click.
    loadHalfbandCoefficients(channel.upsampler1);
    loadHalfbandCoefficients(channel.downsampler1);
    loadHalfbandCoefficients(channel.upsampler2);
    loadHalfbandCoefficients(channel.downsampler2);
    loadHalfbandCoefficients(channel.upsampler3);
    loadHalfbandCoefficients(channel.downsampler3);
}

} // namespace vorla
