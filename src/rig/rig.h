// SPDX-License-Identifier: GPL-3.0-or-later
// rig.h - what a guitarist puts around the amplifier: a noise gate before it
// and a speaker cabinet after it.  The same code plays live (vorla-live) and
// offline (vorla-render).
//
// Threads: setGate and setRate from any thread (relaxed atomics); the audio
// thread redesigns the gate when the threshold or the rate has changed,
// between blocks.  The
// cabinet: see cabinet.h.  gate() and cabinet().process() on the audio
// thread: they allocate nothing and take no lock.
#pragma once

#include "dsp/noise_gate.h"
#include "rig/cabinet.h"

#include <atomic>
#include <cstdint>

namespace vorla {

class Rig
{
public:
    /// Lowest and highest gate thresholds, dBFS.
    static constexpr float kMinGateDb = -96.0f;
    static constexpr float kMaxGateDb = 0.0f;

    /// Sizes everything for host rate `rate` and blocks of up to `maxFrames`.
    /// While the audio thread is stopped.
    void prepare(double rate, int32_t maxFrames);

    /// A new host rate for the gate, from any thread: the audio thread
    /// redesigns it at its next block (prepare() is for a stopped stream).
    void setRate(double hostRate) noexcept;

    /// Gate on or off, and its opening threshold in dBFS (clamped to
    /// kMinGateDb..kMaxGateDb; a value that is not finite keeps the last).
    void setGate(bool on, float thresholdDb) noexcept;
    bool gateOn() const noexcept { return gateEnabled.load(std::memory_order_relaxed); }
    float gateThreshold() const noexcept { return gateDb.load(std::memory_order_relaxed); }
    /// The gate's gain at the end of the last block (1 open, 0 closed).
    float gateGain() const noexcept { return gateGainSeen.load(std::memory_order_relaxed); }

    /// Gates `channels` buffers of `io` in place.  Off, the gain returns to 1
    /// at the attack rate and the samples then pass untouched, bit for bit.
    void gate(float* const* io, int32_t channels, int32_t frames) noexcept;

    Cabinet& cabinet() noexcept { return cab; }
    const Cabinet& cabinet() const noexcept { return cab; }

private:
    std::atomic<bool> gateEnabled{false};
    std::atomic<float> gateDb{-60.0f};
    std::atomic<float> gateGainSeen{1.0f};
    std::atomic<double> requestedRate{0.0};
    NoiseGate noiseGate;
    double rate = 0.0;
    float designedDb = 1.0f; // above kMaxGateDb: nothing designed yet
    Cabinet cab;
};

} // namespace vorla
