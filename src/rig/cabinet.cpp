// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig/cabinet.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vorla {

Cabinet::~Cabinet()
{
    reset();
}

void Cabinet::prepare(double rate, int32_t maxFrames)
{
    fadeSamples = std::max(1, static_cast<int32_t>(std::lround(kFadeSeconds * rate)));
    for (std::vector<float>& buffer : scratch)
        buffer.assign(static_cast<std::size_t>(std::max(1, maxFrames)), 0.0f);
}

void Cabinet::offer(std::unique_ptr<ConvolutionEngine> engine)
{
    if (!engine)
        return;
    latencyFrames.store(engine->latency(), std::memory_order_relaxed);
    hasEngine.store(true, std::memory_order_relaxed);
    delete offered.exchange(engine.release(), std::memory_order_acq_rel);
}

void Cabinet::install(std::unique_ptr<ConvolutionEngine> engine, bool on)
{
    reset();
    enabledFlag.store(on, std::memory_order_relaxed);
    if (!engine)
        return;
    latencyFrames.store(engine->latency(), std::memory_order_relaxed);
    hasEngine.store(true, std::memory_order_relaxed);
    active = engine.release();
    wet = on ? 1.0f : 0.0f;
}

void Cabinet::collect()
{
    delete retired.exchange(nullptr, std::memory_order_acq_rel);
}

void Cabinet::reset()
{
    collect();
    delete offered.exchange(nullptr, std::memory_order_acq_rel);
    delete fading;
    delete active;
    fading = active = nullptr;
    swapPosition = 0;
    wet = 0.0f;
    ringLeft = 0;
    hasEngine.store(false, std::memory_order_relaxed);
}

void Cabinet::process(float* const* io, int32_t frames) noexcept
{
    if (frames <= 0 || static_cast<std::size_t>(frames) > scratch[0].size())
        return;

    // Take an offered engine unless a swap is still fading (or its old
    // engine has not been handed back yet).
    if (fading == nullptr && offered.load(std::memory_order_relaxed) != nullptr)
    {
        ConvolutionEngine* next = offered.exchange(nullptr, std::memory_order_acq_rel);
        if (active != nullptr && wet > 0.0f)
        {
            fading = active;
            swapPosition = 0;
        }
        else if (active != nullptr)
        {
            // Silent anyway: hand the old one back at once when the slot is free.
            ConvolutionEngine* expected = nullptr;
            if (!retired.compare_exchange_strong(expected, active, std::memory_order_acq_rel))
            {
                fading = active; // keep it until the slot is free
                swapPosition = fadeSamples;
            }
        }
        active = next;
        ringLeft = 0;
    }

    const bool on = enabledFlag.load(std::memory_order_relaxed) && active != nullptr;
    const float step = 1.0f / static_cast<float>(fadeSamples);

    if (!on && wet == 0.0f && fading == nullptr)
    {
        // Dry.  Let the engine ring out on silence, then leave it idle.
        if (active != nullptr && ringLeft > 0)
        {
            float* silence[2] = {scratch[0].data(), scratch[1].data()};
            std::fill(silence[0], silence[0] + frames, 0.0f);
            std::fill(silence[1], silence[1] + frames, 0.0f);
            active->process(silence, silence, frames);
            ringLeft -= frames;
        }
        return;
    }

    float* wetOut[2] = {scratch[0].data(), scratch[1].data()};
    if (active != nullptr)
        active->process(io, wetOut, frames);
    else
    {
        std::fill(wetOut[0], wetOut[0] + frames, 0.0f);
        std::fill(wetOut[1], wetOut[1] + frames, 0.0f);
    }
    if (fading != nullptr)
    {
        float* oldOut[2] = {scratch[2].data(), scratch[3].data()};
        fading->process(io, oldOut, frames);
        for (int32_t i = 0; i < frames; ++i)
        {
            const float t = std::min(1.0f, static_cast<float>(swapPosition + i) * step);
            for (int c = 0; c < 2; ++c)
                wetOut[c][i] = wetOut[c][i] * t + oldOut[c][i] * (1.0f - t);
        }
        swapPosition += frames;
        if (swapPosition >= fadeSamples)
        {
            ConvolutionEngine* expected = nullptr;
            if (retired.compare_exchange_strong(expected, fading, std::memory_order_acq_rel))
                fading = nullptr;
        }
    }

    // Dry/convolved fade, then the result in place.
    for (int32_t i = 0; i < frames; ++i)
    {
        if (on && wet < 1.0f)
            wet = std::min(1.0f, wet + step);
        else if (!on && wet > 0.0f)
            wet = std::max(0.0f, wet - step);
        for (int c = 0; c < 2; ++c)
            io[c][i] = wet == 1.0f ? wetOut[c][i] : io[c][i] * (1.0f - wet) + wetOut[c][i] * wet;
    }
    if (!on && wet == 0.0f && active != nullptr)
        ringLeft = active->length() + active->latency();
}

} // namespace vorla
