// SPDX-License-Identifier: GPL-3.0-or-later
// cabinet.h - the cabinet after the amplifier, as the audio thread sees it:
// the engine playing now, one handed over by another thread, and the fades
// between them.
//
// Hand-over without a lock: a preparing thread builds a ConvolutionEngine
// and offers it (one atomic pointer); the audio thread takes it at the start
// of a block and fades from the old engine to the new one over kFadeSeconds
// (both run during the fade), so a change of cabinet does not click.  The
// old engine then goes to a second atomic slot, from which a non-audio
// thread deletes it (collect()): the audio thread never frees memory.
// Switching the cabinet on or off fades between the dry and the convolved
// signal the same way.  After fading out, the engine is fed silence until
// its response has rung out and is then left idle, so switching on again
// does not replay an old tail.
//
// Threads: offer, collect and setEnabled from non-audio threads (offer and
// collect from one thread at a time); process on the audio thread.
#pragma once

#include "rig/convolution_engine.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace vorla {

class Cabinet
{
public:
    static constexpr double kFadeSeconds = 0.02;

    Cabinet() = default;
    ~Cabinet();
    Cabinet(const Cabinet&) = delete;
    Cabinet& operator=(const Cabinet&) = delete;

    /// Sizes the scratch for blocks of up to `maxFrames` at host rate `rate`.
    /// Before the audio thread starts, or while it is stopped.
    void prepare(double rate, int32_t maxFrames);

    /// Makes `engine` the one playing, on or off at once without a fade:
    /// the start of a stream.  Only while the audio thread is stopped.
    void install(std::unique_ptr<ConvolutionEngine> engine, bool on);
    /// Hands `engine` to the audio thread; an engine offered earlier and not
    /// yet taken is deleted here.
    void offer(std::unique_ptr<ConvolutionEngine> engine);
    /// Deletes engines the audio thread has finished with.
    void collect();
    /// Deletes every engine at once; only while the audio thread is stopped.
    void reset();

    void setEnabled(bool on) noexcept { enabledFlag.store(on, std::memory_order_relaxed); }
    bool enabled() const noexcept { return enabledFlag.load(std::memory_order_relaxed); }
    /// Latency of the engine playing (or about to), in frames; 0 without one.
    int32_t latency() const noexcept { return latencyFrames.load(std::memory_order_relaxed); }
    /// True while an engine is playing or about to.
    bool loaded() const noexcept { return hasEngine.load(std::memory_order_relaxed); }

    /// Runs both channels of `io` (in place) through the cabinet.  Audio
    /// thread; allocates nothing, takes no lock.
    void process(float* const* io, int32_t frames) noexcept;

private:
    std::atomic<ConvolutionEngine*> offered{nullptr};
    std::atomic<ConvolutionEngine*> retired{nullptr};
    std::atomic<bool> enabledFlag{false};
    std::atomic<int32_t> latencyFrames{0};
    std::atomic<bool> hasEngine{false};

    // Audio thread only.
    ConvolutionEngine* active = nullptr;
    ConvolutionEngine* fading = nullptr; // the engine being faded out
    int32_t swapPosition = 0;            // samples into the swap fade
    float wet = 0.0f;                    // 0 dry .. 1 convolved
    int32_t ringLeft = 0;                // silent samples still to feed after fading out
    int32_t fadeSamples = 1;
    std::vector<float> scratch[4]; // the two engines' outputs, two channels each
};

} // namespace vorla
