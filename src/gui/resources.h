// SPDX-License-Identifier: GPL-3.0-or-later
// resources.h - the images the library carries.
//
// Every file of resources/images is a resource of the library with a number
// and a type: "PNG" for images decoded with alpha, "BITMAP" for plain opaque
// bitmaps (uncompressed Windows bitmap files).  The Linux build compiles the
// files in as byte arrays (the table below); the Windows build links them as
// resources of the DLL (a .rc file compiled by windres), where bitmap 128 is
// a real BITMAP resource.  resources/CMakeLists.txt holds the one list of
// them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorla {

/// One embedded resource (the generated table's element type).
struct VorlaResource
{
    int32_t id;
    const char* type;
    const uint8_t* data;
    size_t size;
};

/// The generated table (library vorla_resources; Linux only).
extern const VorlaResource kVorlaResources[];
extern const size_t kVorlaResourceCount;

/// Resource numbers of the editor's images.
enum VorlaResourceId : int32_t
{
    kKnobBitmapId = 1,          ///< 56 x 3528: 63 knob frames of 56 x 56, value 0 on top
    kBrightLampBitmapId = 2,    ///< 8 x 16: small lamp, off above, on below
    kChannelSwitchBitmapId = 3, ///< 35 x 120: lever, position 0 above
    kLampBitmapId = 4,          ///< 12 x 54: lamp, off above, on below
    kWideButtonBitmapId = 5,    ///< 50 x 54: button with lamp, off above, on below
    kBackgroundBitmapId = 128   ///< 660 x 250 plain bitmap: the panel
};

/// Finds resource `id` of `type` ("PNG" or "BITMAP") in the library;
/// false when absent.  Implemented once per platform (gui/x11: the compiled-
/// in table above; gui/win32: FindResourceA and friends in the module that
/// resourceModule() names, gui/platform.h).
bool findResource(int32_t id, const char* type, const uint8_t*& data, size_t& size);

} // namespace vorla
