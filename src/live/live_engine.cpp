// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/live_engine.h"

#include "effect/parameters.h"
#include "live/midi_map.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vorla::live {

LiveEngine::LiveEngine(EffectCore& effectCore, Rig& effectRig) : core(effectCore), rig(effectRig)
{
    for (std::vector<float>& buffer : gated)
        buffer.assign(kMaxFrames, 0.0f);
}

void LiveEngine::prepare(double rate)
{
    muteStep = static_cast<float>(1.0 / std::max(1.0, kMuteFadeSeconds * rate));
    muteGain = muted.load(std::memory_order_relaxed) ? 0.0f : 1.0f;
    rig.prepare(rate, kMaxFrames);
}

void LiveEngine::midi(const uint8_t* data, std::size_t size) noexcept
{
    if (data == nullptr || size < 2)
        return;
    const uint8_t status = data[0] & 0xF0;
    if (status == 0xC0)
    {
        if (data[1] < kNumPrograms)
            programRequest.store(data[1], std::memory_order_relaxed);
        return;
    }
    if (status == 0xB0 && size >= 3)
        controlChange(data[1] & 0x7F, data[2] & 0x7F);
}

void LiveEngine::controlChange(int32_t controller, int32_t value) noexcept
{
    const bool high = value >= 64;
    if (controller >= kFirstParameterCc && controller < kFirstParameterCc + kNumParams)
        core.setParameter(controller - kFirstParameterCc, static_cast<float>(value) / 127.0f);
    else if (controller == kGateOnCc)
        rig.setGate(high, rig.gateThreshold());
    else if (controller == kGateThresholdCc)
        rig.setGate(rig.gateOn(), gateThresholdOfCc(value));
    else if (controller == kCabinetOnCc)
        rig.cabinet().setEnabled(high);
    else if (controller == kCabinetChoiceCc)
        cabinetRequest.store(value, std::memory_order_relaxed);
    else if (controller == kMuteCc)
        muted.store(high, std::memory_order_relaxed);
    else if (controller == kAllSoundOffCc)
        core.requestRest();
}

namespace {

float peakOf(const float* samples, int32_t frames) noexcept
{
    float peak = 0.0f;
    for (int32_t i = 0; i < frames; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

void raisePeak(std::atomic<float>& slot, float peak) noexcept
{
    if (peak > slot.load(std::memory_order_relaxed))
        slot.store(peak, std::memory_order_relaxed);
}

} // namespace

void LiveEngine::process(const float* in1, const float* in2, float* out1, float* out2,
                         int32_t frames) noexcept
{
    if (frames <= 0)
        return;
    // A period longer than the work space (a server set to a huge buffer)
    // runs in pieces rather than falling silent.
    while (frames > kMaxFrames)
    {
        process(in1, in2, out1, out2, kMaxFrames);
        in1 += kMaxFrames;
        in2 += kMaxFrames;
        out1 += kMaxFrames;
        out2 += kMaxFrames;
        frames -= kMaxFrames;
    }
    const bool stereo = core.switches().stereoOn.load(std::memory_order_relaxed) != 0;
    const auto bytes = static_cast<std::size_t>(frames) * sizeof(float);
    std::memcpy(gated[0].data(), in1, bytes);
    std::memcpy(gated[1].data(), stereo ? in2 : in1, bytes);
    raisePeak(inputPeak, std::max(peakOf(in1, frames), stereo ? peakOf(in2, frames) : 0.0f));

    float* gatedPointers[2] = {gated[0].data(), gated[1].data()};
    rig.gate(gatedPointers, stereo ? 2 : 1, frames);

    const float* inputs[2] = {gated[0].data(), gated[1].data()};
    float* outputs[2] = {out1, out2};
    core.process(inputs, outputs, frames);
    rig.cabinet().process(outputs, frames);

    const bool mute = muted.load(std::memory_order_relaxed);
    if (mute || muteGain < 1.0f)
        for (int32_t i = 0; i < frames; ++i)
        {
            muteGain =
                mute ? std::max(0.0f, muteGain - muteStep) : std::min(1.0f, muteGain + muteStep);
            out1[i] *= muteGain;
            out2[i] *= muteGain;
        }
    raisePeak(outputPeak, std::max(peakOf(out1, frames), peakOf(out2, frames)));
    blockCount.fetch_add(1, std::memory_order_relaxed);
}

} // namespace vorla::live
