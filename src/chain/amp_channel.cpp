// SPDX-License-Identifier: GPL-3.0-or-later
// Setting up one side of the amplifier: zero state, the stage operating
// points and the designs at the processing rate.
#include "chain/amp_channel.h"

#include "chain/voicing_tables.h"

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <type_traits>

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
    forEachHalfband(channel, [](auto& filter) { resetHalfband(filter); });
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
    forEachHalfband(channel, [](auto& filter) { loadHalfbandCoefficients(filter); });
}

void restAmpChannel(AmpChannel& channel, const ChainDesign& design) noexcept
{
    resetAmpChannel(channel);
    designAmpChannel(channel, design);
    initAmpChannelStages(channel, design.designRate);
}

namespace {

/// Collects the bits of v - v over many values.  For a finite v that is +0,
/// no bit set; for an infinity or a NaN it is a NaN.  Two doubles or four
/// floats an instruction, and the ORs that gather them are one cycle each,
/// so the check of a whole side costs a few dozen cycles.
class NonFiniteBits
{
public:
    void add(const double* v, std::size_t n) noexcept
    {
        std::size_t i = 0;
        for (; i + 2 <= n; i += 2)
            fold(differencePd(_mm_loadu_pd(v + i)));
        if (i < n)
            fold(differencePd(_mm_load_sd(v + i)));
    }
    void add(const float* v, std::size_t n) noexcept
    {
        std::size_t i = 0;
        for (; i + 4 <= n; i += 4)
            fold(differencePs(_mm_loadu_ps(v + i)));
        for (; i < n; ++i)
            fold(differencePs(_mm_load_ss(v + i)));
    }
    /// A record of doubles only (a stage's, a filter's or the tone stack's
    /// state), read as the doubles it is made of.
    template <class Record> void addRecord(const Record& r) noexcept
    {
        static_assert(std::is_trivially_copyable_v<Record> && sizeof(Record) % sizeof(double) == 0);
        double v[sizeof(Record) / sizeof(double)];
        std::memcpy(v, &r, sizeof v);
        add(v, sizeof(Record) / sizeof(double));
    }
    bool any() const noexcept
    {
        const __m128i none = _mm_cmpeq_epi8(bits, _mm_setzero_si128());
        return _mm_movemask_epi8(none) != 0xFFFF;
    }

private:
    static __m128i differencePd(__m128d x) noexcept { return _mm_castpd_si128(_mm_sub_pd(x, x)); }
    static __m128i differencePs(__m128 x) noexcept { return _mm_castps_si128(_mm_sub_ps(x, x)); }
    void fold(__m128i difference) noexcept { bits = _mm_or_si128(bits, difference); }

    __m128i bits = _mm_setzero_si128();
};

} // namespace

bool ampChannelIsFinite(const AmpChannel& c) noexcept
{
    NonFiniteBits bits;
    for (const StageUse& use : kStageUses)
        bits.addRecord(static_cast<const TriodeState<double>&>(c.*use.stage));
    for (const Element& use : kBiquadUses)
        bits.addRecord(static_cast<const BiquadState<double>&>(c.*use.filter));
    bits.addRecord(static_cast<const ToneStackState<double>&>(c.toneStack));
    forEachHalfband(c, [&bits](const auto& f) {
        bits.add(f.xPrev, f.order);
        bits.add(f.yPrev, f.order);
    });
    return !bits.any();
}

} // namespace vorla