// SPDX-License-Identifier: GPL-3.0-or-later
// The convolution against a plain one, and the cabinet's hand-overs: a new
// response, on and off, all without a click.
#include "rig/cabinet.h"
#include "rig/convolution_engine.h"
#include "rig/rig.h"
#include "rig/rig_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

using namespace vorla;
using vorla::test::convolve;
using vorla::test::testResponse;

constexpr double kRate = 48000.0;

ImpulseResponse prepared(std::vector<std::vector<float>> channels)
{
    ImpulseResponse response;
    response.rate = kRate;
    response.channels = std::move(channels);
    return response;
}

/// A plucked-string-like input: decaying partials plus a little noise.
std::vector<float> signal(std::size_t frames, unsigned seed = 1)
{
    std::vector<float> x(frames);
    uint32_t state = seed;
    for (std::size_t n = 0; n < frames; ++n)
    {
        state = state * 1664525u + 1013904223u;
        const double t = double(n) / kRate;
        x[n] = float(0.5 * std::sin(2 * M_PI * 110.0 * t) + 0.2 * std::sin(2 * M_PI * 331.0 * t) +
                     0.01 * (double(state >> 8) / double(1 << 24) - 0.5));
    }
    return x;
}

/// Runs both channels through `engine` in blocks of `block`.
std::vector<std::vector<float>> runEngine(ConvolutionEngine& engine, const std::vector<float>& left,
                                          const std::vector<float>& right, int32_t block)
{
    std::vector<std::vector<float>> out(2, std::vector<float>(left.size()));
    for (std::size_t offset = 0; offset < left.size(); offset += std::size_t(block))
    {
        const int32_t frames =
            int32_t(std::min<std::size_t>(std::size_t(block), left.size() - offset));
        const float* in[2] = {left.data() + offset, right.data() + offset};
        float* o[2] = {out[0].data() + offset, out[1].data() + offset};
        engine.process(in, o, frames);
    }
    return out;
}

double worstError(const std::vector<float>& got, const std::vector<double>& want, std::size_t delay)
{
    double worst = 0.0;
    for (std::size_t n = delay; n < got.size(); ++n)
        worst = std::max(worst, std::fabs(double(got[n]) - want[n - delay]));
    return worst;
}

TEST(ConvolutionEngine, DirectPeriodsAddNoLatencyAndMatchAPlainConvolution)
{
    const auto h = testResponse(3000, kRate);
    const auto x = signal(12288);
    const auto reference = convolve(x, h);
    std::string error;
    for (int32_t period : {64, 256, 1024})
    {
        auto engine = ConvolutionEngine::create(prepared({h}), period, error);
        ASSERT_TRUE(engine) << error;
        EXPECT_EQ(engine->latency(), 0);
        const auto out = runEngine(*engine, x, x, period);
        EXPECT_LT(worstError(out[0], reference, 0), 2e-5) << "period " << period;
        EXPECT_EQ(out[0], out[1]) << "a mono response plays on both sides";
    }
}

TEST(ConvolutionEngine, OtherBlocksAreBufferedWithTheirLatencyTold)
{
    const auto h = testResponse(3000, kRate);
    const auto x = signal(8000);
    const auto reference = convolve(x, h);
    std::string error;
    // Periods below 64 or not a power of two, and blocks of changing length.
    for (int32_t period : {32, 100})
    {
        auto engine = ConvolutionEngine::create(prepared({h}), period, error);
        ASSERT_TRUE(engine) << error;
        EXPECT_EQ(engine->latency(), 64);
        const auto out = runEngine(*engine, x, x, period);
        EXPECT_LT(worstError(out[0], reference, 64), 2e-5) << "period " << period;
        for (std::size_t n = 0; n < 64; ++n)
            ASSERT_EQ(out[0][n], 0.0f);
    }
    auto engine = ConvolutionEngine::create(prepared({h}), ConvolutionEngine::kAnyBlocks, error);
    ASSERT_TRUE(engine) << error;
    const auto out = runEngine(*engine, x, x, 77);
    EXPECT_LT(worstError(out[0], reference, 64), 2e-5);
}

TEST(ConvolutionEngine, AStereoResponsePlaysEachSideThroughItsOwnChannel)
{
    const auto left = testResponse(1000, kRate, 1500.0);
    const auto right = testResponse(1000, kRate, 3000.0);
    const auto x = signal(4096, 1), y = signal(4096, 2);
    std::string error;
    auto engine = ConvolutionEngine::create(prepared({left, right}), 128, error);
    ASSERT_TRUE(engine) << error;
    const auto out = runEngine(*engine, x, y, 128);
    EXPECT_LT(worstError(out[0], convolve(x, left), 0), 2e-5);
    EXPECT_LT(worstError(out[1], convolve(y, right), 0), 2e-5);
}

/// Largest step between neighbouring samples of `x` from `from` on.
float largestStep(const std::vector<float>& x, std::size_t from)
{
    float step = 0.0f;
    for (std::size_t n = std::max<std::size_t>(from, 1); n < x.size(); ++n)
        step = std::max(step, std::fabs(x[n] - x[n - 1]));
    return step;
}

/// Runs a 200 Hz sine through `cabinet` in blocks of 64, going on from
/// sample `n`; `event` is called before block `at`.
template <class Event>
std::vector<float> playThrough(Cabinet& cabinet, std::size_t& n, std::size_t blocks, std::size_t at,
                               Event event)
{
    std::vector<float> out;
    std::vector<float> left(64), right(64);
    for (std::size_t b = 0; b < blocks; ++b)
    {
        if (b == at)
            event();
        for (std::size_t i = 0; i < 64; ++i, ++n)
            left[i] = right[i] = float(0.5 * std::sin(2 * M_PI * 200.0 * double(n) / kRate));
        float* io[2] = {left.data(), right.data()};
        cabinet.process(io, 64);
        out.insert(out.end(), left.begin(), left.end());
    }
    return out;
}

TEST(Cabinet, ANewResponseAndOnOffFadeInsteadOfClicking)
{
    // Two responses of very different gain and delay: a hard switch between
    // them would jump; the fade keeps every step near the sine's own.
    std::vector<float> soft(200, 0.0f), loud(200, 0.0f);
    soft[0] = 0.2f;
    loud[150] = -1.0f; // inverted and late
    std::string error;
    Cabinet cabinet;
    cabinet.prepare(kRate, 64);
    cabinet.install(ConvolutionEngine::create(prepared({soft}), 64, error), true);
    const float sineStep = float(2 * M_PI * 200.0 / kRate); // largest step of a unit sine

    std::size_t n = 0;
    auto swapped = playThrough(cabinet, n, 200, 50, [&] {
        cabinet.offer(ConvolutionEngine::create(prepared({loud}), 64, error));
    });
    EXPECT_LT(largestStep(swapped, 0), 0.1f * 1.0f + sineStep) << "swap";
    // After the fade the new response plays alone.
    EXPECT_NEAR(swapped.back(), -0.5 * std::sin(2 * M_PI * 200.0 * double(n - 1 - 150) / kRate),
                1e-4);
    cabinet.collect();

    auto off = playThrough(cabinet, n, 100, 20, [&] { cabinet.setEnabled(false); });
    EXPECT_LT(largestStep(off, 0), 0.1f + sineStep) << "off";
    EXPECT_FLOAT_EQ(off.back(), float(0.5 * std::sin(2 * M_PI * 200.0 * double(n - 1) / kRate)))
        << "dry after the fade";
    auto on = playThrough(cabinet, n, 100, 20, [&] { cabinet.setEnabled(true); });
    EXPECT_LT(largestStep(on, 0), 0.1f + sineStep) << "on";
}

TEST(Rig, TheGateOffPassesSamplesUntouched)
{
    Rig rig;
    rig.prepare(kRate, 512);
    auto x = signal(512);
    const auto original = x;
    float* io[1] = {x.data()};
    const auto restore = [&] {
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] = original[i];
    };
    rig.gate(io, 1, 512);
    EXPECT_EQ(x, original);
    // On, at a threshold above the signal: it closes.
    rig.setGate(true, -3.0f);
    for (int i = 0; i < 20; ++i)
    {
        restore();
        rig.gate(io, 1, 512);
    }
    EXPECT_EQ(*std::max_element(x.begin(), x.end()), 0.0f);
    EXPECT_EQ(rig.gateGain(), 0.0f);
    // Off again: back to untouched after the attack.
    rig.setGate(false, -3.0f);
    restore();
    rig.gate(io, 1, 512);
    restore();
    rig.gate(io, 1, 512);
    EXPECT_EQ(x, original);
    // A new rate from another thread: the next block redesigns the gate, and
    // its 0.5 ms attack takes twice the samples at twice the rate.
    const auto samplesToOpen = [&] {
        std::vector<float> closed(512, 0.0f), loud(512, 0.5f);
        float* c[1] = {closed.data()};
        for (int i = 0; i < 60; ++i) // 0.3 s or more: closed, at rest
            rig.gate(c, 1, 512);
        float* l[1] = {loud.data()};
        rig.gate(l, 1, 512);
        return std::find(loud.begin(), loud.end(), 0.5f) - loud.begin();
    };
    rig.setGate(true, -40.0f);
    const auto at48 = samplesToOpen();
    std::thread([&] { rig.setRate(2 * kRate); }).join();
    const auto at96 = samplesToOpen();
    EXPECT_GE(at96, 2 * at48 - 2); // float steps of 1/24 and 1/48 may end one apart
    EXPECT_LE(at96, 2 * at48 + 2);
    // Thresholds are clamped and non-numbers ignored.
    rig.setGate(true, -200.0f);
    EXPECT_EQ(rig.gateThreshold(), Rig::kMinGateDb);
    rig.setGate(true, std::nanf(""));
    EXPECT_EQ(rig.gateThreshold(), Rig::kMinGateDb);
}

} // namespace
