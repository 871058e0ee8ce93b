// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the amplifier-chain tests: deterministic test signals and
// renders through the built plug-in.
#pragma once

#include "effect/parameters.h"
#include "host/loaded_plugin.h"
#include "host/test_random.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace vorla::test {

/// A DI-guitar-like signal: plucked strings (Karplus-Strong, float
/// arithmetic only, so every machine makes the same bits) starting at
/// different times, peak around 0.5.  `variant` picks another set of notes.
inline std::vector<float> guitarSignal(std::size_t frames, float sampleRate, int variant = 0)
{
    struct Pluck
    {
        float frequency;
        float start; // seconds
    };
    const Pluck first[] = {{82.41f, 0.0f}, {110.0f, 0.004f}, {146.83f, 0.009f}, {196.0f, 0.02f}};
    const Pluck second[] = {{98.0f, 0.0f}, {123.47f, 0.006f}, {164.81f, 0.012f}, {329.63f, 0.025f}};
    const Pluck* plucks = variant == 0 ? first : second;
    Lcg noise(variant == 0 ? 12345u : 54321u);

    std::vector<float> out(frames, 0.0f);
    for (int p = 0; p < 4; ++p)
    {
        const auto period = static_cast<std::size_t>(sampleRate / plucks[p].frequency);
        std::vector<float> line(period);
        for (float& v : line)
            v = 0.3f * noise.bipolar();
        const auto start = static_cast<std::size_t>(plucks[p].start * sampleRate);
        std::size_t pos = 0;
        for (std::size_t n = start; n < frames; ++n)
        {
            const std::size_t next = pos + 1 == period ? 0 : pos + 1;
            const float v = line[pos];
            line[pos] = 0.4985f * (v + line[next]);
            out[n] += v;
            pos = next;
        }
    }
    return out;
}

/// Full-scale white noise in [-1, 1).
inline std::vector<float> noiseSignal(std::size_t frames, uint32_t seed = 7u)
{
    Lcg noise(seed);
    std::vector<float> out(frames);
    for (float& v : out)
        v = noise.bipolar();
    return out;
}

/// A 0 dBFS square wave of `period` frames.
inline std::vector<float> squareSignal(std::size_t frames, std::size_t period)
{
    std::vector<float> out(frames);
    for (std::size_t n = 0; n < frames; ++n)
        out[n] = (n % period) < period / 2 ? 1.0f : -1.0f;
    return out;
}

enum class Voicing
{
    Clean,
    Crunch,
    Overdrive,
};

inline const char* voicingName(Voicing v)
{
    switch (v)
    {
    case Voicing::Clean: return "clean";
    case Voicing::Crunch: return "crunch";
    case Voicing::Overdrive: return "overdrive";
    }
    return "?";
}

/// Selects a voicing the way a user does: the channel switches first (which
/// recall that voicing's knobs), then its own knobs.
inline void selectVoicing(host::PluginInstance& fx, Voicing voicing, bool bright,
                          bool boost = false, float drive = 0.5f)
{
    fx.setParameter(kChannel, voicing == Voicing::Overdrive ? 1.0f : 0.0f);
    fx.setParameter(kCleanCrunch, voicing == Voicing::Crunch ? 1.0f : 0.0f);
    fx.setParameter(kBright, bright ? 1.0f : 0.0f);
    if (voicing == Voicing::Overdrive)
    {
        fx.setParameter(kBoost, boost ? 1.0f : 0.0f);
        fx.setParameter(kDrive2, drive);
    }
    if (voicing == Voicing::Crunch)
        fx.setParameter(kDrive1, drive);
}

inline void setHostRate(host::PluginInstance& fx, float rate, bool highQuality)
{
    fx.setParameter(kQuality, highQuality ? 1.0f : 0.0f);
    fx.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

struct Stereo
{
    std::vector<float> left;
    std::vector<float> right;
};

/// Runs the inputs through processReplacing in blocks of `block` frames
/// (the last block shorter).
inline Stereo render(host::PluginInstance& fx, const std::vector<float>& in1,
                     const std::vector<float>& in2, std::size_t block = 256)
{
    Stereo out{std::vector<float>(in1.size(), -7.0f), std::vector<float>(in1.size(), -7.0f)};
    for (std::size_t pos = 0; pos < in1.size(); pos += block)
    {
        const std::size_t frames = std::min(block, in1.size() - pos);
        float* inputs[2] = {const_cast<float*>(in1.data() + pos),
                            const_cast<float*>(in2.data() + pos)};
        float* outputs[2] = {out.left.data() + pos, out.right.data() + pos};
        fx.processReplacing(inputs, outputs, static_cast<int32_t>(frames));
    }
    return out;
}

inline bool allFinite(const std::vector<float>& v)
{
    for (float x : v)
        if (!std::isfinite(x))
            return false;
    return true;
}

inline double peak(const std::vector<float>& v, std::size_t from = 0)
{
    double p = 0.0;
    for (std::size_t n = from; n < v.size(); ++n)
        p = std::max(p, std::fabs(static_cast<double>(v[n])));
    return p;
}

/// Bitwise equality of two float vectors (NaN-safe, -0 != +0).
inline bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

} // namespace vorla::test
