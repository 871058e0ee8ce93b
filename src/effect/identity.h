// SPDX-License-Identifier: GPL-3.0-or-later
// identity.h - what the amplifier calls itself, the same through every door
// (the VST 2.4 plug-in, the LV2 plug-in, the standalone application).
#pragma once

#include <cstdint>

namespace vorla {

/// The product name hosts list.
inline constexpr const char* kProductName = "Tarvek_Vorla_Vesk_v2_11";
/// Who made it.
inline constexpr const char* kVendorName = "Zembo Plugins";
/// The version number hosts read.
inline constexpr int32_t kVendorVersion = 2010;

} // namespace vorla
