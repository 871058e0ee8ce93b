#include "params/parameters.h"

#include "plugin/host_text.h"
#include "plugin/vorla.h"

#include <cstring>

namespace {

// Names as the host lists them.  Several are longer than the eight
// characters the interface suggests; hosts give room for them and they are
// written in full.
// clang-format off
constexpr const char* kParameterNames[kNumParams] = {
    "Input",  "Channel", "Clean/Crunch", "Overdrive Boost", "Bright/Normal",
    "Drive1", "Drive2",  "Low",          "Mid",             "High",
    "Contour", "Power Amp", "Volume",    "Mono/Stereo",     "LowQ/HighQ",
};
// clang-format on

} // namespace

const char* vorla::parameterName(int32_t index) noexcept
{
    return vorla::isParameterIndex(index) ? kParameterNames[index] : nullptr;
}

float Vorla::parameterValue(int32_t index) const noexcept
{
    if (!vorla::isParameterIndex(index))
        return 0.0f;
    return paramValues[static_cast<std::size_t>(vorla::storageSlot(index))].load(
        std::memory_order_relaxed);
}

float Vorla::getParameter(int32_t index) noexcept
{
    return parameterValue(index);
}

void Vorla::getParameterName(int32_t index, char* text)
{
    if (const char* name = vorla::parameterName(index))
        std::memcpy(text, name, std::strlen(name) + 1);
}

void Vorla::getParameterLabel(int32_t index, char* label)
{
    // Only Volume has a unit; every other label is left as the host gave it.
    if (index == kVolume)
        std::memcpy(label, "dB", 3);
}

void Vorla::getParameterDisplay(int32_t index, char* text)
{
    if (!vorla::isParameterIndex(index))
        return;
    const float value = parameterValue(index);
    if (index == kVolume)
        dB2string(value, text, kVstMaxParamStrLen);
    else
        float2string(value, text, kVstMaxParamStrLen);
}
