// SPDX-License-Identifier: GPL-3.0-or-later
// Constants shared by the amplifier model.
#pragma once

namespace vorla {

// The model's stand-in for 2*pi.  It is deliberately 6.28319304 and not
// 6.283185307...: every filter design (the prewarped bilinear transform) and
// the anti-denormal sine were tuned with this value, so the corner
// frequencies sit about 1.2 ppm higher than their nominal values.  That
// offset is part of the amplifier's sound and its reference output; do not
// "correct" it to std::numbers::pi * 2.
inline constexpr double kModelTwoPi = 6.28319304;

} // namespace vorla
