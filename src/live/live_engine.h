// SPDX-License-Identifier: GPL-3.0-or-later
// live_engine.h - what the JACK process callback runs: the gate, the
// amplifier core, the cabinet, mute and the meters, and the MIDI of the
// block.  It is the audio side of vorla-live, apart from JACK itself so that
// tests can drive it block by block.
//
// Threads.  process() and midi() on the audio thread: no allocation, no
// lock, no system call.  Everything that may not run there is asked for
// through single atomics and done by the control thread (the main loop,
// take*() below):
//  - Program Change: selectProgram copies the program's memories and replays
//    its switches; it is lock-free, but the effect state takes programs on
//    one thread at a time, and the window's previous/next buttons select
//    programs on the control thread too.  So the audio thread only records
//    the number and the control thread selects it (within one main-loop
//    pass, 10 ms).
//  - Cabinet choice: reading and preparing a response is file work.
// Control Changes of parameters go straight to EffectState::setParameter
// (lock-free, any thread), gate and mute to atomics; All Sound Off asks the
// core for rest, which it performs at the start of this very block.
#pragma once

#include "effect/effect_core.h"
#include "rig/rig.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorla::live {

class LiveEngine
{
public:
    /// Longest block handled (JACK's largest period); longer blocks give silence.
    static constexpr int32_t kMaxFrames = 8192;
    /// Mute and unmute fade over this many seconds.
    static constexpr double kMuteFadeSeconds = 0.01;

    LiveEngine(EffectCore& core, Rig& rig);

    /// Sizes everything for host rate `rate`; while the audio thread is stopped.
    void prepare(double rate);

    /// One MIDI message of the block (before process()).
    void midi(const uint8_t* data, std::size_t size) noexcept;
    /// One block: in1 (and in2 in stereo mode) through gate, amplifier,
    /// cabinet and mute into out1 and out2.  Any of the buffers may be the
    /// same memory.  Audio thread.
    void process(const float* in1, const float* in2, float* out1, float* out2,
                 int32_t frames) noexcept;

    // --- Control thread --------------------------------------------------------
    void setMuted(bool on) noexcept { muted.store(on, std::memory_order_relaxed); }
    bool isMuted() const noexcept { return muted.load(std::memory_order_relaxed); }
    /// The program a Program Change asked for, or -1; clears the request.
    int32_t takeProgramRequest() noexcept { return programRequest.exchange(-1); }
    /// The cabinet list index CC 88 asked for, or -1; clears the request.
    int32_t takeCabinetRequest() noexcept { return cabinetRequest.exchange(-1); }
    /// Peak levels (linear) since the last call; resets them.
    float takeInputPeak() noexcept { return inputPeak.exchange(0.0f); }
    float takeOutputPeak() noexcept { return outputPeak.exchange(0.0f); }
    /// Blocks processed so far.
    uint64_t blocks() const noexcept { return blockCount.load(std::memory_order_relaxed); }

private:
    void controlChange(int32_t controller, int32_t value) noexcept;

    EffectCore& core;
    Rig& rig;
    std::atomic<bool> muted{false};
    std::atomic<int32_t> programRequest{-1};
    std::atomic<int32_t> cabinetRequest{-1};
    std::atomic<float> inputPeak{0.0f};
    std::atomic<float> outputPeak{0.0f};
    std::atomic<uint64_t> blockCount{0};

    // Audio thread only.
    float muteGain = 1.0f;
    float muteStep = 1.0f;
    std::vector<float> gated[2]; // the inputs, copied and gated
};

} // namespace vorla::live
