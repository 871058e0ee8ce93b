// SPDX-License-Identifier: GPL-3.0-or-later
// live_window.h - vorla-live's window: a top-level window titled "Vorla"
// holding the amplifier's editor (the plug-in's 660 x 250 panel) and the
// strip below it.
//
// The editor's gestures set the parameter on the core (the application is
// its own host); the core's writes from any thread, MIDI included, reach the
// editor through its EffectListener.  Threads: the control thread (the one
// that opened the window) for everything.
#pragma once

#include "editor/amp_editor.h"
#include "editor/edit_host.h"
#include "effect/effect_core.h"
#include "gui/top_level_window.h"
#include "live/live_controls.h"

#include <memory>
#include <string>

class CFrame;

namespace vorla::live {

class StripView;

class LiveWindow
{
public:
    /// The window's size: the editor and the strip below it.
    static constexpr int32_t kWidth = 660;
    static constexpr int32_t kEditorHeight = 250;
    static constexpr int32_t kHeight = kEditorHeight + 64;

    /// Opens the window on the display; null with a one-line reason.
    static std::unique_ptr<LiveWindow> open(EffectCore& core, LiveControls& controls,
                                            std::string& error);
    /// Draws the window as it would look into a PNG at `path`, without a
    /// display.  False with a reason.
    static bool drawToPng(const EffectState& state, LiveControls& controls, const std::string& path,
                          std::string& error);

    ~LiveWindow();
    LiveWindow(const LiveWindow&) = delete;
    LiveWindow& operator=(const LiveWindow&) = delete;

    /// Redraws what changed and handles the window's events; false once the
    /// user has closed the window.
    bool idle();

private:
    /// The editor's host: a gesture's values set the parameter.
    struct Host final : EditHost
    {
        explicit Host(EffectCore& c) : core(c) {}
        void beginGesture(int32_t) override {}
        void performEdit(int32_t index, float value) override { core.setParameter(index, value); }
        void endGesture(int32_t) override {}
        EffectCore& core;
    };

    LiveWindow(EffectCore& core, LiveControls& controls);

    EffectCore& core;
    LiveControls& controls;
    Host host;
    std::unique_ptr<TopLevelWindow> top;
    std::unique_ptr<AmpEditor> editor;
    CFrame* stripFrame = nullptr;
    StripView* strip = nullptr; // owned by stripFrame
    uint32_t lastMeterTicks = 0;
};

} // namespace vorla::live
