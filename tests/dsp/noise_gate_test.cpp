// SPDX-License-Identifier: GPL-3.0-or-later
// The noise gate's timing: opening, holding, releasing, and the two
// thresholds that keep it from chattering.
#include "dsp/noise_gate.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kRate = 48000.0;

/// Runs `samples` samples of constant level `level`; answers the last gain.
float run(vorla::NoiseGate& gate, float level, int samples)
{
    float gain = gate.step(level);
    for (int i = 1; i < samples; ++i)
        gain = gate.step(level);
    return gain;
}

int ms(double milliseconds)
{
    return static_cast<int>(milliseconds * kRate / 1000.0);
}

TEST(NoiseGate, OpensWithinItsAttackAndClosesAfterHoldAndRelease)
{
    vorla::NoiseGate gate;
    gate.design(kRate, -40.0);
    EXPECT_EQ(run(gate, 0.0f, ms(10)), 0.0f) << "a new gate is closed";

    // A note at -20 dBFS: fully open after the 0.5 ms attack, not before.
    EXPECT_LT(run(gate, 0.1f, ms(0.25)), 0.9f);
    EXPECT_EQ(run(gate, 0.1f, ms(0.3)), 1.0f);

    // Silence: the detector falls below -46 dBFS (4 ms time constant from
    // -20 dB: 12 ms), the hold keeps it open 15 ms more, then the release
    // takes it down 60 dB in 50 ms.
    EXPECT_EQ(run(gate, 0.0f, ms(10)), 1.0f) << "open while the detector falls";
    EXPECT_EQ(run(gate, 0.0f, ms(14)), 1.0f) << "held";
    const float releasing = run(gate, 0.0f, ms(20));
    EXPECT_GT(releasing, 0.0f);
    EXPECT_LT(releasing, 0.3f);
    EXPECT_EQ(run(gate, 0.0f, ms(80)), 0.0f) << "closed after the release";
}

TEST(NoiseGate, HysteresisKeepsItFromChattering)
{
    vorla::NoiseGate gate;
    gate.design(kRate, -40.0);
    // Hum at -43 dBFS, between the closing (-46) and opening (-40)
    // thresholds, neither opens a closed gate ...
    EXPECT_EQ(run(gate, 0.00708f, ms(200)), 0.0f);
    // ... nor closes an open one: a sustained note decaying into it stays.
    run(gate, 0.1f, ms(5));
    EXPECT_EQ(run(gate, 0.00708f, ms(500)), 1.0f);
    // A level that wobbles across the opening threshold (as noise does)
    // leaves the gate open throughout instead of switching it on each peak.
    int changes = 0;
    bool wasOpen = gate.open;
    for (int i = 0; i < ms(500); ++i)
    {
        const float level = (i / 480) % 2 ? 0.011f : 0.009f; // -39 / -41 dBFS
        gate.step(level);
        changes += gate.open != wasOpen;
        wasOpen = gate.open;
    }
    EXPECT_EQ(changes, 0);
}

TEST(NoiseGate, PalmMutedChugsStayApart)
{
    // Sixteenth notes at 160 bpm (94 ms apart), each sounding 30 ms: the gate
    // must close between them, or the riff smears into hiss.
    vorla::NoiseGate gate;
    gate.design(kRate, -50.0);
    float lowestBetween = 1.0f;
    for (int note = 0; note < 8; ++note)
    {
        run(gate, 0.3f, ms(30));
        lowestBetween = std::min(lowestBetween, run(gate, 0.0f, ms(64)));
    }
    EXPECT_LT(lowestBetween, 0.05f) << "the gate closes between the chugs";
}

TEST(NoiseGate, ADesignKeepsTheStateAndRefusesNonsense)
{
    vorla::NoiseGate gate;
    gate.design(kRate, -40.0);
    run(gate, 0.1f, ms(5));
    gate.design(kRate, -30.0);
    EXPECT_TRUE(gate.open);
    EXPECT_EQ(gate.gain, 1.0f);
    const float before = gate.openLevel;
    gate.design(0.0, -20.0);
    gate.design(kRate, std::nan(""));
    EXPECT_EQ(gate.openLevel, before);
}

} // namespace
