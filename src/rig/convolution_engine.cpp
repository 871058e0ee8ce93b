// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig/convolution_engine.h"

#include <zita-convolver.h>

#include <algorithm>
#include <cstring>

namespace vorla {

ConvolutionEngine::ConvolutionEngine() : convolver(std::make_unique<Convproc>()) {}

ConvolutionEngine::~ConvolutionEngine()
{
    if (convolver->state() != Convproc::ST_IDLE)
    {
        convolver->stop_process();
        convolver->cleanup();
    }
}

bool ConvolutionEngine::isDirectPeriod(int32_t period) noexcept
{
    return period >= Convproc::MINPART && period <= Convproc::MAXPART &&
           (period & (period - 1)) == 0;
}

std::unique_ptr<ConvolutionEngine> ConvolutionEngine::create(const ImpulseResponse& prepared,
                                                             int32_t period, std::string& error)
{
    if (prepared.length() == 0 || prepared.channels.size() > 2 || period < 0)
    {
        error = "no cabinet response to convolve";
        return nullptr;
    }
    std::unique_ptr<ConvolutionEngine> engine(new ConvolutionEngine());
    engine->direct = isDirectPeriod(period);
    engine->quantum = engine->direct ? period : kBufferedQuantum;
    engine->blockFrames = period;
    engine->responseLength = static_cast<int32_t>(prepared.length());
    const auto q = static_cast<uint32_t>(engine->quantum);
    Convproc& conv = *engine->convolver;
    // One partition size: the first runs inside process() (see the header).
    if (conv.configure(2, 2, static_cast<uint32_t>(prepared.length()), q, q, q, 0.0f) != 0)
    {
        error = "the convolver refused a response of " + std::to_string(prepared.length()) +
                " samples at a period of " + std::to_string(period);
        return nullptr;
    }
    const bool stereo = prepared.channels.size() == 2;
    const int32_t length = static_cast<int32_t>(prepared.length());
    // impdata_create copies the samples; its pointer is not const only by its age.
    auto* left = const_cast<float*>(prepared.channels[0].data());
    auto* right = const_cast<float*>(prepared.channels[stereo ? 1 : 0].data());
    if (conv.impdata_create(0, 0, 1, left, 0, length) != 0 ||
        conv.impdata_create(1, 1, 1, right, 0, length) != 0)
    {
        error = "the convolver could not take the cabinet response";
        return nullptr;
    }
    if (conv.start_process(0, 0) != 0)
    {
        error = "the convolver could not start";
        return nullptr;
    }
    for (int c = 0; c < 2; ++c)
    {
        engine->inputFifo[c].assign(q, 0.0f);
        engine->outputFifo[c].assign(q, 0.0f);
    }
    return engine;
}

void ConvolutionEngine::process(const float* const* in, float* const* out, int32_t frames) noexcept
{
    if (frames <= 0)
        return;
    Convproc& conv = *convolver;
    if (direct)
    {
        if (frames != quantum)
        {
            for (int c = 0; c < 2; ++c)
                std::fill(out[c], out[c] + frames, 0.0f);
            return;
        }
        const auto bytes = static_cast<std::size_t>(frames) * sizeof(float);
        for (uint32_t c = 0; c < 2; ++c)
            std::memcpy(conv.inpdata(c), in[c], bytes);
        conv.process(false);
        for (uint32_t c = 0; c < 2; ++c)
            std::memcpy(out[c], conv.outdata(c), bytes);
        return;
    }
    for (int32_t i = 0; i < frames; ++i)
    {
        for (int c = 0; c < 2; ++c)
        {
            const float sample = in[c][i];
            out[c][i] = outputFifo[c][static_cast<std::size_t>(fill)];
            inputFifo[c][static_cast<std::size_t>(fill)] = sample;
        }
        if (++fill == quantum)
        {
            fill = 0;
            const auto bytes = static_cast<std::size_t>(quantum) * sizeof(float);
            for (uint32_t c = 0; c < 2; ++c)
                std::memcpy(conv.inpdata(c), inputFifo[c].data(), bytes);
            conv.process(false);
            for (uint32_t c = 0; c < 2; ++c)
                std::memcpy(outputFifo[c].data(), conv.outdata(c), bytes);
        }
    }
}

} // namespace vorla
