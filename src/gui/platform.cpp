// platform.cpp - the built-in platform: X11 windows when the backend is
// compiled in, monotonic milliseconds and sleeps from the C++ library.
#include "gui/platform.h"

#include <chrono>
#include <thread>

namespace {

class BuiltinPlatform final : public Platform
{
public:
    std::unique_ptr<PlatformWindow> createWindow(CFrame& frame, void* parentWindow, int32_t width,
                                                 int32_t height) override
    {
#ifdef VORLA_GUI_X11
        if (parentWindow)
            return createX11PlatformWindow(frame, parentWindow, width, height);
#else
        (void)frame;
        (void)parentWindow;
        (void)width;
        (void)height;
#endif
        return nullptr;
    }

    uint32_t tickCount() override
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }

    void sleepMs(uint32_t milliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

BuiltinPlatform gBuiltin;
Platform* gInstalled = nullptr;

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
