// SPDX-License-Identifier: GPL-3.0-or-later
// What a block costs through each door of the built plug-ins: the LV2
// plug-in's run (its control ports looked at, the block, the notify port
// written) against the VST 2.4 plug-in's processReplacing, the same signal
// and block size, mono Clean at 44.1 kHz.  With "automated" a knob moves
// every block (a port change taken with followParameter and a message to
// the editor on the LV2 side, setParameter on the VST side).
//
//   ./build/vorla-bench --benchmark_filter=BM_door --benchmark_repetitions=5
//       --benchmark_enable_random_interleaving=true   (one line)
#include <benchmark/benchmark.h>

#include "hostlib/plugin_host.h"
#include "lv2/lv2_ports.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float kRate = 44100.0f;

std::vector<float> testSignal(std::size_t frames)
{
    std::vector<float> out(frames);
    for (std::size_t n = 0; n < frames; ++n)
        out[n] = 0.3f * std::sin(0.0391f * static_cast<float>(n)) *
                 std::sin(0.00031f * static_cast<float>(n));
    return out;
}

/// A URID map for the LV2 instance: a list of the URIs seen.
struct UriList
{
    std::vector<std::string> uris;
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) -> LV2_URID {
                         auto* list = static_cast<UriList*>(h);
                         for (std::size_t i = 0; i < list->uris.size(); ++i)
                             if (list->uris[i] == uri)
                                 return static_cast<LV2_URID>(i + 1);
                         list->uris.emplace_back(uri);
                         return static_cast<LV2_URID>(list->uris.size());
                     }};
};

void BM_doorLv2(benchmark::State& state)
{
    const auto block = static_cast<uint32_t>(state.range(0));
    const bool automated = state.range(1) != 0;
    const std::string path = std::string(VORLA_LV2_BUNDLE) + "/" + vorla::lv2::kDspBinary;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
    {
        state.SkipWithError(dlerror());
        return;
    }
    using Entry = const LV2_Descriptor* (*)(uint32_t);
    const auto* descriptor = reinterpret_cast<Entry>(dlsym(library, "lv2_descriptor"))(0);
    UriList uris;
    const LV2_Feature mapFeature{LV2_URID__map, &uris.map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    LV2_Handle fx = descriptor->instantiate(descriptor, kRate, VORLA_LV2_BUNDLE, features);

    std::array<float, kNumParams> controls{};
    for (int32_t i = 0; i < kNumParams; ++i)
        controls[static_cast<std::size_t>(i)] = vorla::parameterDefault(i);
    const std::vector<float> input = testSignal(block);
    std::vector<float> out1(block), out2(block);
    std::array<uint64_t, 8> control{};
    std::vector<uint64_t> notify(vorla::lv2::kNotifyBufferBytes / 8);
    auto* controlSequence = reinterpret_cast<LV2_Atom_Sequence*>(control.data());
    controlSequence->atom.type = uris.map.map(uris.map.handle, LV2_ATOM__Sequence);
    controlSequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
    for (uint32_t i = 0; i < kNumParams; ++i)
        descriptor->connect_port(fx, i, &controls[i]);
    descriptor->connect_port(fx, vorla::lv2::kAudioIn1, const_cast<float*>(input.data()));
    descriptor->connect_port(fx, vorla::lv2::kAudioIn2, const_cast<float*>(input.data()));
    descriptor->connect_port(fx, vorla::lv2::kAudioOut1, out1.data());
    descriptor->connect_port(fx, vorla::lv2::kAudioOut2, out2.data());
    descriptor->connect_port(fx, vorla::lv2::kControlIn, control.data());
    descriptor->connect_port(fx, vorla::lv2::kNotifyOut, notify.data());
    descriptor->activate(fx);
    auto* notifySequence = reinterpret_cast<LV2_Atom_Sequence*>(notify.data());
    int step = 0;
    for (auto _ : state)
    {
        if (automated)
            controls[kLow] = 0.3f + 0.01f * static_cast<float>(step++ % 20);
        notifySequence->atom.size = vorla::lv2::kNotifyBufferBytes;
        descriptor->run(fx, block);
        benchmark::DoNotOptimize(out1.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * block);
    descriptor->deactivate(fx);
    descriptor->cleanup(fx);
    dlclose(library);
}

void BM_doorVst(benchmark::State& state)
{
    const auto block = static_cast<int32_t>(state.range(0));
    const bool automated = state.range(1) != 0;
    std::string error;
    auto library = vorla::host::PluginLibrary::open(VORLA_PLUGIN_PATH, error);
    if (!library)
    {
        state.SkipWithError(error.c_str());
        return;
    }
    auto fx = vorla::host::PluginInstance::create(*library, {}, &error);
    fx->dispatch(effSetSampleRate, 0, 0, nullptr, kRate);
    fx->dispatch(effSetBlockSize, 0, block);
    fx->dispatch(effMainsChanged, 0, 1);
    std::vector<float> input = testSignal(static_cast<std::size_t>(block));
    std::vector<float> out1(input.size()), out2(input.size());
    float* inputs[2] = {input.data(), input.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    int step = 0;
    for (auto _ : state)
    {
        if (automated)
            fx->setParameter(kLow, 0.3f + 0.01f * static_cast<float>(step++ % 20));
        fx->processReplacing(inputs, outputs, block);
        benchmark::DoNotOptimize(out1.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * block);
    fx->close();
}

void doorCases(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"block", "automated"});
    for (int64_t block : {64, 256})
        for (int64_t automated : {0, 1})
            b->Args({block, automated});
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_doorLv2)->Apply(doorCases);
BENCHMARK(BM_doorVst)->Apply(doorCases);

} // namespace
