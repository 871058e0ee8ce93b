// Setting up one side of the amplifier: zero state, the stage operating
// points and the designs at the processing rate.
#include "chain/amp_channel.h"

#include "chain/voicing_tables.h"

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
    for (const StageUse& use : kStageUses)
        initTriodeStage(channel.*use.stage, *use.set, rate);
}

void designAmpChannel(AmpChannel& channel, const ChainDesign& design) noexcept
{
    // The stages keep their voltages; only the two rate terms follow T.
    const double period = 1.0 / design.processRate;
    for (const StageUse& use : kStageUses)
        updateTriodeStageRate(channel.*use.stage, period);

    const double rate = design.designRate;
    designToneStack(kStackC1, kStackC2, kStackC3, kStackR1, kStackR2, kStackR3, kStackR4, rate,
                    channel.toneStack);

    // Every biquad from its design in the voicing tables.
    for (const Element& use : kBiquadUses)
    {
        Biquad& bq = channel.*use.filter;
        const BiquadDesign& d = use.design;
        switch (d.kind)
        {
        case BiquadDesign::Kind::Lowpass: designLowpass(d.frequency, d.q, rate, bq); break;
        case BiquadDesign::Kind::LowShelf:
            designLowShelf(d.frequency, d.q, d.gain, rate, bq);
            break;
        case BiquadDesign::Kind::Peak: designPeak(d.frequency, d.q, d.gain, rate, bq); break;
        case BiquadDesign::Kind::Highpass: designHighpass(d.frequency, d.q, rate, bq); break;
        }
    }

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
    for (const StageUse& use : kStageUses)
    {
        const TriodeStage& s = c.*use.stage;
        zero += (s.Vg + s.Vk + s.Vp + s.Ig + s.Ip + s.out) * 0.0;
    }
    for (const Element& use : kBiquadUses)
    {
        const Biquad& q = c.*use.filter;
        zero += (q.x1 + q.x2 + q.y1 + q.y2) * 0.0;
    }
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