// SPDX-License-Identifier: GPL-3.0-or-later
// win32_clock.cpp - the toolkit's clock on Windows: the system's millisecond
// tick count (GetTickCount, wrapping after 49.7 days, as the idle pass
// expects) and Sleep.
#include "gui/platform.h"

#include <windows.h>

namespace vorla {

uint32_t nativeTickCount()
{
    return GetTickCount();
}

void nativeSleepMs(uint32_t milliseconds)
{
    Sleep(milliseconds);
}

} // namespace vorla
