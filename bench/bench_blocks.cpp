// SPDX-License-Identifier: GPL-3.0-or-later
// Real-time factor by block size: what a host's buffer size costs.  Live
// players monitor at 16 to 64 frames per block, a DAW mixes at 256 and
// more; every block fills and drains the model's pipeline, so the small
// blocks are where per-block work shows.
//
// Arguments: block (frames), voicing (0 clean, 1 crunch, 2 overdrive),
// stereo (0/1); 44.1 kHz, LowQ (4x), plucked strings.
//
// BM_blockLanes runs blocks of 32 and 256 frames on each lane layout this
// processor has (lanes: 0 SSE2, 1 AVX, 2 AVX-512, 3 AVX-512 with stereo in
// the AVX layout; chain/model_code.h), to compare them on one machine and
// with the choice the amplifier measured when it was created, which
// BM_block's label names.
//
//   ./build/vorla-bench --benchmark_filter=BM_block/ --benchmark_repetitions=5
//       --benchmark_enable_random_interleaving=true   (one line)
#include <benchmark/benchmark.h>

#include "chain/model_code.h"
#include "effect/effect_core.h"
#include "effect/parameters.h"

#include "bench_signal.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

void runBlocks(benchmark::State& state, const vorla::LaneSet* lanes)
{
    const auto block = static_cast<int32_t>(state.range(0));
    const auto voicing = state.range(1);
    const bool stereo = state.range(2) != 0;
    constexpr float kRate = 44100.0f;

    auto effect = std::make_unique<vorla::EffectCore>();
    vorla::ModelCode& code = effect->amplifier().modelCode();
    if (lanes != nullptr)
        code.useLanes(*lanes);
    else // the sets the amplifier measured fastest on this machine
        state.SetLabel(std::string("lanes ") +
                       vorla::laneSetName(stereo ? code.stereo : code.mono));
    effect->setParameter(kChannel, voicing == 2 ? 1.0f : 0.0f);
    effect->setParameter(kCleanCrunch, voicing == 1 ? 1.0f : 0.0f);
    effect->setParameter(kMonoStereo, stereo ? 1.0f : 0.0f);

    // One second of audio, cut into the host's blocks.
    const auto frames = static_cast<std::size_t>(kRate) / static_cast<std::size_t>(block) *
                        static_cast<std::size_t>(block);
    std::vector<float> in1 = vorla::bench::pluckedStrings(frames, kRate, 1u);
    std::vector<float> in2 = vorla::bench::pluckedStrings(frames, kRate, 2u);
    std::vector<float> out1(frames);
    std::vector<float> out2(frames);
    auto runSecond = [&] {
        for (std::size_t pos = 0; pos < frames; pos += static_cast<std::size_t>(block))
        {
            const float* inputs[2] = {in1.data() + pos, in2.data() + pos};
            float* outputs[2] = {out1.data() + pos, out2.data() + pos};
            effect->process(inputs, outputs, block);
        }
    };
    runSecond();

    for (auto _ : state)
    {
        runSecond();
        benchmark::DoNotOptimize(out1.data());
        benchmark::DoNotOptimize(out2.data());
    }
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()) *
                                                   static_cast<double>(frames) / kRate,
                                               benchmark::Counter::kIsRate);
}

void BM_block(benchmark::State& state)
{
    runBlocks(state, nullptr);
}

void BM_blockLanes(benchmark::State& state)
{
    const auto lanes = static_cast<vorla::LaneSet>(state.range(3));
    runBlocks(state, &lanes);
}

void blockCases(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"block", "voicing", "stereo"});
    for (int64_t stereo : {0, 1})
        for (int64_t voicing : {0, 1, 2})
            for (int64_t block : {16, 32, 64, 256})
                b->Args({block, voicing, stereo});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_block)->Apply(blockCases);

void laneCases(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"block", "voicing", "stereo", "lanes"});
    for (int64_t stereo : {0, 1})
        for (int64_t voicing : {0, 2})
            for (int64_t block : {32, 256})
                for (vorla::LaneSet lanes : vorla::kLaneSets)
                    if (vorla::processorHasLaneSet(lanes) &&
                        (stereo != 0 || vorla::hasMonoCodeOfItsOwn(lanes)))
                        b->Args({block, voicing, stereo, static_cast<int64_t>(lanes)});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_blockLanes)->Apply(laneCases);

} // namespace
