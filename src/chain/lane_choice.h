// SPDX-License-Identifier: GPL-3.0-or-later
// lane_choice.h - the lane layouts this machine runs the model fastest on.
//
// Every layout gives the same bits, but which is fastest depends on the
// core more than on its instruction sets: a core that splits 256-bit
// operations in two gains little from AVX, and one whose 512-bit division
// and square root take half again as long as the 256-bit ones can lose with
// stereo's single 512-bit step, both of them on the stages' recursion.  So
// the first amplifier of a process times the model on every set the
// processor has, one side and both, and every amplifier takes the result.
#pragma once

#include "chain/model_code.h"

namespace vorla {

/// How long a lane set took: seconds, the best of its rounds.
struct LaneTime
{
    LaneSet set;
    double seconds;
};

/// The share by which another set must beat the widest before it replaces
/// it: closer timings are the machine's noise.
inline constexpr double kLaneMargin = 0.04;

/// The set to run on, from the times of the candidates: the fastest if it
/// beats `widest` by more than kLaneMargin, otherwise `widest`.  A time that
/// is not positive and finite does not count; without a time of its own,
/// `widest` stays.
LaneSet pickLaneSet(const LaneTime* times, int count, LaneSet widest) noexcept;

/// The code a new amplifier runs on: the lane sets measured fastest here,
/// one side and both, and the shaper's exp as the C library allows.  The
/// first call of the process measures (one or two milliseconds, never on an
/// audio thread: amplifiers are created elsewhere); later calls return the
/// same result.  Without memory for the measurement, the widest sets.
ModelCode measuredModelCode() noexcept;

} // namespace vorla
