// SPDX-License-Identifier: GPL-3.0-or-later
// Program names, program selection and chunks, through the entry.
#include "effect/parameters.h"
#include "host/loaded_plugin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using vorla::test::createEffect;
using vorla::test::HostBuffer;

namespace {

constexpr std::size_t kProgramSize = 336;
constexpr std::size_t kBankSize = 3360;

std::vector<unsigned char> getChunk(vorla::host::PluginInstance& effect, bool preset)
{
    void* data = nullptr;
    const intptr_t size = effect.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    if (data == nullptr || size <= 0)
        return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(bytes, bytes + size);
}

template <typename T> T readAt(const std::vector<unsigned char>& bytes, std::size_t offset)
{
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

template <typename T> void writeAt(std::vector<unsigned char>& bytes, std::size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

// Offsets inside one record.
constexpr std::size_t kValues = 24;
constexpr std::size_t kCleanMemory = 88;
constexpr std::size_t kCrunchMemory = 168;
constexpr std::size_t kOverdriveMemory = 248;
// Doubles inside a memory: Input, Drive1, Drive2, Bright, Contour, Low, Mid,
// High, Volume, then (Overdrive only) Boost, then Power Amp.
constexpr std::size_t kMemDrive1 = 8;
constexpr std::size_t kMemDrive2 = 16;
constexpr std::size_t kMemLow = 40;
constexpr std::size_t kMemBoost = 72;

std::string programName(vorla::host::PluginInstance& effect)
{
    HostBuffer buffer;
    effect.dispatch(effGetProgramName, 0, 0, buffer.data());
    return buffer.text();
}

} // namespace

TEST(Programs, FreshBankLayout)
{
    auto effect = createEffect();
    const auto bank = getChunk(*effect, false);
    ASSERT_EQ(bank.size(), kBankSize);
    for (std::size_t program = 0; program < 10; ++program)
    {
        const std::size_t base = program * kProgramSize;
        EXPECT_EQ(std::memcmp(bank.data() + base, "Init", 4), 0);
        for (std::size_t i = 4; i < 24; ++i)
            EXPECT_EQ(bank[base + i], 0) << program << ":" << i;
        EXPECT_EQ(readAt<float>(bank, base + 24), 0.5f);
        EXPECT_EQ(readAt<float>(bank, base + 28), 0.0f);
        EXPECT_EQ(readAt<uint32_t>(bank, base + 84), 0u);
        EXPECT_EQ(readAt<double>(bank, base + kCleanMemory), 0.5);
        EXPECT_EQ(readAt<double>(bank, base + kCleanMemory + 24), 0.0); // Bright
        EXPECT_EQ(readAt<double>(bank, base + kOverdriveMemory + kMemBoost), 0.0);
        EXPECT_EQ(readAt<double>(bank, base + kOverdriveMemory + 80), 0.5); // Power Amp
    }
    EXPECT_EQ(getChunk(*effect, true).size(), kProgramSize);
}

TEST(Programs, AChunkIsACopyThatLaterWritesDoNotTouch)
{
    // The host reads the chunk in place, perhaps while automation goes on:
    // what it got stays as it was until it asks again.
    auto effect = createEffect();
    void* data = nullptr;
    const intptr_t size = effect->dispatch(effGetChunk, 0, 0, &data);
    ASSERT_EQ(size, static_cast<intptr_t>(kBankSize));
    const auto* bytes = static_cast<const unsigned char*>(data);
    const std::vector<unsigned char> before(bytes, bytes + size);
    effect->setParameter(kLow, 0.75f);
    EXPECT_EQ(std::memcmp(bytes, before.data(), before.size()), 0);
    // Asking again shows the write: Low is index 7, stored at slot 7 of
    // program 0.
    EXPECT_EQ(readAt<float>(getChunk(*effect, false), kValues + 7 * 4), 0.75f);
    // The preset chunk is the current program's record.
    effect->dispatch(effSetProgram, 0, 2);
    effect->setParameter(kMid, 0.25f);
    const auto bank = getChunk(*effect, false);
    const auto preset = getChunk(*effect, true);
    ASSERT_EQ(preset.size(), kProgramSize);
    EXPECT_EQ(std::memcmp(preset.data(), bank.data() + 2 * kProgramSize, kProgramSize), 0);
    EXPECT_EQ(readAt<float>(preset, kValues + 8 * 4), 0.25f);
}

TEST(Programs, WrongSizesAndNullAreRefused)
{
    auto effect = createEffect();
    effect->setParameter(kMid, 0.3f);
    const auto saved = getChunk(*effect, false);
    std::vector<unsigned char> junk(4000, 0x41);
    for (intptr_t size : {3359, 3361, 336, 0, -1})
        EXPECT_EQ(effect->dispatch(effSetChunk, 0, size, junk.data()), 0) << size;
    for (intptr_t size : {335, 337, 3360, 0, -336})
        EXPECT_EQ(effect->dispatch(effSetChunk, 1, size, junk.data()), 0) << size;
    EXPECT_EQ(effect->dispatch(effSetChunk, 0, 3360 + (intptr_t{1} << 32), junk.data()), 0);
    EXPECT_EQ(effect->dispatch(effSetChunk, 0, 3360, nullptr), 0);
    EXPECT_EQ(effect->dispatch(effSetChunk, 1, 336, nullptr), 0);
    EXPECT_EQ(getChunk(*effect, false), saved);
    EXPECT_EQ(effect->getParameter(kMid), 0.3f);
}

TEST(Programs, BankRoundTripRestoresTheActiveVoicing)
{
    auto effect = createEffect();
    effect->setParameter(kCleanCrunch, 1.0f);
    effect->setParameter(kLow, 0.2f);
    effect->setParameter(kDrive1, 0.7f);
    const auto saved = getChunk(*effect, false);

    effect->setParameter(kLow, 0.9f);
    effect->setParameter(kDrive1, 0.1f);
    effect->setParameter(kCleanCrunch, 0.0f);
    effect->setParameter(kLow, 0.4f);

    std::vector<unsigned char> copy = saved;
    EXPECT_EQ(effect->dispatch(effSetChunk, 0, static_cast<intptr_t>(copy.size()), copy.data()), 1);
    EXPECT_EQ(effect->dispatch(effGetProgram), 0);
    EXPECT_EQ(effect->getParameter(kCleanCrunch), 1.0f);
    EXPECT_EQ(effect->getParameter(kLow), 0.2f);
    EXPECT_EQ(effect->getParameter(kDrive1), 0.7f);
    EXPECT_EQ(getChunk(*effect, false), saved);
}

TEST(Programs, PresetChunkReplacesOnlyTheCurrentProgram)
{
    auto source = createEffect();
    source->setParameter(kChannel, 1.0f);
    source->setParameter(kDrive2, 0.8f);
    char name[] = "Lead";
    source->dispatch(effSetProgramName, 0, 0, name);
    auto preset = getChunk(*source, true);
    ASSERT_EQ(preset.size(), kProgramSize);

    auto target = createEffect();
    target->dispatch(effSetProgram, 0, 5);
    // Hosts may hand over an unaligned buffer.
    std::vector<unsigned char> unaligned(preset.size() + 1);
    std::memcpy(unaligned.data() + 1, preset.data(), preset.size());
    EXPECT_EQ(target->dispatch(effSetChunk, 1, 336, unaligned.data() + 1), 1);
    EXPECT_EQ(target->dispatch(effGetProgram), 5);
    EXPECT_EQ(programName(*target), "Lead");
    EXPECT_EQ(target->getParameter(kChannel), 1.0f);
    EXPECT_EQ(target->getParameter(kDrive2), 0.8f);
    HostBuffer other;
    EXPECT_EQ(target->dispatch(effGetProgramNameIndexed, 4, 0, other.data()), 1);
    EXPECT_EQ(other.text(), "Init");
}

TEST(Programs, SelectionRecallsTheStoredVoicing)
{
    auto effect = createEffect();
    auto bank = getChunk(*effect, false);
    const std::size_t base = 3 * kProgramSize;
    writeAt<float>(bank, base + kValues + 1 * 4, 1.0f); // Channel
    writeAt<double>(bank, base + kOverdriveMemory + kMemDrive2, 0.8);
    writeAt<double>(bank, base + kOverdriveMemory + kMemDrive1, 0.9); // not Overdrive's
    writeAt<double>(bank, base + kOverdriveMemory + kMemBoost, 1.0);
    writeAt<double>(bank, base + kCleanMemory + kMemLow, 0.1); // inactive voicing
    ASSERT_EQ(effect->dispatch(effSetChunk, 0, 3360, bank.data()), 1);
    EXPECT_EQ(effect->getParameter(kLow), 0.5f);

    effect->dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(effect->getParameter(kDrive2), 0.8f);
    EXPECT_EQ(effect->getParameter(kDrive1), 0.5f);
    EXPECT_EQ(effect->getParameter(kBoost), 1.0f);
    EXPECT_EQ(effect->getParameter(kLow), 0.5f);
    // The applied state is written back into the record.
    const auto after = getChunk(*effect, false);
    EXPECT_EQ(readAt<double>(after, base + kOverdriveMemory + kMemDrive1), 0.5);
    EXPECT_EQ(readAt<float>(after, base + kValues + 6 * 4), 0.8f);
}

TEST(Programs, SelectionRunsTheStoredQualitySwitch)
{
    auto effect = createEffect();
    auto bank = getChunk(*effect, false);
    writeAt<float>(bank, 6 * kProgramSize + kValues + 13 * 4, 1.0f); // Quality (slot 13)
    writeAt<float>(bank, 6 * kProgramSize + kValues + 12 * 4, 1.0f); // Mono/Stereo (slot 12)
    ASSERT_EQ(effect->dispatch(effSetChunk, 0, 3360, bank.data()), 1);
    effect->dispatch(effSetProgram, 0, 6);
    EXPECT_EQ(effect->getParameter(kQuality), 1.0f);
    EXPECT_EQ(effect->getParameter(kMonoStereo), 1.0f);
    effect->dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(effect->getParameter(kQuality), 0.0f);
}

TEST(Programs, NamesAreCutAt23Characters)
{
    auto effect = createEffect();
    EXPECT_EQ(programName(*effect), "Init");
    char longName[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"; // 30 characters
    EXPECT_EQ(effect->dispatch(effSetProgramName, 0, 0, longName), 0);
    HostBuffer buffer;
    effect->dispatch(effGetProgramName, 0, 0, buffer.data());
    EXPECT_EQ(buffer.text(), "ABCDEFGHIJKLMNOPQRSTUVW");
    EXPECT_EQ(buffer.written(), 24u);

    char shortName[] = "Hi";
    effect->dispatch(effSetProgramName, 0, 0, shortName);
    const auto record = getChunk(*effect, true);
    EXPECT_EQ(std::memcmp(record.data(), "Hi", 3), 0);
    for (std::size_t i = 2; i < 24; ++i)
        EXPECT_EQ(record[i], 0) << i;
    HostBuffer shortBuffer;
    effect->dispatch(effGetProgramName, 0, 0, shortBuffer.data());
    EXPECT_EQ(shortBuffer.written(), 3u);
}

TEST(Programs, IndexedNames)
{
    auto effect = createEffect();
    effect->dispatch(effSetProgram, 0, 7);
    char name[] = "Seven";
    effect->dispatch(effSetProgramName, 0, 0, name);
    HostBuffer seven, zero, outside, negative;
    EXPECT_EQ(effect->dispatch(effGetProgramNameIndexed, 7, 0, seven.data()), 1);
    EXPECT_EQ(effect->dispatch(effGetProgramNameIndexed, 0, 3, zero.data()), 1);
    EXPECT_EQ(effect->dispatch(effGetProgramNameIndexed, 10, 0, outside.data()), 0);
    EXPECT_EQ(effect->dispatch(effGetProgramNameIndexed, -1, 0, negative.data()), 0);
    EXPECT_EQ(seven.text(), "Seven");
    EXPECT_EQ(zero.text(), "Init");
    EXPECT_TRUE(outside.untouched());
    EXPECT_TRUE(negative.untouched());
}

TEST(Programs, UnterminatedNameFromAChunkStaysInsideItsField)
{
    auto effect = createEffect();
    auto preset = getChunk(*effect, true);
    std::memset(preset.data(), 'N', 24); // no terminator in the field
    ASSERT_EQ(effect->dispatch(effSetChunk, 1, 336, preset.data()), 1);
    HostBuffer buffer;
    effect->dispatch(effGetProgramName, 0, 0, buffer.data());
    EXPECT_EQ(buffer.text(), std::string(23, 'N'));
    EXPECT_EQ(buffer.written(), 24u);
}
