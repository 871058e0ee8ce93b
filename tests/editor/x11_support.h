// SPDX-License-Identifier: GPL-3.0-or-later
// x11_support.h - what the tests that drive an editor in a real X server
// share: a connection, the user's hand (XTest), window trees, the pixels of
// a window, and vorla-snapshot's image of the editor to compare them with.
// Used by the VST 2.4 editor's X11 tests and by the LV2 UI's.
#pragma once

// GoogleTest before Xlib, whose None and Bool macros would break it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <png.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifndef VORLA_SNAPSHOT_PATH
#error "VORLA_SNAPSHOT_PATH must name the built vorla-snapshot"
#endif

namespace vorla::test {

inline void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

/// Open file descriptors of this process (each display connection is one).
inline int openDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd"))
    {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

inline std::vector<Window> childrenOf(Display* display, Window window)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> out;
    if (XQueryTree(display, window, &root, &parent, &children, &count))
    {
        out.assign(children, children + count);
        if (children)
            XFree(children);
    }
    return out;
}

/// An RGB image (0x00RRGGBB per pixel).
struct Image
{
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const
    {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + x];
    }
};

/// Pixels that differ between two images of the same size (all when the sizes differ).
inline long differingPixels(const Image& a, const Image& b)
{
    if (a.width != b.width || a.height != b.height)
        return static_cast<long>(std::max(a.pixels.size(), b.pixels.size())) + 1;
    long n = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        n += a.pixels[i] != b.pixels[i];
    return n;
}

/// vorla-snapshot's image of the editor for `arguments` (decoded from its PNG).
inline Image snapshotImage(const std::string& arguments)
{
    const std::string path =
        ::testing::TempDir() + "vorla-editor-snapshot-" + std::to_string(getpid()) + ".png";
    const std::string command =
        std::string("'") + VORLA_SNAPSHOT_PATH + "' '" + path + "' " + arguments;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    Image image;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()))
        return image;
    png.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr))
        return image;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        image.pixels.push_back(uint32_t{rgb[i]} << 16 | uint32_t{rgb[i + 1]} << 8 | rgb[i + 2]);
    return image;
}

/// Writes `image` as a binary PPM (tools turn it into the documentation PNG).
inline void writePpm(const Image& image, const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.width << " " << image.height << "\n255\n";
    for (uint32_t p : image.pixels)
    {
        const char rgb[3] = {static_cast<char>(p >> 16), static_cast<char>(p >> 8),
                             static_cast<char>(p)};
        out.write(rgb, 3);
    }
}

/// A new connection to the test display, or null.  Xvfb now and then resets
/// a connection during its setup when connections come and go quickly, so
/// a few attempts are made.
inline Display* connect()
{
    for (int attempt = 0; attempt < 5; ++attempt)
    {
        if (Display* display = XOpenDisplay(nullptr))
            return display;
        if (!std::getenv("DISPLAY"))
            return nullptr;
        sleepMs(10);
    }
    return nullptr;
}

/// A second connection, for a thread that plays the user's hand.
struct Hand
{
    Display* display = connect();
    ~Hand()
    {
        if (display)
            XCloseDisplay(display);
    }
    void moveTo(int x, int y)
    {
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XFlush(display);
    }
    void button(unsigned int number, bool down)
    {
        XTestFakeButtonEvent(display, number, down ? True : False, CurrentTime);
        XFlush(display);
    }
    void key(KeySym sym, bool down)
    {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), down ? True : False,
                          CurrentTime);
        XFlush(display);
    }
    /// A knob turned up the way a player does it: on (x, y), press, twenty
    /// moves of 4 pixels upwards 15 ms apart, release; pauses around the
    /// press and the release let the editor see each as its own event.
    /// `onStep(step)` runs after each move.
    void dragUp(int x, int y, const std::function<void(int)>& onStep = {})
    {
        moveTo(x, y);
        sleepMs(30);
        button(1, true);
        sleepMs(60);
        for (int step = 1; step <= 20; ++step)
        {
            moveTo(x, y - 4 * step);
            sleepMs(15);
            if (onStep)
                onStep(step);
        }
        sleepMs(60);
        button(1, false);
    }
};

/// The pixels of `window` (`width` x `height` from its origin); empty when
/// the window cannot be read.
inline Image grabWindow(Display* display, Window window, int width, int height)
{
    Image image;
    if (!window)
        return image;
    XImage* x = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!x)
        return image;
    image.width = width;
    image.height = height;
    image.pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int xx = 0; xx < width; ++xx)
        {
            const unsigned long p = XGetPixel(x, xx, y);
            const auto channel = [p](unsigned long mask) {
                int shift = 0;
                while (mask && !(mask & 1))
                {
                    mask >>= 1;
                    ++shift;
                }
                return static_cast<uint32_t>(((p >> shift) & mask) * 255 / (mask ? mask : 1));
            };
            image.pixels.push_back(channel(x->red_mask) << 16 | channel(x->green_mask) << 8 |
                                   channel(x->blue_mask));
        }
    XDestroyImage(x);
    return image;
}

/// A test with an editor in a real X server: the connection (the test is
/// skipped without a display or XTest), the host's window the editor lives
/// in, and the host's idle timer, whose one call each kind of host makes in
/// its own way (idleOnce).
class EditorWindowTest : public ::testing::Test
{
protected:
    static constexpr int32_t kWidth = 660;
    static constexpr int32_t kHeight = 250;

    void SetUp() override
    {
        display = connect();
        if (!display)
            GTEST_SKIP() << "no X display";
        int event = 0, error = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(display, &event, &error, &major, &minor))
            GTEST_SKIP() << "the X server has no XTest extension";
        parent = makeParent();
    }

    void TearDown() override
    {
        if (display)
        {
            if (parent)
                XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    /// One idle call of the host; what it answers.
    virtual int idleOnce() = 0;

    /// A top-level window at the screen's origin, as a host's editor window.
    Window makeParent()
    {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True; // no window manager moves it
        attributes.background_pixel = 0x404040;
        Window w = XCreateWindow(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight, 0,
                                 CopyFromParent, InputOutput, CopyFromParent,
                                 CWOverrideRedirect | CWBackPixel, &attributes);
        XMapRaised(display, w);
        XSync(display, False);
        return w;
    }

    /// The host's idle timer: an idle call every 5 ms for `ms` milliseconds;
    /// the last answer.
    int idleFor(int ms)
    {
        int answer = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        do
        {
            answer = idleOnce();
            XSync(display, False);
            sleepMs(5);
        } while (std::chrono::steady_clock::now() < end);
        return answer;
    }

    /// Idles until `done` holds (at most two seconds).
    bool idleUntil(const std::function<bool()>& done)
    {
        for (int i = 0; i < 400; ++i)
        {
            if (done())
                return true;
            idleFor(5);
        }
        return done();
    }

    /// The editor's window: the host window's one child.
    Window editorWindow()
    {
        const auto children = childrenOf(display, parent);
        return children.size() == 1 ? children[0] : 0;
    }

    Image screenshot() { return grabWindow(display, editorWindow(), kWidth, kHeight); }

    /// Idles until the window shows `expected` (at most two seconds); the
    /// number of pixels that still differ.
    long settleOn(const Image& expected)
    {
        long diff = 0;
        idleUntil([&] { return (diff = differingPixels(screenshot(), expected)) == 0; });
        return diff;
    }

    /// Plays `gesture` with the user's hand on a thread of its own while
    /// this thread keeps the host's idle timer going (the editor may sit in
    /// a drag loop meanwhile); then idles a little longer for the last
    /// events.
    void playWhileIdling(const std::function<void(Hand&)>& gesture)
    {
        std::atomic<bool> done{false};
        std::thread hand([&] {
            Hand h;
            gesture(h);
            XSync(h.display, False);
            done = true;
        });
        while (!done)
            idleFor(5);
        hand.join();
        idleFor(30);
    }

    /// A quick click (press and release before the editor reads the press).
    void click(int x, int y, unsigned int button = 1)
    {
        Hand hand;
        hand.moveTo(x, y);
        hand.button(button, true);
        hand.button(button, false);
        XSync(hand.display, False);
    }

    Display* display = nullptr;
    Window parent = 0;
};

} // namespace vorla::test
