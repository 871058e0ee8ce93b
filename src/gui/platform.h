// SPDX-License-Identifier: GPL-3.0-or-later
// platform.h - what the toolkit needs from the window system, kept free of any
// window-system type.  One implementation per platform, chosen by the build:
// gui/x11 (Linux; the only code that includes Xlib) or gui/win32 (Windows; the
// only code that includes windows.h), and a scripted one in the tests.
//
// Two levels:
//  - Platform: process-wide services (windows, time).  The built-in one asks
//    the platform files below for a window when a parent window is given, and
//    otherwise makes none, in which case a frame works windowless and only
//    draws into its back buffer (the snapshot tool relies on that).  Tests
//    install their own with installPlatform().
//  - PlatformWindow: the frame's child window inside the host's window.  It
//    turns the window system's events into calls of the frame's platform entry
//    points (CFrame::platformPaint, platformButtonPress, platformWheel,
//    platformKeyDown, platformKeyUp, platformWindowDestroyed).
//
// Threads: everything here runs on the thread that created the frame (the
// host's user-interface thread).
#pragma once

#include "gui/gui_types.h"

#include <cstdint>
#include <memory>

class CFrame;

namespace vorla {

class Raster;

/// Live input state as the window system reports it, physical buttons.
struct RawPointerState
{
    bool physicalLeft = false;
    bool middle = false;
    bool physicalRight = false;
    bool shift = false;
    bool control = false;
    bool alt = false;
};

/// The button-state word for `state`.  With `buttonsSwapped` (a left-handed
/// mouse set up in the window system, when it does not already report the
/// primary button as its first) the physical left button reports
/// kButtonRight and the physical right one kButtonLeft.  kModCommand is never
/// set.
int32_t buttonStateWord(const RawPointerState& state, bool buttonsSwapped);

class PlatformWindow
{
public:
    virtual ~PlatformWindow() = default;

    /// True when the window exists (creation succeeded and it was not destroyed).
    virtual bool isValid() const = 0;

    /// Copies `area` (frame coordinates, clipped to the raster) of the frame's
    /// back buffer to the same place in the window.
    virtual void present(const Raster& backBuffer, const CRect& area) = 0;

    /// Screen position of the window's top-left corner.
    virtual CPoint screenOrigin() = 0;

    /// Live pointer position in screen coordinates.
    virtual CPoint pointerScreenPosition() = 0;

    /// Live button and modifier state as a button-state word: kButtonLeft,
    /// kButtonMiddle, kButtonRight, kModShift, kModControl, kModAlt (never
    /// kModCommand).  With swapped mouse buttons the physical left button
    /// reports kButtonRight and the physical right one kButtonLeft.
    virtual int32_t mouseButtons() = 0;

    /// Cursor of the window: one of CCursorType; any other type restores the
    /// default cursor.
    virtual void setCursor(int32_t type) = 0;

    /// Non-blocking: handles the window's pending events by calling the
    /// frame's platform entry points, then returns.  Called by CFrame::idle and
    /// by CFrame::dispatchPendingEvents (the editor's idle pass).
    virtual void pumpEvents() = 0;

    /// The window system's own handle of the window (X11: its Window id cast
    /// to void*), for a host that must be told which window is the editor's
    /// (an LV2 X11 UI's widget); null when the platform has none to give.
    virtual void* nativeHandle() const { return nullptr; }
};

class Platform
{
public:
    virtual ~Platform() = default;

    /// The child window for `frame` inside `parentWindow` (an opaque handle; on
    /// X11 the parent's Window id cast to void*), size width x height at (0, 0).
    /// Null means no window: the frame then draws only into its back buffer.
    virtual std::unique_ptr<PlatformWindow> createWindow(CFrame& frame, void* parentWindow,
                                                         int32_t width, int32_t height) = 0;

    /// Milliseconds from an arbitrary start, wrapping at 2^32.
    virtual uint32_t tickCount() = 0;

    /// Sleeps the calling thread.
    virtual void sleepMs(uint32_t milliseconds) = 0;
};

/// The platform in force: the installed one, else the built-in one.
Platform& currentPlatform();

/// Installs a platform (tests); null restores the built-in one.  Not owned.
void installPlatform(Platform* platform);

/// Shorthands for currentPlatform().tickCount() / sleepMs().
uint32_t platformTickCount();
void platformSleepMs(uint32_t milliseconds);

/// The module whose resources hold the editor's images: the library the
/// toolkit is linked into (Windows: its HINSTANCE, which the editor takes
/// from the library's load notification).  Process-wide; set before the
/// first bitmap is loaded.  The Linux build compiles the images in and does
/// not use it.
void setResourceModule(void* module);
void* resourceModule();

// --- Implemented once per platform ---------------------------------------------
// gui/x11 on Linux, gui/win32 on Windows; the build compiles exactly one of
// them into the toolkit.

/// The frame's child window inside `parentWindow` (X11: the parent's Window
/// id; Windows: its HWND), or null when no window can be made there (no
/// display, a parent that is not a window, or no parent at all).
std::unique_ptr<PlatformWindow> createNativeWindow(CFrame& frame, void* parentWindow, int32_t width,
                                                   int32_t height);

/// The platform's millisecond clock, wrapping at 2^32.
uint32_t nativeTickCount();

/// Sleeps the calling thread.
void nativeSleepMs(uint32_t milliseconds);

} // namespace vorla
