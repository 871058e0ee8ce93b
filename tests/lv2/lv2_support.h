// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the LV2 suite: the same block partition through the LV2
// plug-in (lilv) and the VST 2.4 plug-in (its entry), so their outputs can
// be compared bit for bit.
#pragma once

#include "chain/chain_support.h"
#include "host/lilv_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace vorla::test {

inline bool sameBits(const Stereo& a, const Stereo& b)
{
    return sameBits(a.left, b.left) && sameBits(a.right, b.right);
}

inline bool allFinite(const Stereo& s)
{
    return allFinite(s.left) && allFinite(s.right);
}

/// A VST 2.4 instance the way a host starts one at `rate`.
inline std::unique_ptr<host::PluginInstance> startVst(float rate)
{
    auto fx = createEffect();
    fx->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    fx->dispatch(effSetBlockSize, 0, 4096);
    fx->dispatch(effMainsChanged, 0, 1);
    return fx;
}

/// Copies the VST plug-in's fifteen values into the LV2 instance's ports:
/// what a host's controls would show after the same changes.
inline void copyValues(host::PluginInstance& vst, Lv2Instance& lv2)
{
    for (int32_t i = 0; i < kNumParams; ++i)
        lv2.controls[static_cast<size_t>(i)] = vst.getParameter(i);
}

/// The block sizes a test runs, cycled: odd sizes, a single frame, more
/// than one chunk of the model.
inline constexpr uint32_t kPartition[] = {64, 1, 333, 512, 1024, 17, 256, 4096, 100};

/// Calls `block(number, offset, size)` for consecutive blocks covering
/// `frames` frames, sized by the partition above.
inline void forEachBlock(size_t frames, const std::function<void(int, size_t, uint32_t)>& block)
{
    size_t pos = 0;
    for (int n = 0; pos < frames; ++n)
    {
        const auto size = static_cast<uint32_t>(
            std::min<size_t>(kPartition[n % std::size(kPartition)], frames - pos));
        block(n, pos, size);
        pos += size;
    }
}

/// One block through each plug-in, appended to `out`.
inline void runBlock(Lv2Instance& fx, const float* in1, const float* in2, uint32_t n, Stereo& out)
{
    fx.run(in1, in2, n, out.left, out.right);
}

inline void runBlock(host::PluginInstance& fx, const float* in1, const float* in2, uint32_t n,
                     Stereo& out)
{
    std::vector<float> a(in1, in1 + n), b(in2, in2 + n), o1(n), o2(n);
    float* inputs[2] = {a.data(), b.data()};
    float* outputs[2] = {o1.data(), o2.data()};
    fx.processReplacing(inputs, outputs, static_cast<int32_t>(n));
    out.left.insert(out.left.end(), o1.begin(), o1.end());
    out.right.insert(out.right.end(), o2.begin(), o2.end());
}

// lilv's port value callbacks (state save, restore, presets): the
// instance's control ports by symbol.
inline const void* portValue(const char* symbol, void* user, uint32_t* size, uint32_t* type)
{
    auto* fx = static_cast<Lv2Instance*>(user);
    for (size_t i = 0; i < lv2::kParameterSymbols.size(); ++i)
        if (std::strcmp(symbol, lv2::kParameterSymbols[i]) == 0)
        {
            *size = sizeof(float);
            *type = Lv2World::get().urids.idOf(LV2_ATOM__Float);
            return &fx->controls[i];
        }
    *size = 0;
    *type = 0;
    return nullptr;
}

inline void setPortValue(const char* symbol, void* user, const void* value, uint32_t size,
                         uint32_t type)
{
    auto* fx = static_cast<Lv2Instance*>(user);
    ASSERT_EQ(size, sizeof(float));
    ASSERT_EQ(type, Lv2World::get().urids.idOf(LV2_ATOM__Float));
    for (size_t i = 0; i < lv2::kParameterSymbols.size(); ++i)
        if (std::strcmp(symbol, lv2::kParameterSymbols[i]) == 0)
            std::memcpy(&fx->controls[i], value, sizeof(float));
}

} // namespace vorla::test
