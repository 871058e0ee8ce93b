// SPDX-License-Identifier: GPL-3.0-or-later
// Chunks a host may hand over: random bytes, records with values that are not
// numbers, sizes that do not fit - each in a buffer that ends where readable
// memory ends, so any read beyond the chunk faults.  A refused chunk changes
// nothing; an accepted one never makes the amplifier blast or die.
#include "effect/parameters.h"
#include "effect/program.h"
#include "host/guarded_memory.h"
#include "host/loaded_plugin.h"
#include "host/test_random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using vorla::test::createEffect;
using vorla::test::GuardedBuffer;

std::vector<char> chunkOf(vorla::host::PluginInstance& fx, bool preset)
{
    void* data = nullptr;
    const intptr_t size = fx.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    const char* bytes = static_cast<const char*>(data);
    return std::vector<char>(bytes, bytes + size);
}

intptr_t loadChunk(vorla::host::PluginInstance& fx, const std::vector<char>& bytes, bool preset)
{
    GuardedBuffer buffer(bytes.size());
    std::memcpy(buffer.data(), bytes.data(), bytes.size());
    return fx.dispatch(effSetChunk, preset ? 1 : 0, static_cast<intptr_t>(bytes.size()),
                       buffer.data());
}

/// Output of a short guitar-like run, both sides, stereo.
std::vector<float> play(vorla::host::PluginInstance& fx)
{
    const std::size_t frames = 8192;
    std::vector<float> in(frames), out1(frames), out2(frames);
    for (std::size_t n = 0; n < frames; ++n)
        in[n] = 0.4f * static_cast<float>(std::sin(0.05 * static_cast<double>(n)));
    for (std::size_t pos = 0; pos < frames; pos += 512)
    {
        float* inputs[2] = {in.data() + pos, in.data() + pos};
        float* outputs[2] = {out1.data() + pos, out2.data() + pos};
        fx.processReplacing(inputs, outputs, 512);
    }
    out1.insert(out1.end(), out2.begin(), out2.end());
    return out1;
}

bool finiteAndBounded(const std::vector<float>& samples)
{
    for (const float y : samples)
        if (!std::isfinite(y) || std::fabs(y) > 64.0f)
            return false;
    return true;
}

/// Offsets of every float and double a record holds, with their widths.
std::vector<std::pair<std::size_t, std::size_t>> numberFields()
{
    std::vector<std::pair<std::size_t, std::size_t>> fields;
    for (std::size_t k = 0; k < kNumParams; ++k)
        fields.emplace_back(offsetof(VorlaProgram, values) + 4 * k, 4);
    for (std::size_t at = offsetof(VorlaProgram, cleanMemory); at < sizeof(VorlaProgram); at += 8)
        fields.emplace_back(at, 8);
    return fields;
}

void poke(std::vector<char>& bytes, std::size_t at, std::size_t width, double value)
{
    if (width == 4)
    {
        const auto f = static_cast<float>(value);
        std::memcpy(bytes.data() + at, &f, 4);
    }
    else
    {
        std::memcpy(bytes.data() + at, &value, 8);
    }
}

} // namespace

TEST(HostileChunks, ANonNumberAnywhereRefusesTheWholeChunk)
{
    auto fx = createEffect();
    fx->setParameter(kLow, 0.3f);
    const std::vector<char> bank = chunkOf(*fx, false);
    const std::vector<char> preset = chunkOf(*fx, true);
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    for (const auto& [at, width] : numberFields())
        for (const double value : bad)
        {
            std::vector<char> record = preset;
            poke(record, at, width, value);
            ASSERT_EQ(loadChunk(*fx, record, true), 0) << "offset " << at;
            std::vector<char> whole = bank;
            poke(whole, 9 * sizeof(VorlaProgram) + at, width, value); // in the last program
            ASSERT_EQ(loadChunk(*fx, whole, false), 0) << "offset " << at;
        }
    // 1e300 is a number as a double, but the float a recall passes on is not.
    std::vector<char> huge = preset;
    poke(huge, offsetof(VorlaProgram, overdriveMemory), 8, 1e300);
    EXPECT_EQ(loadChunk(*fx, huge, true), 0);

    EXPECT_EQ(chunkOf(*fx, false), bank) << "a refused chunk changes nothing";
    EXPECT_EQ(fx->getParameter(kLow), 0.3f);
}

TEST(HostileChunks, OutOfRangeNumbersAreKeptExactlyAndPlaySafely)
{
    auto fx = createEffect();
    std::vector<char> record = chunkOf(*fx, true);
    // Volume 1e30 in the stored values and in the Clean memory, which the
    // load recalls; Input -3 likewise.
    poke(record, offsetof(VorlaProgram, values) + 4 * 11, 4, 1e30);
    poke(record, offsetof(VorlaProgram, values), 4, -3.0);
    // (Recalls pass memories on as floats, so the double is one a float holds.)
    poke(record, offsetof(VorlaProgram, cleanMemory) + offsetof(ChannelMemory, volume), 8,
         static_cast<double>(1e30f));
    poke(record, offsetof(VorlaProgram, cleanMemory) + offsetof(ChannelMemory, input), 8, -3.0);
    ASSERT_EQ(loadChunk(*fx, record, true), 1);
    EXPECT_EQ(fx->getParameter(kVolume), 1e30f);
    EXPECT_EQ(fx->getParameter(kInput), -3.0f);
    EXPECT_EQ(chunkOf(*fx, true), record) << "the round trip keeps every value";
    EXPECT_TRUE(finiteAndBounded(play(*fx)));
}

TEST(HostileChunks, RandomBytesEitherAreRefusedOrPlaySafely)
{
    vorla::test::Lcg random(99);
    int accepted = 0;
    for (int round = 0; round < 60; ++round)
    {
        auto fx = createEffect();
        fx->setParameter(kMonoStereo, 1.0f);
        const bool preset = round % 2 == 0;
        const std::vector<char> before = chunkOf(*fx, false);
        std::vector<char> bytes(preset ? sizeof(VorlaProgram) : vorla::kBankChunkSize);
        for (char& b : bytes)
            b = static_cast<char>(random.next() >> 24);
        if (round % 3 == 0)
        {
            // Mostly plausible: random values in -4..4 in every number field.
            for (std::size_t program = 0; program < bytes.size() / sizeof(VorlaProgram); ++program)
                for (const auto& [at, width] : numberFields())
                    poke(bytes, program * sizeof(VorlaProgram) + at, width, 4.0 * random.bipolar());
        }
        const intptr_t answer = loadChunk(*fx, bytes, preset);
        ASSERT_TRUE(answer == 0 || answer == 1);
        if (answer == 0)
        {
            EXPECT_EQ(chunkOf(*fx, false), before);
        }
        accepted += static_cast<int>(answer);
        ASSERT_TRUE(finiteAndBounded(play(*fx))) << "round " << round;
    }
    EXPECT_GT(accepted, 0);
}

TEST(HostileChunks, SizesThatFitNoChunkAreRefusedWithoutReadingThem)
{
    auto fx = createEffect();
    const std::vector<char> before = chunkOf(*fx, false);
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, sizeof(VorlaProgram) - 1,
                                   sizeof(VorlaProgram) + 1, vorla::kBankChunkSize - 1})
        for (const bool preset : {true, false})
        {
            GuardedBuffer buffer(std::max<std::size_t>(size, 1));
            EXPECT_EQ(fx->dispatch(effSetChunk, preset ? 1 : 0, static_cast<intptr_t>(size),
                                   buffer.data()),
                      0)
                << size;
        }
    EXPECT_EQ(chunkOf(*fx, false), before);
}
