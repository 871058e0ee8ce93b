// SPDX-License-Identifier: GPL-3.0-or-later
// x11_top_level.cpp - the application's top-level window on X11.
//
// One display connection of its own (as every frame has), used only by the
// thread that made the window.  The window manager learns the title
// (WM_NAME and _NET_WM_NAME), a fixed size (WM_NORMAL_HINTS with equal
// minimum and maximum) and that we take WM_DELETE_WINDOW: closing the window
// is a message to us, not the end of the connection.  The panels are child
// windows of their own (addPane), each the parent of a frame.  Keys that the
// frames did not use are sent on to their parent (see x11_window.cpp) and
// arrive here as KeyPress events.
#include "gui/top_level_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

namespace vorla {

namespace {

class X11TopLevelWindow final : public TopLevelWindow
{
public:
    explicit X11TopLevelWindow(Display* connection) : display(connection) {}
    ~X11TopLevelWindow() override
    {
        if (window != 0)
            XDestroyWindow(display, window);
        XCloseDisplay(display);
    }

    bool create(const char* title, int32_t width, int32_t height)
    {
        const int screen = DefaultScreen(display);
        XSetWindowAttributes attributes{};
        attributes.background_pixel = BlackPixel(display, screen);
        attributes.event_mask = KeyPressMask | StructureNotifyMask;
        window =
            XCreateWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWBackPixel | CWEventMask, &attributes);
        if (window == 0)
            return false;
        XStoreName(display, window, title);
        const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(title),
                        static_cast<int>(std::strlen(title)));
        XClassHint classHint{};
        char resourceName[] = "vorla-live";
        char resourceClass[] = "Vorla";
        classHint.res_name = resourceName;
        classHint.res_class = resourceClass;
        XSetClassHint(display, window, &classHint);
        XSizeHints* size = XAllocSizeHints();
        if (size != nullptr)
        {
            size->flags = PMinSize | PMaxSize;
            size->min_width = size->max_width = width;
            size->min_height = size->max_height = height;
            XSetWMNormalHints(display, window, size);
            XFree(size);
        }
        XWMHints* hints = XAllocWMHints();
        if (hints != nullptr)
        {
            hints->flags = InputHint;
            hints->input = True;
            XSetWMHints(display, window, hints);
            XFree(hints);
        }
        deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, window, &deleteWindow, 1);
        XMapWindow(display, window);
        XSync(display, False);
        return true;
    }

    void* handle() const override
    {
        return reinterpret_cast<void*>(static_cast<uintptr_t>(window));
    }

    void* addPane(int32_t x, int32_t y, int32_t width, int32_t height) override
    {
        if (window == 0 || closed)
            return nullptr;
        XSetWindowAttributes attributes{};
        attributes.event_mask = KeyPressMask;
        const Window pane = XCreateWindow(display, window, x, y, static_cast<unsigned>(width),
                                          static_cast<unsigned>(height), 0, CopyFromParent,
                                          InputOutput, CopyFromParent, CWEventMask, &attributes);
        if (pane == 0)
            return nullptr;
        XMapWindow(display, pane);
        XSync(display, False);
        return reinterpret_cast<void*>(static_cast<uintptr_t>(pane));
    }

    bool pumpEvents() override
    {
        while (!closed && XPending(display) > 0)
        {
            XEvent event;
            XNextEvent(display, &event);
            switch (event.type)
            {
            case ClientMessage:
                if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow)
                    closed = true;
                break;
            case DestroyNotify:
                if (event.xdestroywindow.window == window)
                {
                    closed = true;
                    window = 0;
                }
                break;
            case KeyPress:
            {
                char text[8] = {};
                KeySym sym = NoSymbol;
                const int length = XLookupString(&event.xkey, text, sizeof text, &sym, nullptr);
                if (length == 1)
                    typed.push_back(text[0]);
                break;
            }
            default: break;
            }
        }
        return !closed;
    }

    bool takeCharacter(char& character) override
    {
        if (typed.empty())
            return false;
        character = typed.front();
        typed.pop_front();
        return true;
    }

private:
    Display* display;
    Window window = 0;
    Atom deleteWindow = 0;
    bool closed = false;
    std::deque<char> typed;
};

} // namespace

std::unique_ptr<TopLevelWindow> createTopLevelWindow(const char* title, int32_t width,
                                                     int32_t height, std::string& error)
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
    {
        const char* name = std::getenv("DISPLAY");
        error = name != nullptr && name[0] != '\0'
                    ? "cannot open the X display '" + std::string(name) + "'"
                    : std::string("no X display (DISPLAY is not set)");
        return nullptr;
    }
    auto window = std::make_unique<X11TopLevelWindow>(display);
    if (!window->create(title, width, height))
    {
        error = "the X server refused a window";
        return nullptr;
    }
    return window;
}

} // namespace vorla
