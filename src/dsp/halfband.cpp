// SPDX-License-Identifier: GPL-3.0-or-later
// Half-band coefficient tables.
//
// Each table is a polyphase allpass half-band design: the
// allpass coefficients in rising order, alternating between the two paths.
// Rejection with float coefficients, measured from the high rate's 0.255
// (12, 8) or 0.275 (4) upwards: about 103.7 dB, 69 dB and 53.6 dB.
#include "dsp/halfband.h"

namespace vorla {

// clang-format off
const double kHalfbandCoefficients12[12] = {
    0.036681502163648017, 0.13654762463195771, 0.2746317593794541, 0.42313861743656667,
    0.5610989697879195,   0.6775400499741616,  0.769741833862266,  0.839889624849638,
    0.8922608180038789,   0.9315419599631839,  0.962094548378084,  0.9878163707328971,
};

const double kHalfbandCoefficients8[8] = {
    0.07711507983241622, 0.2659685265210946, 0.4820706250610472, 0.6651041532634957,
    0.7968204713315797,  0.8841015085506159, 0.9412514277740471, 0.9820054141886075,
};

const double kHalfbandCoefficients4[4] = {
    0.12073211751675449, 0.3903621872345006, 0.6632020224193995, 0.890786832653497,
};
// clang-format on

void loadHalfbandCoefficients(HalfbandFilter12& filter) noexcept
{
    loadHalfbandCoefficients(filter, kHalfbandCoefficients12);
}

void loadHalfbandCoefficients(HalfbandFilter8& filter) noexcept
{
    loadHalfbandCoefficients(filter, kHalfbandCoefficients8);
}

void loadHalfbandCoefficients(HalfbandFilter4& filter) noexcept
{
    loadHalfbandCoefficients(filter, kHalfbandCoefficients4);
}

} // namespace vorla
