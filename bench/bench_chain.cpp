// SPDX-License-Identifier: GPL-3.0-or-later
// Real-time factor of the whole amplifier: audio seconds processed per CPU
// second on one core, for a mono and a stereo instance, at 44.1 and 96 kHz,
// LowQ and HighQ, each voicing, on a plucked-string signal and on silence.
//
//   rtf      audio seconds per CPU second (the "rtf" counter)
//
// Arguments: stereo (0/1), host rate (Hz), HighQ (0/1), voicing (0 clean,
// 1 crunch, 2 overdrive), signal (0 guitar, 1 silence).  BM_sse2Lanes runs
// the same cases on the SSE2 lanes only, as on a processor without AVX;
// BM_libraryExp calls std::exp in the shaper instead of the inline exp, as
// where the C library's exp is not the fused form.
// On a shared machine take several repetitions, interleaved, and compare
// mono and stereo of one run:
//
//   ./build/vorla-bench --benchmark_filter=BM_amplifier --benchmark_repetitions=5
//       --benchmark_enable_random_interleaving=true   (one line)
#include <benchmark/benchmark.h>

#include "effect/effect_core.h"
#include "effect/parameters.h"

#include "bench_signal.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr int32_t kBlock = 512;

void runAmplifier(benchmark::State& state, bool sse2Only, bool libraryExp = false)
{
    const bool stereo = state.range(0) != 0;
    const auto rate = static_cast<float>(state.range(1));
    const bool highQuality = state.range(2) != 0;
    const auto voicing = state.range(3);
    const bool silence = state.range(4) != 0;

    auto effect = std::make_unique<vorla::EffectCore>();
    if (sse2Only)
        effect->amplifier().modelCode().useLanes(vorla::LaneSet::Sse2);
    if (libraryExp)
        effect->amplifier().modelCode().inlineExp = false;
    effect->setParameter(kQuality, highQuality ? 1.0f : 0.0f);
    effect->setSampleRate(rate);
    effect->setParameter(kChannel, voicing == 2 ? 1.0f : 0.0f);
    effect->setParameter(kCleanCrunch, voicing == 1 ? 1.0f : 0.0f);
    effect->setParameter(kMonoStereo, stereo ? 1.0f : 0.0f);

    const auto frames = static_cast<std::size_t>(rate); // one second
    std::vector<float> in1 =
        silence ? std::vector<float>(frames, 0.0f) : vorla::bench::pluckedStrings(frames, rate, 1u);
    std::vector<float> in2 =
        silence ? std::vector<float>(frames, 0.0f) : vorla::bench::pluckedStrings(frames, rate, 2u);
    std::vector<float> out1(frames);
    std::vector<float> out2(frames);

    // Settle the stages (and reach the sustained state of silence).
    auto runSecond = [&] {
        for (std::size_t pos = 0; pos < frames; pos += kBlock)
        {
            const auto n = static_cast<int32_t>(std::min<std::size_t>(kBlock, frames - pos));
            float* inputs[2] = {in1.data() + pos, in2.data() + pos};
            float* outputs[2] = {out1.data() + pos, out2.data() + pos};
            effect->process(inputs, outputs, n);
        }
    };
    runSecond();

    for (auto _ : state)
    {
        runSecond();
        benchmark::DoNotOptimize(out1.data());
        benchmark::DoNotOptimize(out2.data());
    }
    state.counters["rtf"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_amplifier(benchmark::State& state)
{
    runAmplifier(state, false);
}

void BM_sse2Lanes(benchmark::State& state)
{
    runAmplifier(state, true);
}

void BM_libraryExp(benchmark::State& state)
{
    runAmplifier(state, false, true);
}

void amplifierCases(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"stereo", "rate", "highQ", "voicing", "silence"});
    for (int64_t stereo : {0, 1})
        for (int64_t rate : {44100, 96000})
            for (int64_t highQuality : {0, 1})
                for (int64_t voicing : {0, 1, 2})
                    for (int64_t silence : {0, 1})
                        b->Args({stereo, rate, highQuality, voicing, silence});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_amplifier)->Apply(amplifierCases);
BENCHMARK(BM_sse2Lanes)->Apply(amplifierCases);
BENCHMARK(BM_libraryExp)->Apply(amplifierCases);

} // namespace
