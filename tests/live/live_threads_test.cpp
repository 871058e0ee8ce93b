// SPDX-License-Identifier: GPL-3.0-or-later
// vorla-live's two threads without JACK: an audio thread running blocks with
// MIDI while the main thread does what it does - programs, cabinets handed
// over and collected, gate, mute, meters.  Run under ThreadSanitizer by the
// test command (label threads).
#include "live/live_engine.h"
#include "live/midi_map.h"
#include "rig/cabinet_catalog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace {

using namespace vorla;
using namespace vorla::live;

TEST(LiveThreads, TheMainThreadWorksWhileTheAudioThreadPlays)
{
    EffectCore core;
    Rig rig;
    LiveEngine engine(core, rig);
    core.setSampleRate(48000.0f);
    engine.prepare(48000.0);
    const std::vector<CabinetChoice> cabinets = listCabinets("");
    ASSERT_EQ(cabinets.size(), 3u);
    std::string error;
    rig.cabinet().install(buildCabinet(cabinets[0], 48000.0, 64, error), true);

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::vector<float> in(64), out1(64), out2(64);
        long n = 0;
        while (!stop.load())
        {
            for (int i = 0; i < 64; ++i, ++n)
                in[size_t(i)] = float(0.3 * std::sin(double(n) * 0.01));
            const uint8_t program[] = {0xC0, uint8_t(n / 64 % 10)};
            const uint8_t knob[] = {0xB0, uint8_t(kFirstParameterCc + n / 64 % 15),
                                    uint8_t(n / 64 % 128)};
            const uint8_t cabinet[] = {0xB0, kCabinetChoiceCc, uint8_t(n / 64 % 3)};
            engine.midi(program, sizeof program);
            engine.midi(knob, sizeof knob);
            engine.midi(cabinet, sizeof cabinet);
            engine.process(in.data(), in.data(), out1.data(), out2.data(), 64);
            for (float v : out1)
                ASSERT_TRUE(std::isfinite(v));
            blocks.fetch_add(1);
        }
    });

    // The main loop's work, as LiveApp::serviceRequests does it.
    for (int pass = 0; pass < 60; ++pass)
    {
        const int32_t program = engine.takeProgramRequest();
        if (program >= 0)
            core.selectProgram(program);
        const int32_t cabinet = engine.takeCabinetRequest();
        if (cabinet >= 0)
            rig.cabinet().offer(buildCabinet(cabinets[size_t(cabinet) % 3], 48000.0, 64, error));
        rig.cabinet().collect();
        rig.setGate(pass % 2 == 0, -40.0f - float(pass % 20));
        engine.setMuted(pass % 7 == 3);
        rig.cabinet().setEnabled(pass % 5 != 0);
        engine.takeInputPeak();
        engine.takeOutputPeak();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stop.store(true);
    audio.join();
    rig.cabinet().collect();
    EXPECT_GT(blocks.load(), 10);
}

} // namespace
