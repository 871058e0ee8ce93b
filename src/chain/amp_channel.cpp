// Setting up one side of the amplifier: zero state, the stage operating
// points and the designs at the processing rate.
#include "chain/amp_channel.h"

#include "dsp/triode_sets.h"

#include <cstddef>
#include <initializer_list>

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

ChainDesign makeChainDesign(float hostRate, int32_t factor) noexcept
{
    ChainDesign design;
    design.hostRate = hostRate;
    design.factor = factor;
    // The processing rate is formed in float, as the host rate is a float.
    const float oversampledRate = hostRate * static_cast<float>(factor);
    design.designRate = static_cast<double>(oversampledRate);
    design.samplePeriod = 1.0 / design.designRate;
    design.processRate = 1.0 / design.samplePeriod;
    return design;
}

void initAmpChannelStages(AmpChannel& channel, double rate) noexcept
{
    initTriodeStage(channel.cleanStage1, kTriodeSetS1, rate);
    initTriodeStage(channel.crunchStage1, kTriodeSetS1, rate);
    initTriodeStage(channel.inputStage, kTriodeSetS2, rate);
    initTriodeStage(channel.overdriveStage1, kTriodeSetS3, rate);
    initTriodeStage(channel.cleanStage2, kTriodeSetS4, rate);
    initTriodeStage(channel.crunchStage2, kTriodeSetS4, rate);
    initTriodeStage(channel.overdriveStage2, kTriodeSetS4, rate);
}

void designAmpChannel(AmpChannel& channel, const ChainDesign& design) noexcept
{
    // The stages keep their voltages; only the two rate terms follow T.
    const double period = 1.0 / design.processRate;
    for (TriodeStage* stage : {&channel.cleanStage1, &channel.crunchStage1, &channel.inputStage,
                               &channel.overdriveStage1, &channel.cleanStage2,
                               &channel.crunchStage2, &channel.overdriveStage2})
        updateTriodeStageRate(*stage, period);

    const double rate = design.designRate;
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

void restAmpChannel(AmpChannel& channel, const ChainDesign& design) noexcept
{
    resetAmpChannel(channel);
    designAmpChannel(channel, design);
    initAmpChannelStages(channel, design.designRate);
}

bool ampChannelIsFinite(const AmpChannel& c) noexcept
{
    // x * 0 is 0 for every finite x and NaN for an infinity or a NaN, so the
    // sum is 0 exactly when every state value is finite (a plain sum of the
    // values could overflow for finite ones).
    double zero = 0.0;
    for (const TriodeStage* s : {&c.cleanStage1, &c.crunchStage1, &c.inputStage, &c.overdriveStage1,
                                 &c.cleanStage2, &c.crunchStage2, &c.overdriveStage2})
        zero += (s->Vg + s->Vk + s->Vp + s->Ig + s->Ip + s->out) * 0.0;
    for (const Biquad* q :
         {&c.overdriveLowpass2, &c.overdriveLowpass1, &c.cleanLowpass, &c.crunchLowpass,
          &c.cleanBrightShelf, &c.crunchBrightShelf, &c.overdriveShelf, &c.cleanShelf,
          &c.crunchShelf, &c.brightPeak, &c.dcBlocker})
        zero += (q->x1 + q->x2 + q->y1 + q->y2) * 0.0;
    zero += (c.toneStack.s0 + c.toneStack.s1 + c.toneStack.s2) * 0.0;
    const auto halfband = [&zero](const auto& f) {
        for (std::size_t k = 0; k < f.order; ++k)
            zero += (static_cast<double>(f.xPrev[k]) + static_cast<double>(f.yPrev[k])) * 0.0;
    };
    halfband(c.upsampler1);
    halfband(c.downsampler1);
    halfband(c.upsampler2);
    halfband(c.downsampler2);
    halfband(c.upsampler3);
    halfband(c.downsampler3);
    return zero == 0.0;
}

} // namespace vorla