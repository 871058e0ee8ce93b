// SPDX-License-Identifier: GPL-3.0-or-later
// voicing.h - which preamp voicing the channel switches select.
//
// The amplifier has two channels: the first is Clean or Crunch (the
// Clean/Crunch switch), the second is Overdrive.  The Channel switch wins:
// on the Overdrive channel the Clean/Crunch switch is remembered but not
// heard.  This is the one place that says so; the model loops and the
// controls' voicing memories both ask here.
#pragma once

#include <cstdint>

namespace vorla {

enum class Voicing : int32_t
{
    Clean = 0,
    Crunch = 1,
    Overdrive = 2,
};

inline constexpr int kVoicingCount = 3;

/// The voicing selected by the switch flags (each 0 or 1; any non-zero
/// value counts as on).
constexpr Voicing selectVoicing(int32_t channelOverdrive, int32_t crunchOn) noexcept
{
    if (channelOverdrive != 0)
        return Voicing::Overdrive;
    return crunchOn != 0 ? Voicing::Crunch : Voicing::Clean;
}

static_assert(selectVoicing(1, 1) == Voicing::Overdrive);
static_assert(selectVoicing(0, 1) == Voicing::Crunch);
static_assert(selectVoicing(0, 0) == Voicing::Clean);

} // namespace vorla
