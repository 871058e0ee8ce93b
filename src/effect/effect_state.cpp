// SPDX-License-Identifier: GPL-3.0-or-later
#include "effect/effect_state.h"

#include "effect/bounded_text.h"
#include "effect/parameter_text.h"

#include <cstring>

namespace vorla {

EffectState::EffectState() noexcept
{
    // The member initialisers have put every value, flag and memory in its
    // zero form.  Fill the bank, then select the first program: that sets
    // every parameter and switch flag and, through the quality switch, asks
    // for the design at the default rate.
    const VorlaProgram init = makeInitProgram();
    for (VorlaProgram& program : programs)
        program = init;
    selectProgram(0);
}

float EffectState::parameter(int32_t index) const noexcept
{
    if (!isParameterIndex(index))
        return 0.0f;
    return values[static_cast<std::size_t>(storageSlot(index))].load(std::memory_order_relaxed);
}

KnobSettings EffectState::knobSettings() const noexcept
{
    KnobSettings knobs;
    knobs.input = parameter(kInput);
    knobs.drive1 = parameter(kDrive1);
    knobs.drive2 = parameter(kDrive2);
    knobs.low = parameter(kLow);
    knobs.mid = parameter(kMid);
    knobs.high = parameter(kHigh);
    knobs.contour = parameter(kContour);
    knobs.powerAmp = parameter(kPowerAmp);
    return knobs;
}

const std::atomic<float>& EffectState::volumeValue() const noexcept
{
    return values[static_cast<std::size_t>(storageSlot(kVolume))];
}

bool EffectState::parameterName(int32_t index, char* text, std::size_t size) noexcept
{
    const char* name = vorla::parameterName(index);
    if (name == nullptr || size == 0)
        return false;
    const std::size_t length = boundedLength(name, size - 1);
    std::memcpy(text, name, length);
    text[length] = '\0';
    return true;
}

bool EffectState::parameterLabel(int32_t index, char* text, std::size_t size) noexcept
{
    // Only Volume has a unit.
    if (index != kVolume || size == 0)
        return false;
    const std::size_t length = boundedLength("dB", size - 1);
    std::memcpy(text, "dB", length);
    text[length] = '\0';
    return true;
}

bool EffectState::parameterDisplay(int32_t index, char* text, std::size_t size) const noexcept
{
    if (!isParameterIndex(index) || size == 0)
        return false;
    const std::size_t limit = size - 1 < kParameterDisplayChars ? size - 1 : kParameterDisplayChars;
    const float value = parameter(index);
    if (index == kVolume)
        formatDecibels(value, text, limit);
    else
        formatFloat(value, text, limit);
    return true;
}

bool EffectState::addListener(EffectListener* listener) noexcept
{
    for (std::atomic<EffectListener*>& slot : listeners)
        if (slot.load(std::memory_order_relaxed) == nullptr)
        {
            // Release: a writer that finds the listener sees it complete.
            slot.store(listener, std::memory_order_release);
            return true;
        }
    return false;
}

void EffectState::removeListener(EffectListener* listener) noexcept
{
    for (std::atomic<EffectListener*>& slot : listeners)
        if (slot.load(std::memory_order_relaxed) == listener)
            slot.store(nullptr, std::memory_order_release);
}

void EffectState::notify(int32_t index, float value) noexcept
{
    for (const std::atomic<EffectListener*>& slot : listeners)
        if (EffectListener* listener = slot.load(std::memory_order_acquire))
            listener->parameterChanged(index, value);
}

} // namespace vorla
