// SPDX-License-Identifier: GPL-3.0-or-later
// The editor of vorla.dll in a Win32 window (Windows build only; run under
// Wine), driven the way a Windows host drives it: the test host creates a
// top-level window, passes its HWND to effEditOpen, runs a message loop with
// effEditIdle on its UI thread, and moves the one pointer and presses
// buttons and keys with synthetic input (SetCursorPos, SendInput), which
// Windows delivers like the user's.  The drawn pixels are compared with the
// Linux build's vorla-snapshot of the same settings (fixture
// linux_reference).
#include "click_targets.h"
#include "gesture_checks.h"
#include "host/loaded_plugin.h"

#include <gtest/gtest.h>

#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using vorla::host::HostCall;
using vorla::host::PluginInstance;

namespace {

constexpr int32_t kWidth = 660;
constexpr int32_t kHeight = 250;
constexpr const char* kHostClass = "VorlaTestHostWindow";

/// An RGB image (0x00RRGGBB per pixel).
struct Image
{
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

long differingPixels(const Image& a, const Image& b)
{
    if (a.width != b.width || a.height != b.height || a.pixels.empty())
        return static_cast<long>(std::max(a.pixels.size(), b.pixels.size())) + 1;
    long n = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        n += a.pixels[i] != b.pixels[i];
    return n;
}

/// The Linux build's picture of the editor named `name` (see
/// tests/linux_reference.cmake), decoded with WIC.
Image linuxSnapshot(const std::string& name)
{
    Image image;
    const std::string path = std::string(VORLA_LINUX_REFERENCE_DIR) + "/editor-" + name + ".png";
    std::wstring widePath(path.begin(), path.end());
    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    UINT w = 0, h = 0;
    std::vector<uint8_t> bgra;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&w, &h)) &&
        SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA,
                                        WICBitmapDitherTypeNone, nullptr, 0.0,
                                        WICBitmapPaletteTypeCustom)))
    {
        bgra.resize(static_cast<size_t>(w) * h * 4);
        if (SUCCEEDED(
                converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(bgra.size()), bgra.data())))
        {
            image.width = static_cast<int>(w);
            image.height = static_cast<int>(h);
            for (size_t i = 0; i < bgra.size(); i += 4)
                image.pixels.push_back(uint32_t{bgra[i + 2]} << 16 | uint32_t{bgra[i + 1]} << 8 |
                                       bgra[i]);
        }
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{converter, frame, decoder, factory})
        if (object)
            object->Release();
    EXPECT_FALSE(image.pixels.empty()) << "cannot read " << path;
    return image;
}

/// What the screen shows of `window`'s client area.
Image screenshot(HWND window)
{
    Image image;
    if (!window)
        return image;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, kWidth, kHeight, source, 0, 0, SRCCOPY))
    {
        GdiFlush();
        image.width = kWidth;
        image.height = kHeight;
        const auto* p = static_cast<const uint32_t*>(bits);
        image.pixels.assign(p, p + kWidth * kHeight);
        for (uint32_t& pixel : image.pixels)
            pixel &= 0x00FFFFFF;
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return image;
}

void sendMouse(DWORD flags, DWORD data = 0)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    input.mi.mouseData = data;
    SendInput(1, &input, sizeof input);
}

void sendKey(WORD virtualKey, bool down)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
}

/// Screen position of frame pixel (x, y) of the editor.
POINT onScreen(HWND editor, int x, int y)
{
    POINT point{x, y};
    ClientToScreen(editor, &point);
    return point;
}

/// The host's window procedure: records the keys and wheel turns the editor
/// passes on.
struct HostWindowLog
{
    std::vector<WPARAM> keysDown;
    int wheelTurns = 0;
};
HostWindowLog gHostLog;

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN)
        gHostLog.keysDown.push_back(wParam);
    if (message == WM_MOUSEWHEEL)
        ++gHostLog.wheelTurns;
    return DefWindowProcA(window, message, wParam, lParam);
}

class Win32Editor : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &hostWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
        windowClass.lpszClassName = kHostClass;
        RegisterClassA(&windowClass);
    }

    void SetUp() override
    {
        gHostLog = HostWindowLog{};
        parent = makeParent();
        ASSERT_NE(parent, nullptr);
        plugin = vorla::test::createEffect([this](const HostCall& call) {
            if (hook)
                hook(call);
            return PluginInstance::defaultAnswer(call);
        });
        // Start every case with no button held and the pointer off the editor.
        SetCursorPos(kWidth + 100, kHeight + 100);
    }

    void TearDown() override
    {
        hook = nullptr;
        if (plugin)
        {
            plugin->dispatch(effEditClose);
            plugin.reset(); // effClose after effEditClose
        }
        if (parent)
            DestroyWindow(parent);
        pump(10);
    }

    /// A top-level window at the screen's origin, as a host's editor window.
    HWND makeParent()
    {
        HWND window =
            CreateWindowExA(0, kHostClass, "Vorla test host", WS_POPUP | WS_VISIBLE, 0, 0, kWidth,
                            kHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (window)
        {
            SetForegroundWindow(window);
            SetFocus(window);
            UpdateWindow(window);
        }
        return window;
    }

    intptr_t openEditor(HWND window) { return plugin->dispatch(effEditOpen, 0, 0, window); }

    HWND editorWindow() const { return parent ? GetWindow(parent, GW_CHILD) : nullptr; }

    /// The host's UI loop for `ms` milliseconds: messages, and effEditIdle
    /// every 5 ms.
    void pump(int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        do
        {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            if (plugin && !plugin->closed())
                plugin->dispatch(effEditIdle);
            Sleep(5);
        } while (std::chrono::steady_clock::now() < end);
    }

    /// Runs the UI loop until `done` holds (at most three seconds).
    bool pumpUntil(const std::function<bool()>& done)
    {
        for (int i = 0; i < 300; ++i)
        {
            if (done())
                return true;
            pump(10);
        }
        return done();
    }

    /// Runs the UI loop until the editor shows `expected`; the number of
    /// pixels that still differ.
    long settleOn(const Image& expected)
    {
        long diff = 0;
        pumpUntil(
            [&] { return (diff = differingPixels(screenshot(editorWindow()), expected)) == 0; });
        return diff;
    }

    std::vector<HostCall> editCalls() const { return vorla::test::editCalls(plugin->calls()); }

    int countCalls(int32_t opcode) const
    {
        return vorla::test::countCalls(plugin->calls(), opcode);
    }

    /// A quick click at frame pixel (x, y): press and release are both
    /// queued before the editor handles the press.
    void click(int x, int y)
    {
        const POINT point = onScreen(editorWindow(), x, y);
        SetCursorPos(point.x, point.y);
        sendMouse(MOUSEEVENTF_LEFTDOWN);
        sendMouse(MOUSEEVENTF_LEFTUP);
    }

    /// The calls so far are one gesture on `tag` with at least one change,
    /// the last automated value being the effect's.
    void expectGesture(int32_t tag)
    {
        vorla::test::expectGesture(editCalls(), tag, plugin->getParameter(tag));
    }

    HWND parent = nullptr;
    std::unique_ptr<PluginInstance> plugin;
    std::function<void(const HostCall&)> hook;
};

/// The window class name of `window`.
std::string className(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

/// The module (vorla.dll) that holds `effect`'s code.
HMODULE moduleOf(AEffect* effect)
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(effect->dispatcher), &module);
    return module;
}

/// Whether `module` has a window class called `name` registered.
bool classRegistered(HMODULE module, const std::string& name)
{
    WNDCLASSA info{};
    return GetClassInfoA(module, name.c_str(), &info) != 0;
}

} // namespace

TEST_F(Win32Editor, OpensAChildWindowShowingWhatTheLinuxSnapshotShows)
{
    ASSERT_EQ(openEditor(parent), 1);
    const HWND child = editorWindow();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetParent(child), parent);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE(style & WS_CLIPSIBLINGS);
    EXPECT_TRUE(style & WS_CLIPCHILDREN);
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right - rect.left, kWidth);
    EXPECT_EQ(rect.bottom - rect.top, kHeight);
    // The class is the module's own: "Plugin" and its instance handle.
    const HMODULE module = moduleOf(plugin->effect());
    ASSERT_NE(module, nullptr);
    char expectedClass[40];
    std::snprintf(expectedClass, sizeof expectedClass, "Plugin%p", static_cast<void*>(module));
    EXPECT_EQ(className(child), expectedClass);

    EXPECT_EQ(settleOn(linuxSnapshot("default")), 0);

    // Host automation from another thread moves the Volume knob; the next
    // idle shows it, and the host hears nothing back.
    std::thread([&] { plugin->setParameter(12, 0.25f); }).join();
    EXPECT_EQ(settleOn(linuxSnapshot("volume-0.25")), 0);
    EXPECT_TRUE(editCalls().empty());

    // A repaint the window system asks for comes from the same picture.
    InvalidateRect(child, nullptr, FALSE);
    EXPECT_EQ(settleOn(linuxSnapshot("volume-0.25")), 0);
}

TEST_F(Win32Editor, KnobDraggedWithThePointerIsOneGesture)
{
    plugin->setParameter(0, 0.2f);
    ASSERT_EQ(openEditor(parent), 1);
    pump(50);
    plugin->clearCalls();
    const HWND child = editorWindow();
    const POINT centre = onScreen(child, 61, 192); // the Input knob

    // The user's hand, played from the host's idle callback, which the
    // knob's drag loop calls while it holds the UI thread: each turn moves
    // the pointer 10 pixels up; after eight, the button is released.  The
    // host also idles the editor from inside that callback.
    int step = 0;
    bool capturedDuringDrag = true;
    int nestedIdles = 0;
    hook = [&](const HostCall& call) {
        if (call.opcode != audioMasterIdle)
            return;
        capturedDuringDrag = capturedDuringDrag && GetCapture() == child;
        ++nestedIdles;
        plugin->dispatch(effEditIdle);
        if (step < 8)
        {
            ++step;
            SetCursorPos(centre.x, centre.y - 10 * step);
        }
        else if (step == 8)
        {
            ++step;
            sendMouse(MOUSEEVENTF_LEFTUP);
        }
    };
    SetCursorPos(centre.x, centre.y);
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    EXPECT_TRUE(pumpUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    hook = nullptr;
    EXPECT_EQ(step, 9);
    EXPECT_TRUE(capturedDuringDrag) << "the editor window held no mouse capture during the drag";
    EXPECT_GT(nestedIdles, 0);
    EXPECT_EQ(GetCapture(), nullptr); // released with the button

    // 80 pixels up, 200 pixels for the whole range.
    vorla::test::expectRisingDrag(editCalls(), 0, 0.6f);
    EXPECT_NEAR(plugin->getParameter(0), 0.6f, 1e-5f);
}

TEST_F(Win32Editor, EveryButtonAndTheSwitchRespondToAClick)
{
    plugin->setParameter(1, 0.f);
    ASSERT_EQ(openEditor(parent), 1);
    pump(50);

    for (const vorla::test::ClickTarget& t : vorla::test::kClickTargets)
    {
        plugin->clearCalls();
        const float expected = vorla::test::valueAfterClick(t, plugin->getParameter(t.tag));
        click(t.x, t.y);
        EXPECT_TRUE(pumpUntil([&] { return countCalls(audioMasterEndEdit) > 0; }))
            << "tag " << t.tag;
        EXPECT_EQ(plugin->getParameter(t.tag), expected) << "tag " << t.tag;
        expectGesture(t.tag);
    }
}

TEST_F(Win32Editor, WheelNotchesOverAKnobAlsoReachTheHost)
{
    plugin->setParameter(7, 0.5f);
    ASSERT_EQ(openEditor(parent), 1);
    pump(50);
    const HWND child = editorWindow();
    const POINT low = onScreen(child, 407, 192);
    SetCursorPos(low.x, low.y);
    pump(20);
    plugin->clearCalls();
    // One notch away from the user, as the message a wheel sends.
    SendMessageA(child, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(low.x, low.y));
    EXPECT_TRUE(pumpUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    EXPECT_NEAR(plugin->getParameter(7), 0.6f, 1e-6f);
    expectGesture(7);
    EXPECT_EQ(gHostLog.wheelTurns, 1); // passed on to the parent as well

    plugin->clearCalls();
    SendMessageA(child, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)),
                 MAKELPARAM(low.x, low.y));
    EXPECT_TRUE(pumpUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    EXPECT_NEAR(plugin->getParameter(7), 0.5f, 1e-6f);
}

TEST_F(Win32Editor, ArrowKeysMoveTheClickedKnobAndOtherKeysGoToTheHost)
{
    plugin->setParameter(8, 0.5f);
    ASSERT_EQ(openEditor(parent), 1);
    pump(50);
    click(456, 192); // Mid: the knob takes the focus, the window the keyboard
    EXPECT_TRUE(pumpUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    EXPECT_EQ(GetFocus(), editorWindow());
    plugin->clearCalls();
    sendKey(VK_UP, true);
    sendKey(VK_UP, false);
    EXPECT_TRUE(pumpUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    EXPECT_NEAR(plugin->getParameter(8), 0.6f, 1e-6f);
    expectGesture(8);

    // The space bar means nothing to the editor: the host's window gets it.
    plugin->clearCalls();
    sendKey(VK_SPACE, true);
    sendKey(VK_SPACE, false);
    EXPECT_TRUE(pumpUntil([] {
        return std::count(gHostLog.keysDown.begin(), gHostLog.keysDown.end(), VK_SPACE) > 0;
    }));
    EXPECT_TRUE(editCalls().empty());
}

TEST_F(Win32Editor, ControlClickPutsAKnobBackToItsDefault)
{
    plugin->setParameter(9, 0.9f);
    ASSERT_EQ(openEditor(parent), 1);
    pump(50);
    plugin->clearCalls();
    sendKey(VK_CONTROL, true);
    click(505, 192); // the High knob
    sendKey(VK_CONTROL, false);
    EXPECT_TRUE(pumpUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    EXPECT_EQ(plugin->getParameter(9), 0.5f);
    expectGesture(9);
}

TEST_F(Win32Editor, OpenAndClose100TimesLeavesNothingBehind)
{
    ASSERT_EQ(openEditor(parent), 1);
    const std::string windowClass = className(editorWindow());
    const HMODULE module = moduleOf(plugin->effect());
    EXPECT_TRUE(classRegistered(module, windowClass));
    plugin->dispatch(effEditClose);
    EXPECT_FALSE(classRegistered(module, windowClass)) << "the class outlived its last window";
    const DWORD gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    for (int cycle = 0; cycle < 100; ++cycle)
    {
        ASSERT_EQ(openEditor(parent), 1) << "cycle " << cycle;
        ASSERT_NE(editorWindow(), nullptr);
        if (cycle % 10 == 0)
            pump(5);
        plugin->dispatch(effEditClose);
        ASSERT_EQ(editorWindow(), nullptr) << "cycle " << cycle;
    }
    // (Wine counts no GDI or USER objects and answers 0 to both: the check
    // bites on Windows itself.)
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiObjects);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), userObjects);

    // A second open while open replaces the window; close twice is harmless.
    ASSERT_EQ(openEditor(parent), 1);
    ASSERT_EQ(openEditor(parent), 1);
    EXPECT_EQ(GetWindow(editorWindow(), GW_HWNDNEXT), nullptr); // one child only
    plugin->dispatch(effEditClose);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(editorWindow(), nullptr);
}

TEST_F(Win32Editor, TwoEditorsShareTheClassUntilTheLastCloses)
{
    auto second = vorla::test::createEffect();
    HWND otherParent = makeParent();
    ASSERT_EQ(openEditor(parent), 1);
    ASSERT_EQ(second->dispatch(effEditOpen, 0, 0, otherParent), 1);
    const std::string windowClass = className(editorWindow());
    const HMODULE module = moduleOf(plugin->effect());
    plugin->dispatch(effEditClose);
    EXPECT_TRUE(classRegistered(module, windowClass));
    EXPECT_NE(GetWindow(otherParent, GW_CHILD), nullptr);
    second->setParameter(12, 0.3f);
    second->dispatch(effEditIdle);
    second->dispatch(effEditClose);
    EXPECT_FALSE(classRegistered(module, windowClass));
    second.reset();
    DestroyWindow(otherParent);
}

TEST_F(Win32Editor, HostDestroysItsWindowBeforeClosingTheEditor)
{
    ASSERT_EQ(openEditor(parent), 1);
    pump(30);
    DestroyWindow(parent);
    parent = nullptr;
    pump(30);
    plugin->setParameter(12, 0.9f);
    pump(30);
    plugin->dispatch(effEditClose);

    // The editor opens again in a new window and shows the current values.
    parent = makeParent();
    ASSERT_EQ(openEditor(parent), 1);
    EXPECT_NE(editorWindow(), nullptr);
    EXPECT_EQ(settleOn(linuxSnapshot("volume-0.9")), 0);
}

TEST_F(Win32Editor, HostClosingTheEditorFromItsIdleDuringADrag)
{
    ASSERT_EQ(openEditor(parent), 1);
    pump(50);
    const POINT mid = onScreen(editorWindow(), 456, 192);
    int idles = 0;
    hook = [&](const HostCall& call) {
        if (call.opcode != audioMasterIdle)
            return;
        if (++idles == 2)
            plugin->dispatch(effEditClose);
        SetCursorPos(mid.x, mid.y - 3 * idles);
        if (idles == 4)
            sendMouse(MOUSEEVENTF_LEFTUP);
    };
    SetCursorPos(mid.x, mid.y);
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    EXPECT_TRUE(pumpUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    hook = nullptr;
    pump(30);
    EXPECT_EQ(editorWindow(), nullptr);
    EXPECT_EQ(countCalls(audioMasterBeginEdit), countCalls(audioMasterEndEdit));
    // The editor opens again.
    ASSERT_EQ(openEditor(parent), 1);
    EXPECT_NE(editorWindow(), nullptr);
}

TEST_F(Win32Editor, MissingOrForeignParentOpensNothing)
{
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x1234560})),
              0);
    plugin->dispatch(effEditIdle);
    plugin->dispatch(effEditClose);
    ASSERT_EQ(openEditor(parent), 1);
    EXPECT_NE(editorWindow(), nullptr);
}
