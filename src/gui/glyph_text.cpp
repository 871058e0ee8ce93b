// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/glyph_text.h"

#include "gui/cbitmap.h"

namespace vorla {

int32_t drawGlyphText(CDrawContext* context, const GlyphAtlas& atlas, int32_t row, CPoint where,
                      const char* text, int32_t maxChars)
{
    if (context == nullptr || atlas.bitmap == nullptr || text == nullptr || atlas.cellWidth <= 0)
        return 0;
    int32_t x = where.h;
    for (int32_t i = 0; text[i] != '\0' && i < maxChars; ++i)
    {
        int32_t code = static_cast<unsigned char>(text[i]);
        if (code < 32 || code > 126)
            code = '?';
        if (code != ' ')
        {
            const CRect cell(x, where.v, x + atlas.cellWidth, where.v + atlas.cellHeight);
            atlas.bitmap->drawAlphaBlend(
                context, cell, CPoint((code - 32) * atlas.cellWidth, row * atlas.cellHeight));
        }
        x += atlas.cellWidth;
    }
    return x - where.h;
}

} // namespace vorla
