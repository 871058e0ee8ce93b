// SPDX-License-Identifier: GPL-3.0-or-later
// Setting up one side of the amplifier: zero state, the stage operating
// points and the designs at the processing rate.
#include "chain/amp_channel.h"

#include "chain/voicing_tables.h"

#include <bit>
#include <cstddef>
#include <cstdint>
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

namespace {

/// Non-zero when `v` is an infinity or a NaN: its exponent bits all set.
/// Integer operations only, so the tests of many values do not wait for
/// one another.
inline uint64_t nonFinite(double v) noexcept
{
    constexpr uint64_t exponent = 0x7FF0000000000000ull;
    return (std::bit_cast<uint64_t>(v) & exponent) == exponent ? 1u : 0u;
}
inline uint64_t nonFinite(float v) noexcept
{
    constexpr uint32_t exponent = 0x7F800000u;
    return (std::bit_cast<uint32_t>(v) & exponent) == exponent ? 1u : 0u;
}

} // namespace

bool ampChannelIsFinite(const AmpChannel& c) noexcept
{
    uint64_t bad = 0;
    for (const StageUse& use : kStageUses)
    {
        const TriodeStage& s = c.*use.stage;
        bad |= nonFinite(s.Vg) | nonFinite(s.Vk) | nonFinite(s.Vp) | nonFinite(s.Ig) |
               nonFinite(s.Ip) | nonFinite(s.out);
    }
    for (const Element& use : kBiquadUses)
    {
        const Biquad& q = c.*use.filter;
        bad |= nonFinite(q.x1) | nonFinite(q.x2) | nonFinite(q.y1) | nonFinite(q.y2);
    }
    bad |= nonFinite(c.toneStack.s0) | nonFinite(c.toneStack.s1) | nonFinite(c.toneStack.s2);
    const auto halfband = [&bad](const auto& f) {
        for (std::size_t k = 0; k < f.order; ++k)
            bad |= nonFinite(f.xPrev[k]) | nonFinite(f.yPrev[k]);
    };
    halfband(c.upsampler1);
    halfband(c.downsampler1);
    halfband(c.upsampler2);
    halfband(c.downsampler2);
    halfband(c.upsampler3);
    halfband(c.downsampler3);
    return bad == 0;
}

} // namespace vorla