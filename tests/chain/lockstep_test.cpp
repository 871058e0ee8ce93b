// The two-lane primitives against the scalar ones: every lane must give
// exactly the bits of the one-side code, on ordinary signals and on the
// branch edges (grid current, cut-off, supply limit, cathode clamp, table
// ends, shaper sign).
#include "chain/chain_support.h"
#include "chain/lockstep.h"
#include "dsp/triode_sets.h"
#include "params/direct_effect.h"
#include "params/parameters.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <limits>

namespace {

using namespace vorla;
namespace ls = vorla::lockstep;

bool sameBits(double a, double b)
{
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

template <class T> bool sameBytes(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

/// Inputs that visit every branch: quiet, large, huge, negative, zero.
std::vector<double> edgeInputs()
{
    std::vector<double> v = {0.0,
                             -0.0,
                             1e-300,
                             -1e-300,
                             0.5,
                             -0.5,
                             3.0,
                             -3.0,
                             20.0,
                             -20.0,
                             100.0,
                             -100.0,
                             1e6,
                             -1e6,
                             1e30,
                             -1e30,
                             179.99,
                             -179.99,
                             180.0,
                             -180.0,
                             1000.0,
                             -1000.0,
                             std::nextafter(180.0, 0.0),
                             std::nextafter(-180.0, 0.0),
                             -0.05,
                             0.1,
                             -0.1,
                             -179.9,
                             179.9};
    vorla::test::Lcg noise(99u);
    for (int k = 0; k < 400; ++k)
        v.push_back(40.0 * noise.bipolar());
    return v;
}

TEST(Lockstep, TriodeStageLanesMatchTheScalarStage)
{
    const TriodeComponentSet* sets[] = {&kTriodeSetS1, &kTriodeSetS2, &kTriodeSetS3, &kTriodeSetS4};
    const auto inputs = edgeInputs();
    for (const auto* set0 : sets)
        for (const auto* set1 : sets)
        {
            TriodeStage lane0;
            TriodeStage lane1;
            initTriodeStage(lane0, *set0, 176400.0);
            initTriodeStage(lane1, *set1, 176400.0);
            TriodeStage scalar0 = lane0;
            TriodeStage scalar1 = lane1;
            const double rate = 176400.0;
            for (std::size_t k = 0; k < inputs.size(); ++k)
            {
                double x0 = inputs[k];
                double x1 = inputs[inputs.size() - 1 - k] * 0.3;
                ls::Lanes x = _mm_set_pd(x1, x0);
                ls::processTriodeStage(lane0, lane1, x, ls::splat(rate));
                processTriodeStage(scalar0, x0, rate);
                processTriodeStage(scalar1, x1, rate);
                ASSERT_TRUE(sameBits(ls::lane0(x), x0)) << k;
                ASSERT_TRUE(sameBits(ls::lane1(x), x1)) << k;
                ASSERT_TRUE(sameBytes(lane0, scalar0)) << k;
                ASSERT_TRUE(sameBytes(lane1, scalar1)) << k;
            }
        }
}

TEST(Lockstep, BiquadToneStackTubeAndShaperLanesMatchScalar)
{
    Biquad q0;
    Biquad q1;
    designLowShelf(600.0, 0.7, 0.25, 176400.0, q0);
    designHighpass(2.0, 0.7, 176400.0, q1);
    Biquad r0 = q0;
    Biquad r1 = q1;

    ToneStack t0;
    ToneStack t1;
    designToneStack(4.7e-10, 2.2e-8, 2.2e-8, 250000, 1000000, 25000, 94000, 176400.0, t0);
    designToneStack(4.7e-10, 2.2e-8, 2.2e-8, 250000, 1000000, 25000, 94000, 176400.0, t1);
    ToneStack u0 = t0;
    ToneStack u1 = t1;
    BlockSnapshot s;
    s.low = 0.3;
    s.mid = 0.7;
    s.high = 0.55;
    s.contour = 0.9;

    const auto inputs = edgeInputs();
    for (std::size_t k = 0; k < inputs.size(); ++k)
    {
        const double a = inputs[k];
        const double b = -inputs[(k * 7) % inputs.size()];

        ls::Lanes x = _mm_set_pd(b, a);
        ls::processBiquad(q0, q1, x);
        double sa = a;
        double sb = b;
        processBiquad(r0, sa);
        processBiquad(r1, sb);
        ASSERT_TRUE(sameBits(ls::lane0(x), sa) && sameBits(ls::lane1(x), sb)) << k;

        x = _mm_set_pd(b, a);
        ls::processToneStack(t0, t1, s, x);
        sa = a;
        sb = b;
        processToneStack(u0, s.low, s.mid, s.high, s.contour, sa);
        processToneStack(u1, s.low, s.mid, s.high, s.contour, sb);
        ASSERT_TRUE(sameBits(ls::lane0(x), sa) && sameBits(ls::lane1(x), sb)) << k;

        x = ls::lookupTubeTable(_mm_set_pd(b, a));
        sa = a;
        sb = b;
        lookupTubeTable(sa);
        lookupTubeTable(sb);
        ASSERT_TRUE(sameBits(ls::lane0(x), sa) && sameBits(ls::lane1(x), sb)) << a << " " << b;
        ASSERT_TRUE(sameBits(ls::lookupTubeTable(a), sa) && sameBits(ls::lookupTubeTable(b), sb))
            << a << " " << b;

        x = ls::stageShaper(_mm_set_pd(b, a));
        ASSERT_TRUE(sameBits(ls::lane0(x), stageShaper(a)) &&
                    sameBits(ls::lane1(x), stageShaper(b)))
            << a << " " << b;
    }
    EXPECT_TRUE(sameBytes(q0, r0) && sameBytes(q1, r1));
    EXPECT_TRUE(sameBytes(t0, u0) && sameBytes(t1, u1));

    // NaN reaches the table's last value in both.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    double scalarNan = nan;
    lookupTubeTable(scalarNan);
    EXPECT_TRUE(sameBits(ls::lane1(ls::lookupTubeTable(_mm_set_pd(nan, 0.0))), scalarNan));
}

TEST(Lockstep, PairOfTwoSidesMatchesTwoOneSidePairs)
{
    for (int voicing = 0; voicing < 3; ++voicing)
        for (int bright = 0; bright < 2; ++bright)
        {
            AmpChannel c0{};
            AmpChannel c1{};
            for (AmpChannel* c : {&c0, &c1})
                restAmpChannel(*c, makeChainDesign(44100.0f, 4));
            AmpChannel r0 = c0;
            AmpChannel r1 = c1;
            BlockSnapshot s;
            s.inputGain = 0.9;
            s.low = 0.5;
            s.mid = 0.5;
            s.high = 0.5;
            s.contour = 0.5;
            s.contourLevel = contourLevel(0.5);
            s.powerDrive = 0.55;
            s.crunchDriveGain = driveGain(0.8);
            s.overdriveDriveGain = driveGain(0.9);
            PairFlags flags;
            flags.channelOverdrive = voicing == 2;
            flags.crunchOn = voicing == 1;
            flags.boostOn = 1;
            flags.brightOn = bright;
            const auto signal = vorla::test::guitarSignal(600, 176400.0f);
            const auto other = vorla::test::noiseSignal(600);
            for (std::size_t k = 0; k + 1 < signal.size(); k += 2)
            {
                ls::Lanes a = _mm_set_pd(other[k], signal[k]);
                ls::Lanes b = _mm_set_pd(other[k + 1], signal[k + 1]);
                ls::processPair(c0, c1, a, b, s, flags, 176400.0);
                double a0 = signal[k];
                double b0 = signal[k + 1];
                double a1 = other[k];
                double b1 = other[k + 1];
                processPair(r0, a0, b0, s, flags, 176400.0);
                processPair(r1, a1, b1, s, flags, 176400.0);
                ASSERT_TRUE(sameBits(ls::lane0(a), a0) && sameBits(ls::lane0(b), b0)) << k;
                ASSERT_TRUE(sameBits(ls::lane1(a), a1) && sameBits(ls::lane1(b), b1)) << k;
            }
            EXPECT_TRUE(sameBytes(c0, r0));
            EXPECT_TRUE(sameBytes(c1, r1));
        }
}

} // namespace

namespace {

/// Stereo through two effects, one on the SSE2 lanes and one allowed the
/// 256-bit lanes, switching voicing, bright and boost between blocks of
/// uneven length (chunks end mid-block).
void expectWideLanesMatchSse2(float hostRate, bool highQuality)
{
    auto narrow = vorla::test::makeVorla();
    auto wide = vorla::test::makeVorla();
    narrow->chunkBuffers.wideLanes = false;
    wide->chunkBuffers.wideLanes = true;
    for (Vorla* fx : {narrow.get(), wide.get()})
    {
        fx->setParameter(kQuality, highQuality ? 1.0f : 0.0f);
        fx->setSampleRate(hostRate);
        fx->setParameter(kMonoStereo, 1.0f);
        fx->setParameter(kInput, 1.0f);
    }
    const std::size_t frames = 3000;
    std::vector<float> in1 = vorla::test::guitarSignal(frames, hostRate, 0);
    std::vector<float> in2 = vorla::test::guitarSignal(frames, hostRate, 1);
    // A loud burst drives the stages into grid current and cut-off.
    for (std::size_t i = 1200; i < 1500; ++i)
        in1[i] *= 40.0f;
    std::vector<float> out[2][2];
    for (auto& side : out)
        for (auto& v : side)
            v.assign(frames, 0.0f);
    const int blocks[] = {37, 1, 64, 250, 3};
    std::size_t pos = 0;
    for (int b = 0; pos < frames; ++b)
    {
        const auto n = static_cast<int32_t>(std::min<std::size_t>(blocks[b % 5], frames - pos));
        const int voicing = (b / 3) % 3;
        Vorla* effects[] = {narrow.get(), wide.get()};
        for (int e = 0; e < 2; ++e)
        {
            Vorla* fx = effects[e];
            fx->setParameter(kChannel, voicing == 2 ? 1.0f : 0.0f);
            fx->setParameter(kCleanCrunch, voicing == 1 ? 1.0f : 0.0f);
            fx->setParameter(kBright, (b / 2) % 2 != 0 ? 1.0f : 0.0f);
            fx->setParameter(kBoost, (b / 5) % 2 != 0 ? 1.0f : 0.0f);
            float* inputs[2] = {in1.data() + pos, in2.data() + pos};
            float* outputs[2] = {out[e][0].data() + pos, out[e][1].data() + pos};
            fx->processReplacing(inputs, outputs, n);
        }
        pos += static_cast<std::size_t>(n);
    }
    for (int side = 0; side < 2; ++side)
    {
        EXPECT_TRUE(vorla::test::sameBits(out[0][side], out[1][side])) << "output " << side + 1;
        EXPECT_TRUE(sameBytes(narrow->ampChannels[side], wide->ampChannels[side]))
            << "side " << side;
    }
    EXPECT_GT(vorla::test::peak(out[1][0]), 0.01);
}

TEST(Lockstep, WideLanesGiveTheBitsOfTheSse2Lanes)
{
    if (!vorla::wide::processorHasAvx())
        GTEST_SKIP() << "no AVX on this processor";
    expectWideLanesMatchSse2(96000.0f, false); // 2x
    expectWideLanesMatchSse2(44100.0f, false); // 4x
    expectWideLanesMatchSse2(44100.0f, true);  // 8x
}

} // namespace
