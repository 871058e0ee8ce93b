// SPDX-License-Identifier: GPL-3.0-or-later
// strip_view.h - vorla-live's strip below the editor, in the editor's
// artwork: input meter and input port, gate on/off and threshold, cabinet
// on/off and choice, program with previous/next, output meter, mute, and a
// line for the player.
//
// Clicks: a display's left half steps back, its right half forward (the
// gate's threshold by 2 dB); the wheel over a display steps the same way
// (the threshold by 1 dB); the GATE and CABINET label rows switch them on
// and off; the MUTE corner mutes.  The M key mutes and unmutes.  What the
// view changes it asks of LiveControls; it redraws whatever LiveControls
// answers at the next idle.
#pragma once

#include "gui/cview.h"
#include "gui/glyph_text.h"
#include "live/live_controls.h"

#include <string>

class CBitmap;

namespace vorla::live {

class StripView final : public CView
{
public:
    /// A view of the strip's size at (0, 0) of its container.
    explicit StripView(LiveControls& controls);
    ~StripView() override;

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, int32_t buttons = -1) override;
    bool onWheel(CDrawContext* context, const CPoint& where, float distance) override;
    using CView::onWheel;
    int32_t onKeyDown(VstKeyCode& keyCode) override;

    /// True when the images were found (a build without them draws nothing).
    bool hasArtwork() const;

private:
    void drawDisplay(CDrawContext* context, const CRect& area, const std::string& text,
                     bool arrows);
    void drawMeter(CDrawContext* context, const CRect& area, float levelDb);
    /// Steps the display under `where` by `direction` (-1 or +1); false
    /// when no display is there.
    bool step(const CPoint& where, int32_t direction, float gateStepDb);

    LiveControls& controls;
    CBitmap* background = nullptr;
    CBitmap* glyphs = nullptr;
    CBitmap* smallLamp = nullptr;
    CBitmap* lamp = nullptr;
    GlyphAtlas atlas;
};

} // namespace vorla::live
