// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/live_window.h"

#include "editor/editor_layout.h"
#include "gui/cbitmap.h"
#include "gui/cframe.h"
#include "gui/platform.h"
#include "gui/raster.h"
#include "gui/resources.h"
#include "live/strip_layout.h"
#include "live/strip_view.h"

#include <png.h>

#include <vector>

namespace vorla::live {

LiveWindow::LiveWindow(EffectCore& effectCore, LiveControls& liveControls)
    : core(effectCore), controls(liveControls), host(effectCore)
{
}

std::unique_ptr<LiveWindow> LiveWindow::open(EffectCore& core, LiveControls& controls,
                                             std::string& error)
{
    std::unique_ptr<LiveWindow> window(new LiveWindow(core, controls));
    window->top = createTopLevelWindow("Vorla", kWidth, kHeight, error);
    if (!window->top)
        return nullptr;
    window->editor = std::make_unique<AmpEditor>(core, window->host);
    if (!window->editor->open(window->top->handle()))
    {
        error = "cannot open the editor in the window";
        return nullptr;
    }
    core.addListener(window->editor.get());
    void* pane = window->top->addPane(0, kEditorHeight, strip::kWidth, strip::kHeight);
    window->stripFrame = new CFrame(CRect(0, 0, strip::kWidth, strip::kHeight), pane, nullptr);
    window->strip = new StripView(controls);
    window->stripFrame->addView(window->strip);
    window->stripFrame->draw(nullptr);
    return window;
}

LiveWindow::~LiveWindow()
{
    if (editor)
    {
        core.removeListener(editor.get());
        editor->close();
    }
    delete stripFrame; // and with it the strip
    editor.reset();
    top.reset();
}

bool LiveWindow::idle()
{
    if (!top->pumpEvents())
        return false;
    char typed = 0;
    while (top->takeCharacter(typed))
        if (typed == 'm' || typed == 'M')
        {
            controls.setMuted(!controls.muted());
            strip->setDirty();
        }
    editor->idle();
    // The strip shows meters: redraw it 30 times a second.
    const uint32_t now = platformTickCount();
    if (now - lastMeterTicks >= 33)
    {
        lastMeterTicks = now;
        strip->setDirty();
    }
    stripFrame->idle();
    return true;
}

bool LiveWindow::drawToPng(const EffectState& state, LiveControls& controls,
                           const std::string& path, std::string& error)
{
    // The editor as the snapshot tool draws it, windowless.
    auto* background = new CBitmap(kBackgroundBitmapId);
    auto* editorFrame = new CFrame(CRect(0, 0, kWidth, kEditorHeight), nullptr, nullptr);
    editorFrame->setBackground(background);
    background->release();
    buildEditorControls(*editorFrame, nullptr,
                        [&state](int32_t tag) { return state.parameter(tag); });
    editorFrame->draw(nullptr);

    auto* stripFrame = new CFrame(CRect(0, 0, strip::kWidth, strip::kHeight), nullptr, nullptr);
    auto* stripView = new StripView(controls);
    stripFrame->addView(stripView);
    const bool artwork = stripView->hasArtwork();
    stripFrame->draw(nullptr);

    Raster image(kWidth, kHeight);
    const CRect all(0, 0, kWidth, kHeight);
    image.copyFrom(editorFrame->getBackBuffer()->raster(), CRect(0, 0, kWidth, kEditorHeight),
                   CPoint(), all);
    image.copyFrom(stripFrame->getBackBuffer()->raster(), CRect(0, kEditorHeight, kWidth, kHeight),
                   CPoint(), all);
    delete editorFrame;
    delete stripFrame;
    if (!artwork)
    {
        error = "the strip's images are missing from this build";
        return false;
    }

    // Raster pixels are BGRA; the window is opaque, so RGB is all there is.
    std::vector<uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
        {
            const uint8_t* p = image.row(y) + static_cast<std::size_t>(x) * 4;
            uint8_t* q = &rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
        }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = kWidth;
    png.height = kHeight;
    png.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr))
    {
        error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

} // namespace vorla::live
