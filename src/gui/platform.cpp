// SPDX-License-Identifier: GPL-3.0-or-later
// platform.cpp - the built-in platform: windows, ticks and sleeps from the
// platform files the build compiled in (gui/x11 or gui/win32).
#include "gui/platform.h"

#include <atomic>

namespace vorla {

namespace {

class BuiltinPlatform final : public Platform
{
public:
    std::unique_ptr<PlatformWindow> createWindow(CFrame& frame, void* parentWindow, int32_t width,
                                                 int32_t height) override
    {
        if (!parentWindow)
            return nullptr;
        return createNativeWindow(frame, parentWindow, width, height);
    }

    uint32_t tickCount() override { return nativeTickCount(); }

    void sleepMs(uint32_t milliseconds) override { nativeSleepMs(milliseconds); }
};

BuiltinPlatform gBuiltin;
Platform* gInstalled = nullptr;
std::atomic<void*> gResourceModule{nullptr};

} // namespace

int32_t buttonStateWord(const RawPointerState& state, bool buttonsSwapped)
{
    int32_t word = 0;
    const bool primary = buttonsSwapped ? state.physicalRight : state.physicalLeft;
    const bool secondary = buttonsSwapped ? state.physicalLeft : state.physicalRight;
    if (primary)
        word |= kButtonLeft;
    if (state.middle)
        word |= kButtonMiddle;
    if (secondary)
        word |= kButtonRight;
    if (state.shift)
        word |= kModShift;
    if (state.control)
        word |= kModControl;
    if (state.alt)
        word |= kModAlt;
    return word;
}

Platform& currentPlatform()
{
    return gInstalled ? *gInstalled : gBuiltin;
}

void installPlatform(Platform* platform)
{
    gInstalled = platform;
}

uint32_t platformTickCount()
{
    return currentPlatform().tickCount();
}

void platformSleepMs(uint32_t milliseconds)
{
    currentPlatform().sleepMs(milliseconds);
}

void setResourceModule(void* module)
{
    gResourceModule.store(module, std::memory_order_relaxed);
}

void* resourceModule()
{
    return gResourceModule.load(std::memory_order_relaxed);
}

} // namespace vorla
