// SPDX-License-Identifier: GPL-3.0-or-later
// scripted_platform.h - a platform for headless toolkit tests.
//
// Each call of mouseButtons() consumes one scripted step: the button word it
// answers and the pointer position (frame coordinates) from then on.  With
// the script used up the buttons read 0, so every drag loop ends.
#pragma once

#include "gui/ccontrol.h"
#include "gui/cframe.h"
#include "gui/platform.h"
#include "gui/raster.h"

#include <deque>
#include <vector>

struct ScriptStep
{
    int32_t buttons;
    CPoint pointer; // frame coordinates
};

class ScriptedWindow final : public vorla::PlatformWindow
{
public:
    explicit ScriptedWindow(CPoint screenOriginOfWindow) : origin(screenOriginOfWindow) {}

    bool isValid() const override { return valid; }
    void present(const vorla::Raster& backBuffer, const CRect& area) override
    {
        ++presentCount;
        lastPresented = area;
        lastPresentedWidth = backBuffer.width();
    }
    CPoint screenOrigin() override { return origin; }
    CPoint pointerScreenPosition() override
    {
        return CPoint(pointer.h + origin.h, pointer.v + origin.v);
    }
    int32_t mouseButtons() override
    {
        ++buttonReads;
        if (script.empty())
            return 0;
        const ScriptStep step = script.front();
        script.pop_front();
        pointer = step.pointer;
        return step.buttons;
    }
    void setCursor(int32_t type) override { cursors.push_back(type); }
    void pumpEvents() override { ++pumps; }

    void push(int32_t buttons, CPoint where) { script.push_back({buttons, where}); }

    CPoint origin;
    CPoint pointer;
    std::deque<ScriptStep> script;
    bool valid = true;
    int presentCount = 0;
    CRect lastPresented;
    int32_t lastPresentedWidth = 0;
    int buttonReads = 0;
    int pumps = 0;
    std::vector<int32_t> cursors;
};

class ScriptedPlatform final : public vorla::Platform
{
public:
    std::unique_ptr<vorla::PlatformWindow> createWindow(CFrame& /*frame*/, void* /*parent*/,
                                                        int32_t /*width*/,
                                                        int32_t /*height*/) override
    {
        auto window = std::make_unique<ScriptedWindow>(CPoint(300, 200));
        lastWindow = window.get();
        return window;
    }
    uint32_t tickCount() override { return ticks; }
    void sleepMs(uint32_t ms) override { ticks += ms; }

    ScriptedWindow* lastWindow = nullptr;
    uint32_t ticks = 1000;
};

/// Installs a ScriptedPlatform for the lifetime of the object.
struct ScopedScriptedPlatform
{
    ScopedScriptedPlatform() { vorla::installPlatform(&platform); }
    ~ScopedScriptedPlatform() { vorla::installPlatform(nullptr); }
    ScriptedPlatform platform;
};

/// Records what the frame forwards to the editor.
class RecordingEditor final : public VSTGUIEditorInterface
{
public:
    bool beginEdit(int32_t index) override
    {
        events.push_back({'B', index});
        return true;
    }
    bool endEdit(int32_t index) override
    {
        events.push_back({'E', index});
        return true;
    }
    /// Counts the pass; with a frame set, redraws it as the plug-in's idle does.
    void doIdleStuff() override
    {
        ++idlePasses;
        if (frame)
            frame->idle();
    }

    struct Event
    {
        char kind;
        int32_t tag;
        bool operator==(const Event&) const = default;
    };
    std::vector<Event> events;
    int idlePasses = 0;
    CFrame* frame = nullptr;
};

/// Records listener calls with the control's value at the time.
class RecordingListener final : public CControlListener
{
public:
    void valueChanged(CDrawContext* /*context*/, CControl* control) override
    {
        values.push_back(control->getValue());
        tags.push_back(control->getTag());
    }
    int32_t modifierClicked(CDrawContext* /*context*/, CControl* /*control*/,
                            int32_t buttons) override
    {
        modifierClicks.push_back(buttons);
        return handleModifiers;
    }
    std::vector<float> values;
    std::vector<int32_t> tags;
    std::vector<int32_t> modifierClicks;
    int32_t handleModifiers = 0;
};
