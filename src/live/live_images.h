// SPDX-License-Identifier: GPL-3.0-or-later
// live_images.h - the strip's images (resources/live, made by
// tools/gen_artwork.py --live), compiled into vorla-live.
#pragma once

#include "common/embedded_file.h"

namespace vorla::live {

/// "strip" (660 x 64 background) and "glyphs" (the text atlas).
extern const EmbeddedFile kLiveImages[];
extern const std::size_t kLiveImagesCount;

} // namespace vorla::live
