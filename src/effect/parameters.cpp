// SPDX-License-Identifier: GPL-3.0-or-later
#include "effect/parameters.h"

namespace {

// Names as hosts list them.  Several are longer than the eight characters
// the VST 2.4 interface suggests; hosts give room for them and they are
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
