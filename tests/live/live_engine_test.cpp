// SPDX-License-Identifier: GPL-3.0-or-later
// The process callback's work, block by block and without JACK: what MIDI
// does, and that nothing of it allocates - gate, amplifier, cabinet, a new
// cabinet handed over, mute, meters, every kind of MIDI message.
#include "live/live_engine.h"
#include "live/midi_map.h"
#include "rig/cabinet_catalog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

// Last: it replaces malloc and friends, whose declarations the headers above
// bring in with their own noexcept clauses.
#include "host/counting_allocator.h"

namespace {

using namespace vorla;
using namespace vorla::live;
using vorla::test::countAllocations;

struct Bench
{
    EffectCore core;
    Rig rig;
    LiveEngine engine{core, rig};
    std::vector<float> in = std::vector<float>(256), out1 = std::vector<float>(256),
                       out2 = std::vector<float>(256);
    int64_t n = 0;

    Bench()
    {
        core.setSampleRate(48000.0f);
        engine.prepare(48000.0);
    }

    void block(int32_t frames = 64)
    {
        for (int32_t i = 0; i < frames; ++i, ++n)
            in[size_t(i)] = float(0.3 * std::sin(2 * M_PI * 110.0 * double(n) / 48000.0));
        engine.process(in.data(), in.data(), out1.data(), out2.data(), frames);
    }

    void midi(std::initializer_list<uint8_t> bytes)
    {
        const std::vector<uint8_t> message(bytes);
        engine.midi(message.data(), message.size());
    }
};

TEST(LiveEngine, MidiFollowsTheMap)
{
    Bench bench;
    bench.midi({0xB3, kFirstParameterCc + kDrive1, 127}); // any channel
    EXPECT_EQ(bench.core.parameter(kDrive1), 0.5f) << "held outside Crunch";
    bench.midi({0xB0, kFirstParameterCc + kCleanCrunch, 64});
    bench.midi({0xB0, kFirstParameterCc + kDrive1, 127});
    EXPECT_EQ(bench.core.parameter(kCleanCrunch), 64.0f / 127.0f);
    EXPECT_EQ(bench.core.parameter(kDrive1), 1.0f);
    bench.midi({0xB0, kFirstParameterCc + kQuality, 63});
    EXPECT_EQ(bench.core.highQuality(), 0);

    bench.midi({0xB0, kGateThresholdCc, 0});
    EXPECT_EQ(bench.rig.gateThreshold(), -96.0f);
    bench.midi({0xB0, kGateOnCc, 100});
    EXPECT_TRUE(bench.rig.gateOn());
    bench.midi({0xB0, kCabinetOnCc, 64});
    EXPECT_TRUE(bench.rig.cabinet().enabled());
    bench.midi({0xB0, kMuteCc, 127});
    EXPECT_TRUE(bench.engine.isMuted());

    // Programs and cabinets are handed to the control thread.
    bench.midi({0xC0, 7});
    bench.midi({0xC0, 10}); // not a program
    EXPECT_EQ(bench.engine.takeProgramRequest(), 7);
    EXPECT_EQ(bench.engine.takeProgramRequest(), -1);
    bench.midi({0xB0, kCabinetChoiceCc, 2});
    EXPECT_EQ(bench.engine.takeCabinetRequest(), 2);

    // Truncated or foreign messages change nothing.
    bench.midi({0xB0, kMuteCc});
    bench.midi({0xF8});
    bench.midi({0x90, 60, 100});
    EXPECT_TRUE(bench.engine.isMuted());
}

TEST(LiveEngine, APeriodLongerThanTheWorkSpaceIsPlayedInPieces)
{
    Bench bench;
    bench.engine.setMuted(false);
    const int32_t frames = LiveEngine::kMaxFrames * 2 + 100;
    std::vector<float> in(static_cast<std::size_t>(frames));
    for (int32_t i = 0; i < frames; ++i)
        in[static_cast<std::size_t>(i)] = float(0.3 * std::sin(2 * M_PI * 110.0 * i / 48000.0));
    std::vector<float> left(in.size(), 9.0f), right(in.size(), 9.0f);
    bench.engine.process(in.data(), in.data(), left.data(), right.data(), frames);
    float tailPeak = 0.0f;
    for (std::size_t i = in.size() - 100; i < in.size(); ++i)
        tailPeak = std::max(tailPeak, std::fabs(left[i]));
    EXPECT_GT(tailPeak, 0.001f) << "the last piece was played, not left silent";
    EXPECT_EQ(left, right);
}

TEST(LiveEngine, MuteFadesAndTheMetersSeeTheLevels)
{
    Bench bench;
    bench.block();
    EXPECT_NEAR(bench.engine.takeInputPeak(), 0.3f * std::sin(2 * M_PI * 110.0 * 63 / 48000.0),
                0.01f);
    EXPECT_GT(bench.engine.takeOutputPeak(), 0.0f);
    bench.engine.setMuted(true);
    bench.block(256);
    EXPECT_GT(std::fabs(bench.out1[0]), 0.0f) << "the fade starts where the sound is";
    bench.block(256);
    bench.block(256);
    bench.engine.takeOutputPeak();
    bench.block(256);
    EXPECT_EQ(bench.engine.takeOutputPeak(), 0.0f);
    EXPECT_EQ(bench.engine.blocks(), 5u);
}

TEST(LiveEngine, TheCallbacksWorkAllocatesNothing)
{
    SKIP_UNLESS_COUNTING();
    Bench bench;
    CabinetChoice choice;
    std::string error;
    ASSERT_TRUE(findCabinet("closed-4x12", "", choice, error));
    bench.rig.cabinet().install(buildCabinet(choice, 48000.0, 64, error), true);
    bench.rig.setGate(true, -50.0f);
    auto next = buildCabinet(choice, 48000.0, 64, error);
    ASSERT_TRUE(next);
    bench.block(); // the first block may size nothing; warm up anyway

    long counted = 0;
    for (int b = 0; b < 400; ++b)
    {
        if (b == 50)
            bench.rig.cabinet().offer(std::move(next)); // a new cabinet, faded in
        if (b == 200)
            bench.rig.cabinet().collect();
        const uint8_t messages[][3] = {
            {0xC0, uint8_t(b % 10), 0},
            {0xB0, uint8_t(kFirstParameterCc + b % 15), uint8_t(b % 128)},
            {0xB0, kGateThresholdCc, uint8_t(b % 128)},
            {0xB0, kCabinetOnCc, uint8_t(b % 2 ? 127 : 0)},
            {0xB0, kMuteCc, uint8_t(b % 3 ? 0 : 127)},
            {0xB0, kAllSoundOffCc, 0},
            {0xB0, kCabinetChoiceCc, 1},
        };
        counted += countAllocations([&] {
            for (const auto& message : messages)
                bench.engine.midi(message, message[0] == 0xC0 ? 2 : 3);
            bench.block(64);
        });
        bench.engine.takeProgramRequest();
        bench.engine.takeCabinetRequest();
    }
    EXPECT_EQ(counted, 0);
}

} // namespace
