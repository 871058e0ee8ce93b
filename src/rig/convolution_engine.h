// SPDX-License-Identifier: GPL-3.0-or-later
// convolution_engine.h - one prepared impulse response in zita-convolver,
// ready for the audio thread: two channels in, two out.
//
// zita-convolver splits a response into partitions and runs each size of
// partition in a thread of its own, except the first when its partition
// equals the processing quantum: that one runs inside process() and adds no
// latency.  The engine uses one size only (first partition = largest =
// quantum), so process() does all the work in the caller's thread, starts no
// thread, waits for none and adds no latency:
//  - direct: the host's period is a power of two from 64 to 8192 and every
//    block has exactly that many frames (a JACK period): quantum = period,
//    latency 0;
//  - buffered: any other block pattern (periods below 64, an offline
//    renderer's last short block): the engine collects 64 frames at a time,
//    so its output is 64 frames late (latency() says so).
//
// Creating the engine (FFTW plans, the partitions' spectra) allocates and
// takes its time: build it off the audio thread.  process() allocates
// nothing and takes no lock.
#pragma once

#include "rig/impulse_response.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Convproc;

namespace vorla {

class ConvolutionEngine
{
public:
    /// The quantum of the buffered form.
    static constexpr int32_t kBufferedQuantum = 64;
    /// The period to give for blocks of any length (the buffered form).
    static constexpr int32_t kAnyBlocks = 0;

    /// An engine for `prepared` (already at the host's rate) and blocks of
    /// `period` frames; null with a reason when zita-convolver refuses.
    static std::unique_ptr<ConvolutionEngine> create(const ImpulseResponse& prepared,
                                                     int32_t period, std::string& error);
    ~ConvolutionEngine();
    ConvolutionEngine(const ConvolutionEngine&) = delete;
    ConvolutionEngine& operator=(const ConvolutionEngine&) = delete;

    /// True for a period the direct form takes.
    static bool isDirectPeriod(int32_t period) noexcept;

    /// Frames by which the output follows the input: 0 direct, 64 buffered.
    int32_t latency() const noexcept { return direct ? 0 : quantum; }
    /// Samples of the response (per channel).
    int32_t length() const noexcept { return responseLength; }
    int32_t period() const noexcept { return blockFrames; }

    /// Convolves `frames` samples of both channels; `in` and `out` may be
    /// the same buffers.  In the direct form a block of another length than
    /// the period gives silence.  Audio thread.
    void process(const float* const* in, float* const* out, int32_t frames) noexcept;

private:
    ConvolutionEngine();

    std::unique_ptr<Convproc> convolver;
    int32_t quantum = 0;
    int32_t blockFrames = 0;
    int32_t responseLength = 0;
    bool direct = false;
    // The buffered form's collected input and last output.
    std::array<std::vector<float>, 2> inputFifo;
    std::array<std::vector<float>, 2> outputFifo;
    int32_t fill = 0;
};

} // namespace vorla
