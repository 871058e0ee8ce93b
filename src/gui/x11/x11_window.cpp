// SPDX-License-Identifier: GPL-3.0-or-later
// x11_window.cpp - the frame's child window on X11, the only code of the
// plug-in that talks to Xlib.
//
// How the window-system pieces of the editor map onto X11:
//
//  - Parent window: on Linux the host passes its window as an X11 `Window`
//    id in effEditOpen's pointer.  The frame creates a child of that window,
//    of the frame's size at (0, 0), with the parent's depth and visual.
//
//  - Connection: every frame opens its OWN display connection and closes it
//    with the window.  The host's connection is never used, and nothing
//    process-wide ties two plug-in instances (or the host's threads) to one
//    Display, so neither XInitThreads nor any lock around Xlib is needed:
//    each connection is used only by the thread that created the frame.
//
//  - Window class and its use count: X11 has no window classes.  What the
//    class registration did for the module - a process-wide resource set up
//    by the first frame and torn down by the last - is here the X error
//    handler (below), installed when the module's first window is created and
//    removed when its last one goes, so that an unloaded module leaves no
//    handler of its own behind in the host.
//
//  - Errors: Xlib reports protocol errors (BadWindow for a parent the host
//    has already destroyed, BadDrawable for a paint that races the
//    destruction) through one process-wide handler whose default prints a
//    message and exits the process.  Ours swallows every error raised on one
//    of our own connections (remembering it for the frame that caused it)
//    and hands errors of other connections - the host's - to the handler
//    that was installed before ours.
//
//  - Destroy message: when the host destroys its window before effEditClose,
//    the server destroys our child with it and sends DestroyNotify; the
//    window then stops drawing and the frame is told (open flag false).
//    Until the notification is read, requests on the dead window only raise
//    errors that the handler above swallows.
//
//  - Paint: Expose events, merged while the server says more follow
//    (count > 0), repaint the exposed area from the frame's back buffer with
//    XPutImage of a ZPixmap XImage.  The back buffer is the only drawing
//    surface; the window is a mirror of it.
//
//  - Mouse: ButtonPress of buttons 1-3 is a press at the event position;
//    buttons 4/5 are one wheel notch up/down (+1/-1 on the vertical axis)
//    and 6/7 one notch left/right on the horizontal axis.  Button release and
//    motion are not selected: a control tracks a drag by polling the pointer
//    (XQueryPointer) from its own loop.
//
//  - Live button state: XQueryPointer's mask.  Swapped mouse buttons are,
//    on X11, a pointer mapping (XSetPointerMapping / XGetPointerMapping), and
//    the server applies it before it reports anything: event button numbers
//    and state masks are logical, so on a left-handed mapping the physical
//    right button already arrives as Button1.  That is what the toolkit
//    wants (the primary button is kButtonLeft whichever physical button it
//    is), so the mapping needs no reading and nothing is swapped again - the
//    counterpart of the swapped-buttons flag is the server's own mapping.
//
//  - Keys: KeyPress / KeyRelease become VST key codes (arrows, Tab, Return,
//    Escape, Backspace and plain characters) with Shift, Control and Alt as
//    modifiers.  The window never takes the keyboard focus: while the host's
//    window has it and the pointer is over the editor, the server reports
//    keys to the editor's window (the pointer window inside the focus
//    window).  A key the editor does not use - the host's transport on the
//    space bar, its shortcuts - is sent on to the parent window
//    (XSendEvent, propagating to whichever ancestor wants keys), so hovering
//    the editor never swallows the host's keys.  Hosts that forward keys
//    through effEditKeyDown reach the same handling.
//
//  - Cursors: XCreateFontCursor shapes for the toolkit's cursor types,
//    created on first use, freed with the window; the default restores the
//    parent's cursor (XUndefineCursor).
//
//  - Events are read without blocking (XPending / XNextEvent only when
//    something is queued), from the host's effEditIdle and from the idle
//    requests of the controls' drag loops.
//
//  - Drag and drop (XDND) is not implemented: no view of the editor accepts
//    a drop, so the window does not advertise XdndAware.
#include "gui/cframe.h"
#include "gui/platform.h"
#include "gui/raster.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vorla {

namespace {

// ---------------------------------------------------------------------------
// The module's error handler and the connections it covers.

struct OurConnection
{
    Display* display;
    int lastError; // error code of the last error seen on it, 0 when none
};

std::mutex gConnectionsMutex; // guards the three below (UI threads only)
std::vector<OurConnection> gConnections;
XErrorHandler gPreviousHandler = nullptr;

int handleXError(Display* display, XErrorEvent* event)
{
    XErrorHandler previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(gConnectionsMutex);
        for (OurConnection& connection : gConnections)
            if (connection.display == display)
            {
                connection.lastError = event->error_code;
                return 0;
            }
        previous = gPreviousHandler;
    }
    return previous ? previous(display, event) : 0;
}

/// Adds a connection; the first one installs the handler.
void registerConnection(Display* display)
{
    std::lock_guard<std::mutex> lock(gConnectionsMutex);
    if (gConnections.empty())
        gPreviousHandler = XSetErrorHandler(&handleXError);
    gConnections.push_back({display, 0});
}

/// Removes a connection; the last one puts the previous handler back, unless
/// somebody installed another handler after ours (then theirs stays).
void unregisterConnection(Display* display)
{
    std::lock_guard<std::mutex> lock(gConnectionsMutex);
    std::erase_if(gConnections, [display](const OurConnection& c) { return c.display == display; });
    if (gConnections.empty())
    {
        XErrorHandler current = XSetErrorHandler(gPreviousHandler);
        if (current != &handleXError)
            XSetErrorHandler(current);
        gPreviousHandler = nullptr;
    }
}

/// Answers and clears the last error seen on `display`.
int takeError(Display* display)
{
    std::lock_guard<std::mutex> lock(gConnectionsMutex);
    for (OurConnection& connection : gConnections)
        if (connection.display == display)
        {
            const int code = connection.lastError;
            connection.lastError = 0;
            return code;
        }
    return 0;
}

// ---------------------------------------------------------------------------
// Keys

/// VST key code of an X key event; false for keys the editor does not use.
bool translateKey(XKeyEvent& event, VstKeyCode& key)
{
    char text[8] = {};
    KeySym sym = NoSymbol;
    const int length = XLookupString(&event, text, sizeof text, &sym, nullptr);

    key = VstKeyCode{0, 0, 0};
    if (event.state & ShiftMask)
        key.modifier |= MODIFIER_SHIFT;
    if (event.state & ControlMask)
        key.modifier |= MODIFIER_CONTROL;
    if (event.state & Mod1Mask)
        key.modifier |= MODIFIER_ALTERNATE;

    switch (sym)
    {
    case XK_Left:
    case XK_KP_Left: key.virt = VKEY_LEFT; return true;
    case XK_Right:
    case XK_KP_Right: key.virt = VKEY_RIGHT; return true;
    case XK_Up:
    case XK_KP_Up: key.virt = VKEY_UP; return true;
    case XK_Down:
    case XK_KP_Down: key.virt = VKEY_DOWN; return true;
    case XK_Tab:
    case XK_ISO_Left_Tab: // Shift+Tab on most keymaps
        key.virt = VKEY_TAB;
        return true;
    case XK_Return:
    case XK_KP_Enter: key.virt = VKEY_RETURN; return true;
    case XK_Escape: key.virt = VKEY_ESCAPE; return true;
    case XK_BackSpace: key.virt = VKEY_BACK; return true;
    default: break;
    }
    if (length == 1 && static_cast<unsigned char>(text[0]) >= 0x20 &&
        static_cast<unsigned char>(text[0]) < 0x7F)
    {
        key.character = text[0];
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// The window

class X11PlatformWindow final : public PlatformWindow
{
public:
    X11PlatformWindow(CFrame& owner, Display* connection) : frame(owner), display(connection) {}
    ~X11PlatformWindow() override;

    /// Creates the child window; false when the parent is not a window.
    bool create(Window parent, int32_t width, int32_t height);

    bool isValid() const override { return window != 0 && !destroyed; }
    void present(const Raster& backBuffer, const CRect& area) override;
    CPoint screenOrigin() override;
    CPoint pointerScreenPosition() override;
    int32_t mouseButtons() override;
    void setCursor(int32_t type) override;
    void pumpEvents() override;
    void* nativeHandle() const override
    {
        return reinterpret_cast<void*>(static_cast<uintptr_t>(window));
    }

private:
    void handleEvent(XEvent& event);
    /// Hands a key the editor did not use to the host's window.
    void forwardKey(const XEvent& event);
    /// Passes a wheel button press on to the host's window.
    void forwardButton(const XEvent& event);
    bool queryPointer(int& rootX, int& rootY, unsigned int& mask);
    /// Converts `area` of the back buffer into the XImage's pixel format.
    void convert(const Raster& backBuffer, const CRect& area);

    CFrame& frame;
    Display* display;
    Window parentWindow = 0;
    Window window = 0;
    bool destroyed = false;
    GC gc = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    XImage* image = nullptr;
    std::vector<char> imageBytes; // the XImage's pixels (owned here, not by Xlib)
    int redShift = 16, greenShift = 8, blueShift = 0;
    bool direct32 = false;   // 32 bits per pixel, 8-bit channels: one store per pixel
    uint32_t opaqueBits = 0; // alpha bits of a 32-deep (ARGB) visual: always opaque
    std::array<Cursor, 16> cursors{};
    CPoint lastPointer;
    unsigned int lastMask = 0;
    int32_t pressLatch = 0; // button word of the press being dispatched, until first read
    int32_t pressDepth = 0; // > 0 while a press (and its mouse loop) is dispatched
    CRect pendingExpose;    // merged Expose areas until count == 0
    bool exposePending = false;
};

/// Button-state word of an X state mask (buttons and modifiers).
int32_t buttonWord(unsigned int mask)
{
    int32_t buttons = 0;
    if (mask & Button1Mask)
        buttons |= kButtonLeft;
    if (mask & Button2Mask)
        buttons |= kButtonMiddle;
    if (mask & Button3Mask)
        buttons |= kButtonRight;
    if (mask & ShiftMask)
        buttons |= kModShift;
    if (mask & ControlMask)
        buttons |= kModControl;
    if (mask & Mod1Mask)
        buttons |= kModAlt;
    return buttons;
}

int lowestBit(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1))
    {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

bool X11PlatformWindow::create(Window parent, int32_t width, int32_t height)
{
    XSync(display, False);
    takeError(display);

    XWindowAttributes parentAttributes{};
    if (parent == 0 || !XGetWindowAttributes(display, parent, &parentAttributes))
    {
        takeError(display);
        return false;
    }
    visual = parentAttributes.visual;
    depth = parentAttributes.depth;
    parentWindow = parent;

    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None; // the back buffer paints every pixel
    attributes.event_mask =
        ExposureMask | ButtonPressMask | KeyPressMask | KeyReleaseMask | StructureNotifyMask;
    window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(std::max(1, width)),
                           static_cast<unsigned>(std::max(1, height)), 0, CopyFromParent,
                           InputOutput, CopyFromParent, CWBackPixmap | CWEventMask, &attributes);
    XSync(display, False);
    if (takeError(display) != 0 || window == 0)
    {
        if (window != 0)
            XDestroyWindow(display, window);
        window = 0;
        XSync(display, False);
        takeError(display);
        return false;
    }
    XStoreName(display, window, "Window");
    gc = XCreateGC(display, window, 0, nullptr);

    // One image the size of the frame, reused for every paint.
    const int w = std::max(1, width);
    const int h = std::max(1, height);
    image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                         static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
    if (image)
    {
        imageBytes.assign(static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(h), 0);
        image->data = imageBytes.data();
        redShift = lowestBit(visual->red_mask);
        greenShift = lowestBit(visual->green_mask);
        blueShift = lowestBit(visual->blue_mask);
        direct32 = image->bits_per_pixel == 32 && (visual->red_mask >> redShift) == 0xFF &&
                   (visual->green_mask >> greenShift) == 0xFF &&
                   (visual->blue_mask >> blueShift) == 0xFF;
        if (depth == 32)
            opaqueBits =
                ~static_cast<uint32_t>(visual->red_mask | visual->green_mask | visual->blue_mask);
    }

    XMapWindow(display, window);
    XSync(display, False);
    if (takeError(display) != 0)
        destroyed = true; // the parent went away while we were building
    return true;
}

X11PlatformWindow::~X11PlatformWindow()
{
    if (image)
    {
        image->data = nullptr; // the pixels belong to imageBytes
        XDestroyImage(image);
    }
    if (window != 0)
    {
        // After the parent's destruction the window is already gone: the
        // BadWindow of this request goes to our handler and is ignored.
        if (!destroyed)
            XDestroyWindow(display, window);
        for (Cursor cursor : cursors)
            if (cursor != 0)
                XFreeCursor(display, cursor);
    }
    if (gc)
        XFreeGC(display, gc);
    XSync(display, False);
    unregisterConnection(display);
    XCloseDisplay(display);
}

void X11PlatformWindow::convert(const Raster& backBuffer, const CRect& area)
{
    for (int32_t y = area.top; y < area.bottom; ++y)
    {
        const uint8_t* source = backBuffer.row(y) + static_cast<size_t>(area.left) * 4;
        if (direct32)
        {
            auto* target = reinterpret_cast<uint32_t*>(image->data + static_cast<size_t>(y) *
                                                                         image->bytes_per_line) +
                           area.left;
            for (int32_t x = area.left; x < area.right; ++x, source += 4)
                *target++ = opaqueBits | (static_cast<uint32_t>(source[2]) << redShift) |
                            (static_cast<uint32_t>(source[1]) << greenShift) |
                            (static_cast<uint32_t>(source[0]) << blueShift);
        }
        else
        {
            // Other visuals (16-bit and the like): scale each channel to its mask.
            for (int32_t x = area.left; x < area.right; ++x, source += 4)
            {
                auto scale = [](uint8_t v, unsigned long mask, int shift) {
                    const unsigned long width = mask >> shift;
                    return ((static_cast<unsigned long>(v) * width + 127) / 255) << shift;
                };
                XPutPixel(image, x, y,
                          scale(source[2], visual->red_mask, redShift) |
                              scale(source[1], visual->green_mask, greenShift) |
                              scale(source[0], visual->blue_mask, blueShift));
            }
        }
    }
}

void X11PlatformWindow::present(const Raster& backBuffer, const CRect& area)
{
    if (!isValid() || !image)
        return;
    CRect shown = area;
    shown.bound(backBuffer.bounds());
    shown.bound(CRect(0, 0, image->width, image->height));
    if (shown.isEmpty())
        return;
    convert(backBuffer, shown);
    XPutImage(display, window, gc, image, shown.left, shown.top, shown.left, shown.top,
              static_cast<unsigned>(shown.width()), static_cast<unsigned>(shown.height()));
    XFlush(display);
}

bool X11PlatformWindow::queryPointer(int& rootX, int& rootY, unsigned int& mask)
{
    if (!isValid())
        return false;
    Window root = 0, child = 0;
    int windowX = 0, windowY = 0;
    return XQueryPointer(display, window, &root, &child, &rootX, &rootY, &windowX, &windowY,
                         &mask) != 0;
}

CPoint X11PlatformWindow::screenOrigin()
{
    if (!isValid())
        return {};
    Window child = 0;
    int x = 0, y = 0;
    if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child))
        return {};
    return {x, y};
}

CPoint X11PlatformWindow::pointerScreenPosition()
{
    int x = 0, y = 0;
    unsigned int mask = 0;
    if (queryPointer(x, y, mask))
    {
        lastPointer = CPoint(x, y);
        lastMask = mask;
    }
    return lastPointer;
}

int32_t X11PlatformWindow::mouseButtons()
{
    // The first read while a press is dispatched answers the state of the
    // press itself.  Events are read at the host's idle rate, so a quick
    // click has often been released by the time its press is handled; the
    // live state would then lose the click.  Later reads (a drag loop's
    // polling) are live, so a drag that has already ended ends at once.
    if (pressLatch != 0)
    {
        const int32_t latched = pressLatch;
        pressLatch = 0;
        return latched;
    }
    int x = 0, y = 0;
    unsigned int mask = 0;
    if (!queryPointer(x, y, mask))
        return 0; // no window (any more): no button can be held on it
    lastPointer = CPoint(x, y);
    lastMask = mask;
    return buttonWord(mask);
}

void X11PlatformWindow::setCursor(int32_t type)
{
    if (!isValid())
        return;
    unsigned int shape = 0;
    switch (type)
    {
    case kCursorWait: shape = XC_watch; break;
    case kCursorHSize: shape = XC_sb_h_double_arrow; break;
    case kCursorVSize: shape = XC_sb_v_double_arrow; break;
    case kCursorSizeAll: shape = XC_fleur; break;
    case kCursorNESWSize: shape = XC_top_right_corner; break;
    case kCursorNWSESize: shape = XC_top_left_corner; break;
    case kCursorNotAllowed: shape = XC_X_cursor; break;
    case kCursorHand: shape = XC_hand2; break;
    default:
        XUndefineCursor(display, window);
        XFlush(display);
        return;
    }
    Cursor& cursor = cursors[static_cast<size_t>(type) % cursors.size()];
    if (cursor == 0)
        cursor = XCreateFontCursor(display, shape);
    XDefineCursor(display, window, cursor);
    XFlush(display);
}

Bool isRepaintOrDestruction(Display*, XEvent* event, XPointer window)
{
    return (event->type == Expose || event->type == DestroyNotify) &&
           event->xany.window == *reinterpret_cast<Window*>(window);
}

void X11PlatformWindow::pumpEvents()
{
    if (pressDepth > 0)
    {
        // Inside a press's mouse loop (a knob drag, a button's redraw): only
        // repaints and the window's destruction are handled; keys, wheel and
        // further presses stay queued until the gesture has ended, so that
        // no second gesture starts inside the first.  XCheckIfEvent reads
        // what has arrived without waiting.
        XEvent event;
        while (window != 0 && XCheckIfEvent(display, &event, &isRepaintOrDestruction,
                                            reinterpret_cast<XPointer>(&window)))
            handleEvent(event);
        return;
    }
    // XPending flushes the output and reads what the server sent, without
    // waiting; XNextEvent then never blocks.
    while (window != 0 && XPending(display) > 0)
    {
        XEvent event;
        XNextEvent(display, &event);
        handleEvent(event);
    }
}

void X11PlatformWindow::forwardButton(const XEvent& event)
{
    // As for keys: the parent gets the event at the same coordinates.
    XEvent copy = event;
    copy.xbutton.window = parentWindow;
    copy.xbutton.subwindow = window;
    XSendEvent(display, parentWindow, True, ButtonPressMask, &copy);
    XFlush(display);
}

void X11PlatformWindow::forwardKey(const XEvent& event)
{
    // The child sits at (0, 0) of the parent: the coordinates stay as they are.
    XEvent copy = event;
    copy.xkey.window = parentWindow;
    copy.xkey.subwindow = window;
    const long mask = event.type == KeyPress ? KeyPressMask : KeyReleaseMask;
    XSendEvent(display, parentWindow, True, mask, &copy);
    XFlush(display);
}

void X11PlatformWindow::handleEvent(XEvent& event)
{
    if (event.xany.window != window)
        return;
    switch (event.type)
    {
    case Expose:
    {
        const CRect area(event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                         event.xexpose.y + event.xexpose.height);
        if (!exposePending)
            pendingExpose = area;
        else
        {
            pendingExpose.left = std::min(pendingExpose.left, area.left);
            pendingExpose.top = std::min(pendingExpose.top, area.top);
            pendingExpose.right = std::max(pendingExpose.right, area.right);
            pendingExpose.bottom = std::max(pendingExpose.bottom, area.bottom);
        }
        exposePending = true;
        if (event.xexpose.count == 0 && isValid())
        {
            exposePending = false;
            frame.platformPaint(pendingExpose);
        }
        break;
    }
    case ButtonPress:
    {
        if (!isValid())
            break;
        const CPoint where(event.xbutton.x, event.xbutton.y);
        switch (event.xbutton.button)
        {
        case Button1:
        case Button2:
        case Button3:
            // The event's state is from just before the press: add the
            // pressed button itself.
            pressLatch =
                buttonWord(event.xbutton.state | (Button1Mask << (event.xbutton.button - Button1)));
            ++pressDepth;
            frame.platformButtonPress(where);
            --pressDepth;
            pressLatch = 0;
            break;
        case Button4:
        case Button5:
            // One notch of the vertical wheel; a turn no control takes
            // (over the panel, or over a knob that cannot move) scrolls the
            // host's window as if the editor were not there.
            if (!frame.platformWheel(where, event.xbutton.button == Button4 ? 1.f : -1.f) &&
                isValid())
                forwardButton(event);
            break;
        case 6:
        case 7:
            // The horizontal wheel (a sideways swipe on a touchpad) changes
            // no setting: it goes to the host's window.
            forwardButton(event);
            break;
        default: break;
        }
        break;
    }
    case KeyPress:
    case KeyRelease:
    {
        // A frame that was closed while its events were being handled
        // (its window still exists until that handling returns) takes no keys.
        VstKeyCode key{};
        int32_t used = -1;
        if (isValid() && frame.isOpen() && translateKey(event.xkey, key))
            used = event.type == KeyPress ? frame.platformKeyDown(key) : frame.platformKeyUp(key);
        if (used != 1 && isValid())
            forwardKey(event);
        break;
    }
    case DestroyNotify:
        if (event.xdestroywindow.window == window && !destroyed)
        {
            destroyed = true;
            frame.platformWindowDestroyed();
        }
        break;
    default: break;
    }
}

} // namespace

std::unique_ptr<PlatformWindow> createNativeWindow(CFrame& frame, void* parentWindow, int32_t width,
                                                   int32_t height)
{
    // The frame's own connection, to the display named by the environment
    // (the host's display: the parent window lives there).  A server busy
    // with many connections coming and going can reset a new one during its
    // setup; a couple of quick retries ride that out.
    Display* display = nullptr;
    for (int attempt = 0; attempt < 3 && !display; ++attempt)
    {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        display = XOpenDisplay(nullptr);
    }
    if (!display)
        return nullptr;
    registerConnection(display);
    auto window = std::make_unique<X11PlatformWindow>(frame, display);
    if (!window->create(static_cast<Window>(reinterpret_cast<uintptr_t>(parentWindow)), width,
                        height))
        return nullptr; // the destructor closes the connection
    return window;
}

} // namespace vorla
