// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/strip_view.h"

#include "gui/cbitmap.h"
#include "gui/cdrawcontext.h"
#include "gui/resources.h"
#include "live/live_images.h"
#include "live/strip_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vorla::live {

namespace {

CBitmap* liveImage(const char* name)
{
    auto* bitmap = new CBitmap(0);
    for (std::size_t i = 0; i < kLiveImagesCount; ++i)
        if (std::strcmp(kLiveImages[i].name, name) == 0)
            bitmap->decodePng(kLiveImages[i].data, kLiveImages[i].size);
    return bitmap;
}

constexpr int32_t kAmberRow = 0;
constexpr int32_t kInkRow = 1;

} // namespace

StripView::StripView(LiveControls& liveControls)
    : CView(CRect(0, 0, strip::kWidth, strip::kHeight)), controls(liveControls)
{
    background = liveImage("strip");
    glyphs = liveImage("glyphs");
    smallLamp = new CBitmap(kBrightLampBitmapId);
    lamp = new CBitmap(kLampBitmapId);
    atlas.bitmap = glyphs;
    atlas.cellWidth = 7;
    atlas.cellHeight = 13;
}

StripView::~StripView()
{
    for (CBitmap* bitmap : {background, glyphs, smallLamp, lamp})
        bitmap->release();
}

bool StripView::hasArtwork() const
{
    return background->getWidth() == strip::kWidth && glyphs->getWidth() > 0;
}

void StripView::drawDisplay(CDrawContext* context, const CRect& area, const std::string& text,
                            bool arrows)
{
    const int32_t top = area.top + (area.height() - atlas.cellHeight) / 2 + 1;
    const int32_t inner = arrows ? 12 : 5;
    const int32_t chars = (area.width() - 2 * inner) / atlas.cellWidth;
    if (arrows)
    {
        drawGlyphText(context, atlas, kAmberRow, CPoint(area.left + 3, top), "<", 1);
        drawGlyphText(context, atlas, kAmberRow, CPoint(area.right - 10, top), ">", 1);
    }
    drawGlyphText(context, atlas, kAmberRow, CPoint(area.left + inner, top), text.c_str(), chars);
}

void StripView::drawMeter(CDrawContext* context, const CRect& area, float levelDb)
{
    // LED segments of 3 px with a 1 px gap: green to -12 dBFS, amber to
    // -3 dBFS, red above; unlit segments glow faintly.
    constexpr int32_t kSegment = 4;
    const int32_t segments = (area.width() - 2) / kSegment;
    const float fraction =
        std::clamp((levelDb - strip::kMeterFloorDb) / -strip::kMeterFloorDb, 0.0f, 1.0f);
    const int32_t lit = static_cast<int32_t>(std::lround(fraction * float(segments)));
    for (int32_t i = 0; i < segments; ++i)
    {
        const float db = strip::kMeterFloorDb * (1.0f - float(i + 1) / float(segments));
        CColor colour = db > -3.0f    ? CColor{235, 50, 30, 255}
                        : db > -12.0f ? CColor{240, 170, 40, 255}
                                      : CColor{90, 210, 70, 255};
        if (i >= lit)
            colour = CColor{uint8_t(colour.red / 6), uint8_t(colour.green / 6),
                            uint8_t(colour.blue / 6), 255};
        context->setFillColor(colour);
        const int32_t left = area.left + 2 + i * kSegment;
        // fillRect covers (left + 1, top + 1) .. (right, bottom).
        context->fillRect(CRect(left - 1, area.top + 1, left + kSegment - 1, area.bottom - 2));
    }
}

void StripView::draw(CDrawContext* context)
{
    background->draw(context, CRect(0, 0, strip::kWidth, strip::kHeight));

    drawDisplay(context, strip::kInputDisplay, controls.inputName(), true);
    drawMeter(context, strip::kInputMeter, controls.inputLevelDb());

    char gate[32];
    std::snprintf(gate, sizeof gate, "%.0f dBFS", double(controls.gateDb()));
    drawDisplay(context, strip::kGateDisplay, gate, true);
    drawDisplay(context, strip::kCabinetDisplay, controls.cabinetName(), true);
    const std::string program = std::to_string(controls.program()) + " " + controls.programName();
    drawDisplay(context, strip::kProgramDisplay, program, true);
    drawMeter(context, strip::kOutputMeter, controls.outputLevelDb());

    // Lamps: off above, on below in each image.
    const auto drawLamp = [context](CBitmap* image, CPoint at, bool on) {
        const int32_t w = image->getWidth();
        const int32_t h = image->getHeight() / 2;
        image->drawAlphaBlend(context, CRect(at.h, at.v, at.h + w, at.v + h),
                              CPoint(0, on ? h : 0));
    };
    drawLamp(smallLamp, strip::kGateLamp, controls.gateOn());
    drawLamp(smallLamp, strip::kCabinetLamp, controls.cabinetOn());
    drawLamp(lamp, strip::kMuteLamp, controls.muted());

    const std::string message = controls.message();
    drawGlyphText(context, atlas, kInkRow, strip::kMessage, message.c_str(), strip::kMessageChars);
    setDirty(false);
}

bool StripView::step(const CPoint& where, int32_t direction, float gateStepDb)
{
    if (strip::kInputDisplay.pointInside(where))
        controls.stepInput(direction);
    else if (strip::kGateDisplay.pointInside(where))
        controls.setGate(controls.gateOn(), controls.gateDb() + gateStepDb * float(direction));
    else if (strip::kCabinetDisplay.pointInside(where))
        controls.stepCabinet(direction);
    else if (strip::kProgramDisplay.pointInside(where))
        controls.stepProgram(direction);
    else
        return false;
    return true;
}

void StripView::mouse(CDrawContext*, CPoint& where, int32_t)
{
    const auto half = [&where](const CRect& area) {
        return where.h < area.left + area.width() / 2 ? -1 : 1;
    };
    if (strip::kGateSwitch.pointInside(where))
        controls.setGate(!controls.gateOn(), controls.gateDb());
    else if (strip::kCabinetSwitch.pointInside(where))
        controls.setCabinetOn(!controls.cabinetOn());
    else if (strip::kMuteSwitch.pointInside(where))
        controls.setMuted(!controls.muted());
    else
    {
        for (const CRect& area : {strip::kInputDisplay, strip::kGateDisplay, strip::kCabinetDisplay,
                                  strip::kProgramDisplay})
            if (area.pointInside(where))
            {
                step(where, half(area), 2.0f);
                break;
            }
    }
    setDirty();
}

bool StripView::onWheel(CDrawContext*, const CPoint& where, float distance)
{
    if (distance == 0.0f || !step(where, distance > 0.0f ? 1 : -1, 1.0f))
        return false;
    setDirty();
    return true;
}

int32_t StripView::onKeyDown(VstKeyCode& keyCode)
{
    if (keyCode.character == 'm' || keyCode.character == 'M')
    {
        controls.setMuted(!controls.muted());
        setDirty();
        return 1;
    }
    return -1;
}

} // namespace vorla::live
