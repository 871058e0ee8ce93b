// SPDX-License-Identifier: GPL-3.0-or-later
// x11_clock.cpp - the toolkit's clock on Linux: monotonic milliseconds and
// sleeps from the C++ library (X11 itself has no clock to offer).
#include "gui/platform.h"

#include <chrono>
#include <thread>

namespace vorla {

uint32_t nativeTickCount()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void nativeSleepMs(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace vorla
