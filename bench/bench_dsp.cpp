// SPDX-License-Identifier: GPL-3.0-or-later
// Per-call cost of the per-sample DSP primitives, at the processing rate of
// 44.1 kHz with 4x oversampling, driven by sines of realistic level.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "dsp/biquad.h"
#include "dsp/halfband.h"
#include "dsp/tone_stack.h"
#include "dsp/triode_sets.h"
#include "dsp/triode_stage.h"
#include "dsp/tube_table.h"

namespace {

using namespace vorla;

constexpr double kRate = 176400.0;
constexpr std::size_t kLength = 4096;

// One period-free stretch of a 220 Hz sine of the given peak.
template <typename T> std::array<T, kLength> makeSine(double peak)
{
    std::array<T, kLength> s{};
    for (std::size_t n = 0; n < kLength; ++n)
    {
        s[n] = static_cast<T>(peak * std::sin(2.0 * std::numbers::pi * 220.0 * double(n) / kRate));
    }
    return s;
}

void BM_lookupTubeTable(benchmark::State& state)
{
    const auto input = makeSine<double>(3.0);
    std::size_t n = 0;
    for (auto _ : state)
    {
        double x = input[n];
        benchmark::DoNotOptimize(lookupTubeTable(x));
        n = (n + 1) % kLength;
    }
}
BENCHMARK(BM_lookupTubeTable);

void BM_processTriodeStage(benchmark::State& state)
{
    const auto input = makeSine<double>(2.0);
    TriodeStage stage;
    initTriodeStage(stage, kTriodeSetS1, kRate);
    const double rate = kRate;
    std::size_t n = 0;
    for (auto _ : state)
    {
        double x = input[n];
        processTriodeStage(stage, x, rate);
        benchmark::DoNotOptimize(x);
        n = (n + 1) % kLength;
    }
}
BENCHMARK(BM_processTriodeStage);

// The latency of a stage's sample-to-sample recursion (the cathode voltage
// feeds the next sample's grid), with the state in registers as in the
// chain's loops: one stage on a double, and four side by side in the lanes
// of an AVX register, as the mono loop steps its three stages (and a spare).
// gridCurrent:0 holds the grid a few volts below its cathode (on the curve,
// above cut-off); gridCurrent:1 drives it above, where the grid-current clamp
// puts a square root and five more rounded operations on the recursion.  The
// difference is what a conducting second stage adds to each oversampled
// sample in Crunch and Overdrive.  "conducting" is the share of steps with
// grid current.
template <class L> void runTriodeStageRecursion(benchmark::State& state)
{
    const bool gridCurrent = state.range(0) != 0;
    auto input = makeSine<double>(1.0);
    for (double& x : input)
        x += gridCurrent ? 20.0 : -3.0;
    TriodeStage stage;
    initTriodeStage(stage, kTriodeSetS4, kRate);
    const TriodeCoefficients<double>* coefficients[lanes::kWidth<L>];
    const TriodeState<double>* states[lanes::kWidth<L>];
    for (int i = 0; i < lanes::kWidth<L>; ++i)
    {
        coefficients[i] = &stage;
        states[i] = &stage;
    }
    const TriodeCoefficients<L> k = gatherLanes<TriodeCoefficients, L>(coefficients);
    TriodeState<L> s = gatherLanes<TriodeState, L>(states);
    const L rate = lanes::splat<L>(kRate);
    L sum = lanes::splat<L>(0.0);
    std::size_t conducting = 0;
    for (auto _ : state)
    {
        for (double v : input)
        {
            L x = lanes::splat<L>(v);
            conducting += lanes::any(lanes::greaterEqual(x - s.Vk, lanes::splat<L>(0.0))) ? 1 : 0;
            stepTriodeStage(k, s, x, rate);
            sum = sum + x;
        }
    }
    benchmark::DoNotOptimize(sum);
    const auto steps = static_cast<double>(state.iterations()) * double(kLength);
    state.counters["conducting"] = double(conducting) / steps;
    state.counters["ns_per_step"] =
        benchmark::Counter(steps, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_triodeStageRecursion(benchmark::State& state)
{
    runTriodeStageRecursion<double>(state);
}
BENCHMARK(BM_triodeStageRecursion)->ArgName("gridCurrent")->Arg(0)->Arg(1);

VORLA_AVX __attribute__((flatten)) void BM_triodeStageRecursionAvx(benchmark::State& state)
{
    if (!processorHasAvx())
    {
        state.SkipWithError("no AVX on this processor");
        return;
    }
    runTriodeStageRecursion<__m256d>(state);
}
BENCHMARK(BM_triodeStageRecursionAvx)->ArgName("gridCurrent")->Arg(0)->Arg(1);

void BM_processBiquad(benchmark::State& state)
{
    const auto input = makeSine<double>(1.0);
    Biquad bq;
    designLowpass(4800.0, 0.85, kRate, bq);
    std::size_t n = 0;
    for (auto _ : state)
    {
        double x = input[n];
        processBiquad(bq, x);
        benchmark::DoNotOptimize(x);
        n = (n + 1) % kLength;
    }
}
BENCHMARK(BM_processBiquad);

template <std::size_t N> void BM_processHalfband(benchmark::State& state)
{
    const auto input = makeSine<float>(0.5);
    HalfbandFilter<N> f;
    resetHalfband(f);
    loadHalfbandCoefficients(f);
    std::size_t n = 0;
    for (auto _ : state)
    {
        float earlier = 0.0f, later = 0.0f;
        processHalfband(f, input[n], earlier, later);
        benchmark::DoNotOptimize(earlier);
        benchmark::DoNotOptimize(later);
        n = (n + 1) % kLength;
    }
}
BENCHMARK(BM_processHalfband<12>);
BENCHMARK(BM_processHalfband<8>);
BENCHMARK(BM_processHalfband<4>);

template <std::size_t N> void BM_decimateHalfband(benchmark::State& state)
{
    const auto input = makeSine<float>(0.5);
    HalfbandFilter<N> f;
    resetHalfband(f);
    loadHalfbandCoefficients(f);
    std::size_t n = 0;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(decimateHalfband(f, input[n], input[n + 1]));
        n = (n + 2) % kLength;
    }
}
BENCHMARK(BM_decimateHalfband<12>);
BENCHMARK(BM_decimateHalfband<8>);
BENCHMARK(BM_decimateHalfband<4>);

void BM_processToneStack(benchmark::State& state)
{
    const auto input = makeSine<double>(1.0);
    ToneStack ts;
    designToneStack(4.7e-10, 2.2e-8, 2.2e-8, 250000, 1000000, 25000, 94000, kRate, ts);
    std::size_t n = 0;
    for (auto _ : state)
    {
        // Controls unchanged: the coefficients are computed once, on the
        // first call, and then only the filter runs.
        double x = input[n];
        processToneStack(ts, 0.5, 0.5, 0.5, 0.5, x);
        benchmark::DoNotOptimize(x);
        n = (n + 1) % kLength;
    }
}
BENCHMARK(BM_processToneStack);

void BM_toneStackCoefficientUpdate(benchmark::State& state)
{
    ToneStack ts;
    designToneStack(4.7e-10, 2.2e-8, 2.2e-8, 250000, 1000000, 25000, 94000, kRate, ts);
    double contour = 0.0;
    for (auto _ : state)
    {
        contour = contour < 1.0 ? contour + 0.001 : 0.0;
        updateToneStackCoefficients(ts, 0.5, 0.5, 0.5, contour);
        benchmark::DoNotOptimize(ts.B0n);
    }
}
BENCHMARK(BM_toneStackCoefficientUpdate);

} // namespace
