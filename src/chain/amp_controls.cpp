// SPDX-License-Identifier: GPL-3.0-or-later
#include "chain/amp_controls.h"

namespace vorla {

BlockSnapshot makeBlockSnapshot(const KnobSettings& knobs) noexcept
{
    BlockSnapshot s;
    s.inputGain = modelValue(knobs.input);
    s.drive1 = modelValue(knobs.drive1);
    s.drive2 = modelValue(knobs.drive2);
    s.low = modelValue(knobs.low);
    s.mid = modelValue(knobs.mid);
    s.high = modelValue(knobs.high);
    s.contour = modelValue(knobs.contour);
    s.contourLevel = contourLevel(s.contour);
    // The power-stage drive never falls to zero: a tenth of it remains with
    // the knob at 0.
    s.powerDrive = modelValue(knobs.powerAmp) * 0.9 + 0.1;
    s.crunchDriveGain = driveGain(s.drive1);
    s.overdriveDriveGain = driveGain(s.drive2);
    return s;
}

} // namespace vorla
