// SPDX-License-Identifier: GPL-3.0-or-later
// glyph_text.h - text drawn from a glyph atlas: an image of a monospace
// font's printable ASCII characters (32..126) side by side in equal cells,
// one row of cells per colour.  The atlas is made ahead of time from a free
// font (tools/gen_artwork.py), so drawing text needs no font engine.
#pragma once

#include "gui/gui_types.h"

#include <cstdint>

class CBitmap;
class CDrawContext;

namespace vorla {

struct GlyphAtlas
{
    CBitmap* bitmap = nullptr; // not owned
    int32_t cellWidth = 7;
    int32_t cellHeight = 13;
};

/// Draws `text` with the top-left of its first cell at `where` (the
/// context's coordinates), in colour row `row` of the atlas, at most
/// `maxChars` characters; characters outside 32..126 show as '?'.  Answers
/// the width drawn in pixels.
int32_t drawGlyphText(CDrawContext* context, const GlyphAtlas& atlas, int32_t row, CPoint where,
                      const char* text, int32_t maxChars);

} // namespace vorla
