// SPDX-License-Identifier: GPL-3.0-or-later
// vorla-live's process callback without JACK: one period of 64 frames at
// 48 kHz through gate, amplifier, cabinet and mute, as LiveEngine runs it.
// The time of a block against the period's 1.33 ms is the callback's share
// of the audio thread.
#include "live/live_engine.h"
#include "rig/cabinet_catalog.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

/// Arguments: cabinet (0 off, 1 closed-4x12), gate (0 off, 1 at -50 dBFS).
void BM_liveBlock(benchmark::State& state)
{
    constexpr int32_t kPeriod = 64;
    constexpr double kRate = 48000.0;
    vorla::EffectCore core;
    vorla::Rig rig;
    vorla::live::LiveEngine engine(core, rig);
    core.setSampleRate(float(kRate));
    core.setParameter(kChannel, 1.0f);
    engine.prepare(kRate);
    if (state.range(0) != 0)
    {
        vorla::CabinetChoice choice;
        std::string error;
        vorla::findCabinet("closed-4x12", "", choice, error);
        rig.cabinet().install(vorla::buildCabinet(choice, kRate, kPeriod, error), true);
    }
    rig.setGate(state.range(1) != 0, -50.0f);
    std::vector<float> in(kPeriod), out1(kPeriod), out2(kPeriod);
    int64_t n = 0;
    for (auto _ : state)
    {
        for (int32_t i = 0; i < kPeriod; ++i, ++n)
            in[size_t(i)] = float(0.2 * std::sin(2 * M_PI * 110.0 * double(n) / kRate));
        engine.process(in.data(), in.data(), out1.data(), out2.data(), kPeriod);
        benchmark::DoNotOptimize(out1.data());
    }
}
BENCHMARK(BM_liveBlock)
    ->ArgNames({"cabinet", "gate"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1});

} // namespace
