// SPDX-License-Identifier: GPL-3.0-or-later
// An effect core created directly (no library, no entry, no format), for
// tests that look at state a host cannot see: switch flags, memories, rate
// values, the amplifier's sides.
#pragma once

#include "effect/effect_core.h"

#include <memory>

namespace vorla::test {

inline std::unique_ptr<EffectCore> makeCore()
{
    return std::make_unique<EffectCore>();
}

} // namespace vorla::test
