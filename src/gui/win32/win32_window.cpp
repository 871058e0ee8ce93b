// SPDX-License-Identifier: GPL-3.0-or-later
// win32_window.cpp - the frame's child window on Windows, the only code of
// the toolkit that talks to user32 and gdi32 about windows.
//
// How the window-system pieces of the editor map onto Win32:
//
//  - Parent window: the host passes its window as an HWND in effEditOpen's
//    pointer.  The frame creates a child of that window (WS_CHILD, visible,
//    clipping its siblings and children) of the frame's size at (0, 0).
//
//  - Window class: one per loaded copy of the module, named "Plugin%p" after
//    the module's instance handle, registered by the first frame and
//    unregistered by the last (a use count), with the arrow cursor and the
//    button-face brush.  The window's user data points to the
//    Win32PlatformWindow that turns its messages into the frame's calls.
//
//  - Paint: WM_PAINT copies the update rectangle from the frame's back buffer
//    (the in-memory BGRA raster the toolkit draws into, also on Linux) with
//    SetDIBitsToDevice; idle updates copy through GetDC.  The window is a
//    mirror of the back buffer, so it shows the same pixels as the X11
//    window and as vorla-snapshot.  WM_ERASEBKGND is answered without
//    erasing: every pixel comes from the back buffer, and erasing first
//    would make the panel flicker.
//
//  - Mouse: a button-down message is a press at the message position.  The
//    control that gets it runs its own loop until the button is released,
//    polling the live pointer (GetCursorPos) and buttons (GetAsyncKeyState,
//    the physical buttons, mapped to logical ones when the user swapped
//    them).  For the length of that loop the window captures the mouse, so
//    that the release (and every move) comes to the window that saw the
//    press rather than to whatever window of the host lies under the pointer
//    by then.  The loop lets the window repaint by taking at most one
//    WM_PAINT of the thread per idle pass (PeekMessageA/DispatchMessageA);
//    nothing else is dispatched inside a gesture, so no second gesture
//    starts within the first.
//
//  - The first read of the buttons during a press answers the state that
//    came with the press message (its MK_* flags): a quick click may already
//    be over when its message is handled, and the live state would then lose
//    it.  Later reads are live, so a drag that has ended ends at once.
//
//  - Wheel: WM_MOUSEWHEEL's signed delta / 120 is the distance in notches
//    (positive away from the user) at the message's screen position; the
//    message then goes on to default handling, which hands it to the parent,
//    so the host sees every turn as well.  The horizontal wheel changes no
//    setting and only goes on to the parent.
//
//  - Keys: a press makes the editor window the keyboard focus of the host's
//    thread, so the arrow keys reach the knob that was clicked.  WM_KEYDOWN
//    and WM_KEYUP become VST key codes (arrows, Tab, Return, Escape,
//    Backspace, plain characters; Shift, Control and Alt as modifiers); a key
//    the editor does not use, and its WM_CHAR, are posted on to the parent
//    window, so the host's shortcuts keep working.  Hosts that forward keys
//    through effEditKeyDown reach the same handling.
//
//  - Cursor: the toolkit's cursor types map onto the system cursors; the
//    chosen one is re-applied on WM_SETCURSOR over the client area (Windows
//    would otherwise put the class cursor back at the next move).
//
//  - Destroy: a host that destroys its window before effEditClose takes our
//    child with it; WM_DESTROY tells the frame (open flag false), and the
//    frame's later destruction only unregisters the class.
//
//  - Lifetime during a message: a message can run host callbacks (a gesture
//    sends audioMasterBeginEdit/Automate/EndEdit and audioMasterIdle), and a
//    host may close the editor from one of them.  Each message holds a
//    reference to the frame while the frame handles it, so the frame (and
//    with it this window) goes away only after the handling has returned.
//
//  - Drag and drop: no view of the toolkit accepts a drop, so the window is
//    not registered as a drop target (as on X11).
#include "gui/cframe.h"
#include "gui/platform.h"
#include "gui/raster.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

namespace vorla {

namespace {

// ---------------------------------------------------------------------------
// The module's window class, shared by all frames of the process.

struct WindowClass
{
    std::mutex mutex;
    int useCount = 0;
    char name[40] = {};
    HINSTANCE instance = nullptr;
    bool buttonsSwapped = false;
};

WindowClass gClass;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/// The instance handle of the module holding this code: the one the editor
/// handed to the toolkit, else found from an address inside the module.
HINSTANCE moduleInstance()
{
    if (void* module = resourceModule())
        return static_cast<HINSTANCE>(module);
    HMODULE found = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&windowProc), &found);
    return found;
}

/// Registers the class for the first user; every call counts one user.
/// False (and nothing counted) when the class cannot be registered.
bool acquireClass()
{
    std::lock_guard lock(gClass.mutex);
    if (gClass.useCount == 0)
    {
        gClass.instance = moduleInstance();
        std::snprintf(gClass.name, sizeof gClass.name, "Plugin%p",
                      static_cast<void*>(gClass.instance));
        WNDCLASSA windowClass{};
        windowClass.style = CS_GLOBALCLASS;
        windowClass.lpfnWndProc = &windowProc;
        windowClass.hInstance = gClass.instance;
        windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = gClass.name;
        if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return false;
        gClass.buttonsSwapped = GetSystemMetrics(SM_SWAPBUTTON) > 0;
    }
    ++gClass.useCount;
    return true;
}

/// Drops one user; the last one unregisters the class (its windows are
/// destroyed by then).
void releaseClass()
{
    std::lock_guard lock(gClass.mutex);
    if (gClass.useCount > 0 && --gClass.useCount == 0)
        UnregisterClassA(gClass.name, gClass.instance);
}

// ---------------------------------------------------------------------------
// Input state

bool keyDown(int virtualKey)
{
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

/// Button-state word of a mouse message's MK_* flags (logical buttons) and
/// the Alt key's state as of that message.
int32_t messageButtons(WPARAM flags)
{
    int32_t buttons = 0;
    if (flags & MK_LBUTTON)
        buttons |= kButtonLeft;
    if (flags & MK_MBUTTON)
        buttons |= kButtonMiddle;
    if (flags & MK_RBUTTON)
        buttons |= kButtonRight;
    if (flags & MK_SHIFT)
        buttons |= kModShift;
    if (flags & MK_CONTROL)
        buttons |= kModControl;
    if (GetKeyState(VK_MENU) < 0)
        buttons |= kModAlt;
    return buttons;
}

/// VST key code of a key message; false for keys the editor does not use.
bool translateKey(WPARAM virtualKey, VstKeyCode& key)
{
    key = VstKeyCode{0, 0, 0};
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    if (shift)
        key.modifier |= MODIFIER_SHIFT;
    if (GetKeyState(VK_CONTROL) < 0)
        key.modifier |= MODIFIER_CONTROL;
    if (GetKeyState(VK_MENU) < 0)
        key.modifier |= MODIFIER_ALTERNATE;

    switch (virtualKey)
    {
    case VK_LEFT: key.virt = VKEY_LEFT; return true;
    case VK_RIGHT: key.virt = VKEY_RIGHT; return true;
    case VK_UP: key.virt = VKEY_UP; return true;
    case VK_DOWN: key.virt = VKEY_DOWN; return true;
    case VK_TAB: key.virt = VKEY_TAB; return true;
    case VK_RETURN: key.virt = VKEY_RETURN; return true;
    case VK_ESCAPE: key.virt = VKEY_ESCAPE; return true;
    case VK_BACK: key.virt = VKEY_BACK; return true;
    default: break;
    }
    // The unshifted character of the key (upper case for letters); the high
    // bit marks a dead key, which gives no character of its own.
    const UINT mapped = MapVirtualKeyA(static_cast<UINT>(virtualKey), MAPVK_VK_TO_CHAR);
    if (mapped >= 0x20 && mapped < 0x7F)
    {
        int32_t c = static_cast<int32_t>(mapped);
        if (c >= 'A' && c <= 'Z' && !shift)
            c += 'a' - 'A';
        key.character = c;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// The window

class Win32PlatformWindow final : public PlatformWindow
{
public:
    explicit Win32PlatformWindow(CFrame& owner) : frame(owner) {}
    ~Win32PlatformWindow() override;

    /// Creates the child window; false when `parent` is not a window or the
    /// class or window cannot be made.
    bool create(HWND parent, int32_t width, int32_t height);

    bool isValid() const override { return window != nullptr && !destroyed; }
    void present(const Raster& backBuffer, const CRect& area) override;
    CPoint screenOrigin() override;
    CPoint pointerScreenPosition() override;
    int32_t mouseButtons() override;
    void setCursor(int32_t type) override;
    void pumpEvents() override;

    /// The window procedure's work for this window.
    LRESULT handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    /// Holds a reference to the frame while it handles one message (see the
    /// banner); the window may be gone once it is released.
    struct FrameHold
    {
        explicit FrameHold(CFrame& f) : frame(f) { frame.retain(); }
        ~FrameHold() { frame.release(); }
        FrameHold(const FrameHold&) = delete;
        FrameHold& operator=(const FrameHold&) = delete;
        CFrame& frame;
    };

    LRESULT buttonDown(HWND hwnd, WPARAM wParam, LPARAM lParam);
    LRESULT wheel(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT key(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    CFrame& frame;
    HWND window = nullptr;
    bool destroyed = false;
    bool classAcquired = false;
    HDC paintDevice = nullptr; // the WM_PAINT device while a paint is handled
    HCURSOR cursor = nullptr;  // the frame's cursor; null: the class cursor
    int32_t pressLatch = 0;    // button word of the press being handled, until first read
    bool lastKeyForwarded = false;
};

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
    {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32PlatformWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->handleMessage(window, message, wParam, lParam);
}

bool Win32PlatformWindow::create(HWND parent, int32_t width, int32_t height)
{
    if (!parent || !IsWindow(parent))
        return false;
    if (!acquireClass())
        return false;
    classAcquired = true;
    window = CreateWindowExA(0, gClass.name, "Window",
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width,
                             height, parent, nullptr, gClass.instance, this);
    return window != nullptr;
}

Win32PlatformWindow::~Win32PlatformWindow()
{
    if (window && !destroyed)
    {
        // The focus goes back to the host's window rather than to nowhere.
        if (GetFocus() == window)
            SetFocus(GetParent(window));
        if (GetCapture() == window)
            ReleaseCapture();
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    if (classAcquired)
        releaseClass();
}

void Win32PlatformWindow::present(const Raster& backBuffer, const CRect& area)
{
    if (!isValid())
        return;
    CRect shown = area;
    shown.bound(backBuffer.bounds());
    if (shown.isEmpty())
        return;
    // A DIB of exactly the rows shown: top-down (negative height), the
    // raster's full width, starting at the first row of the area.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = backBuffer.width();
    info.bmiHeader.biHeight = -shown.height();
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC device = paintDevice ? paintDevice : GetDC(window);
    if (!device)
        return;
    SetDIBitsToDevice(device, shown.left, shown.top, static_cast<DWORD>(shown.width()),
                      static_cast<DWORD>(shown.height()), shown.left, 0, 0,
                      static_cast<UINT>(shown.height()), backBuffer.row(shown.top), &info,
                      DIB_RGB_COLORS);
    if (!paintDevice)
        ReleaseDC(window, device);
}

CPoint Win32PlatformWindow::screenOrigin()
{
    POINT origin{0, 0};
    if (isValid())
        ClientToScreen(window, &origin);
    return {origin.x, origin.y};
}

CPoint Win32PlatformWindow::pointerScreenPosition()
{
    POINT pointer{0, 0};
    GetCursorPos(&pointer);
    return {pointer.x, pointer.y};
}

int32_t Win32PlatformWindow::mouseButtons()
{
    if (pressLatch != 0)
    {
        const int32_t latched = pressLatch;
        pressLatch = 0;
        return latched;
    }
    RawPointerState state;
    state.physicalLeft = keyDown(VK_LBUTTON);
    state.middle = keyDown(VK_MBUTTON);
    state.physicalRight = keyDown(VK_RBUTTON);
    state.shift = keyDown(VK_SHIFT);
    state.control = keyDown(VK_CONTROL);
    state.alt = keyDown(VK_MENU);
    return buttonStateWord(state, gClass.buttonsSwapped);
}

void Win32PlatformWindow::setCursor(int32_t type)
{
    if (!isValid())
        return;
    // IDC_* resource numbers of the system cursors.
    int id = 0;
    switch (type)
    {
    case kCursorWait: id = 32514; break;       // IDC_WAIT
    case kCursorHSize: id = 32644; break;      // IDC_SIZEWE
    case kCursorVSize: id = 32645; break;      // IDC_SIZENS
    case kCursorSizeAll: id = 32646; break;    // IDC_SIZEALL
    case kCursorNESWSize: id = 32643; break;   // IDC_SIZENESW
    case kCursorNWSESize: id = 32642; break;   // IDC_SIZENWSE
    case kCursorNotAllowed: id = 32648; break; // IDC_NO
    case kCursorHand: id = 32649; break;       // IDC_HAND
    default: break;
    }
    cursor = id != 0 ? LoadCursorA(nullptr, MAKEINTRESOURCEA(id)) : nullptr;
    SetCursor(cursor ? cursor : LoadCursorA(nullptr, MAKEINTRESOURCEA(32512))); // IDC_ARROW
}

void Win32PlatformWindow::pumpEvents()
{
    // The paint step of an idle pass: at most one pending paint message of
    // this thread (any of its windows), so that the editor and the host's
    // windows repaint while a control's loop holds the thread.  Presses,
    // keys and everything else stay queued for the host's own loop.
    MSG message;
    if (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
        DispatchMessageA(&message);
}

LRESULT Win32PlatformWindow::buttonDown(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    // Client coordinates, read as the unsigned low and high words.
    const CPoint where(LOWORD(lParam), HIWORD(lParam));
    if (GetFocus() != hwnd)
        SetFocus(hwnd);
    FrameHold hold(frame);
    SetCapture(hwnd);
    pressLatch = messageButtons(wParam);
    frame.platformButtonPress(where);
    pressLatch = 0;
    if (GetCapture() == hwnd)
        ReleaseCapture();
    return 0;
}

LRESULT Win32PlatformWindow::wheel(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOUSEWHEEL && isValid())
    {
        // The position is in screen coordinates, as signed words.
        POINT point{static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam))};
        ScreenToClient(hwnd, &point);
        const float distance = static_cast<float>(static_cast<int16_t>(HIWORD(wParam))) /
                               static_cast<float>(WHEEL_DELTA);
        FrameHold hold(frame);
        frame.platformWheel(CPoint(point.x, point.y), distance);
    }
    // Default handling passes the turn on to the parent (the host).
    return IsWindow(hwnd) ? DefWindowProcA(hwnd, message, wParam, lParam) : 0;
}

LRESULT Win32PlatformWindow::key(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND parent = GetParent(hwnd);
    if (message == WM_CHAR)
    {
        // The character of a key: it goes where its key went.
        if (lastKeyForwarded && parent)
            PostMessageA(parent, message, wParam, lParam);
        return 0;
    }
    bool forward = true;
    VstKeyCode code{};
    if (isValid() && frame.isOpen() && translateKey(wParam, code))
    {
        FrameHold hold(frame);
        const int32_t used =
            message == WM_KEYDOWN ? frame.platformKeyDown(code) : frame.platformKeyUp(code);
        forward = used != 1;
        lastKeyForwarded = forward; // the last use of this window: the hold may end it
    }
    else
        lastKeyForwarded = true;
    if (forward && parent && IsWindow(parent))
        PostMessageA(parent, message, wParam, lParam);
    return 0;
}

LRESULT Win32PlatformWindow::handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_PAINT:
    {
        PAINTSTRUCT paint;
        HDC device = BeginPaint(hwnd, &paint);
        if (device && isValid() && frame.isOpen())
        {
            const CRect area(paint.rcPaint.left, paint.rcPaint.top, paint.rcPaint.right,
                             paint.rcPaint.bottom);
            paintDevice = device;
            frame.platformPaint(area);
            paintDevice = nullptr;
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
        if (!isValid())
            return 0;
        return buttonDown(hwnd, wParam, lParam);
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL: return wheel(hwnd, message, wParam, lParam);
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR: return key(hwnd, message, wParam, lParam);
    case WM_GETDLGCODE:
        // A host whose editor window is a dialog would otherwise keep the
        // arrows and Tab for its own navigation.
        return DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
    case WM_SETCURSOR:
        if (cursor && LOWORD(lParam) == HTCLIENT)
        {
            SetCursor(cursor);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        if (!destroyed)
        {
            destroyed = true;
            frame.platformWindowDestroyed();
        }
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        window = nullptr;
        destroyed = true;
        break;
    default: break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

} // namespace

std::unique_ptr<PlatformWindow> createNativeWindow(CFrame& frame, void* parentWindow, int32_t width,
                                                   int32_t height)
{
    auto window = std::make_unique<Win32PlatformWindow>(frame);
    if (!window->create(static_cast<HWND>(parentWindow), width, height))
        return nullptr;
    return window;
}

} // namespace vorla
