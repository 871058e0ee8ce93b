// SPDX-License-Identifier: GPL-3.0-or-later
// fake_platform.h - a window system for editor tests that need none: every
// parent handle gives a window that keeps count of what was shown, the
// pointer and buttons are whatever the test sets, and time is a counter the
// test (and the editor's sleeps) advance.
#pragma once

#include "gui/cframe.h"
#include "gui/platform.h"
#include "gui/raster.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

namespace vorla::test {

struct FakeInput
{
    CPoint pointer;
    std::deque<int32_t> buttons;       // answered one by one; the last one repeats
    std::optional<CPoint> queuedPress; // delivered by the next pumpEvents, as a window press
    int32_t nextButtons()
    {
        if (buttons.empty())
            return 0;
        const int32_t b = buttons.front();
        if (buttons.size() > 1)
            buttons.pop_front();
        return b;
    }
};

class FakeWindow final : public vorla::PlatformWindow
{
public:
    FakeWindow(CFrame& owner, FakeInput& in, std::atomic<int>& shown)
        : frame(owner), input(in), presents(shown)
    {
    }
    bool isValid() const override { return true; }
    void present(const vorla::Raster&, const CRect&) override
    {
        presents.fetch_add(1, std::memory_order_relaxed);
    }
    CPoint screenOrigin() override { return {}; }
    CPoint pointerScreenPosition() override { return input.pointer; }
    int32_t mouseButtons() override { return input.nextButtons(); }
    void setCursor(int32_t) override {}
    void pumpEvents() override
    {
        if (input.queuedPress)
        {
            const CPoint where = *input.queuedPress;
            input.queuedPress.reset();
            frame.platformButtonPress(where);
        }
    }

private:
    CFrame& frame;
    FakeInput& input;
    std::atomic<int>& presents;
};

class FakePlatform final : public vorla::Platform
{
public:
    std::unique_ptr<vorla::PlatformWindow> createWindow(CFrame& frame, void* parent, int32_t,
                                                        int32_t) override
    {
        if (!parent)
            return nullptr;
        windowsCreated.fetch_add(1, std::memory_order_relaxed);
        return std::make_unique<FakeWindow>(frame, input, presents);
    }
    uint32_t tickCount() override { return now; }
    void sleepMs(uint32_t ms) override
    {
        now += ms;
        ++sleeps;
    }

    uint32_t now = 1000;
    int sleeps = 0;
    FakeInput input;
    std::atomic<int> presents{0};
    std::atomic<int> windowsCreated{0};
};

/// Installs a FakePlatform for the scope.
struct ScopedFakePlatform
{
    ScopedFakePlatform() { vorla::installPlatform(&platform); }
    ~ScopedFakePlatform() { vorla::installPlatform(nullptr); }
    ScopedFakePlatform(const ScopedFakePlatform&) = delete;
    ScopedFakePlatform& operator=(const ScopedFakePlatform&) = delete;
    FakePlatform platform;
};

} // namespace vorla::test
