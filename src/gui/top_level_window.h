// SPDX-License-Identifier: GPL-3.0-or-later
// top_level_window.h - a window of the application's own on the desktop, for
// a program that is not hosted (vorla-live): titled, closable, holding the
// frames of the editor and other panels as child windows.
//
// Implemented by the X11 platform only (gui/x11/x11_top_level.cpp); the
// Windows build has no standalone program and neither compiles nor calls it.
//
// Threads: everything on the thread that created it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vorla {

class TopLevelWindow
{
public:
    virtual ~TopLevelWindow() = default;

    /// The window's handle, to give to a frame as its parent (the frame's
    /// child window sits at (0, 0)).
    virtual void* handle() const = 0;
    /// A plain child area at (x, y) of size width x height, to give to a
    /// frame as its parent: the frame then sits there.  Null on failure.
    virtual void* addPane(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    /// Handles the window's pending events without waiting; false once the
    /// user has asked to close the window (or it was destroyed).
    virtual bool pumpEvents() = 0;
    /// The next character typed into the window (keys the panels passed on
    /// included); false when none waits.
    virtual bool takeCharacter(char& character) = 0;
};

/// A mapped top-level window titled `title` of width x height pixels, not
/// resizable; null with a one-line reason (no display) in `error`.
std::unique_ptr<TopLevelWindow> createTopLevelWindow(const char* title, int32_t width,
                                                     int32_t height, std::string& error);

} // namespace vorla
