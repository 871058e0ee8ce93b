// SPDX-License-Identifier: GPL-3.0-or-later
// The editor of the built plug-in in a real X server, driven the way a Linux
// host drives it: the test creates a top-level window, passes its id to
// effEditOpen, calls effEditIdle from its "UI thread" and sends real pointer
// and key events with the XTest extension.  Skipped when no display can be
// opened (scripts/test.sh starts Xvfb when DISPLAY is unset).
#include "click_targets.h"
#include "effect/parameters.h"
#include "gesture_checks.h"
#include "host/loaded_plugin.h"
#include "x11_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using vorla::host::HostCall;
using vorla::host::PluginInstance;
using namespace vorla::test;

namespace {

class X11Editor : public vorla::test::EditorWindowTest
{
protected:
    void SetUp() override
    {
        EditorWindowTest::SetUp();
        if (IsSkipped())
            return;
        plugin = vorla::test::createEffect([this](const HostCall& call) {
            if (hook)
                hook(call);
            return PluginInstance::defaultAnswer(call);
        });
    }

    void TearDown() override
    {
        if (plugin)
        {
            plugin->dispatch(effEditClose);
            plugin.reset(); // effClose after effEditClose
        }
        EditorWindowTest::TearDown();
    }

    /// The VST 2.4 host's idle call.
    int idleOnce() override
    {
        plugin->dispatch(effEditIdle);
        return 0;
    }

    intptr_t openEditor(Window window)
    {
        return plugin->dispatch(effEditOpen, 0, 0,
                                reinterpret_cast<void*>(static_cast<uintptr_t>(window)));
    }

    /// The gesture calls (begin, automate, end) recorded so far.
    std::vector<HostCall> editCalls() const { return vorla::test::editCalls(plugin->calls()); }
    int countCalls(int32_t opcode) const
    {
        return vorla::test::countCalls(plugin->calls(), opcode);
    }

    /// Checks that the calls so far are one gesture on `tag` with at least
    /// one change, the last automated value being the effect's.
    void expectGesture(int32_t tag)
    {
        vorla::test::expectGesture(editCalls(), tag, plugin->getParameter(tag));
    }

    std::unique_ptr<PluginInstance> plugin;
    std::function<void(const HostCall&)> hook;
};

} // namespace

TEST_F(X11Editor, OpensAChildOfTheEditorsSizeShowingWhatTheSnapshotToolDraws)
{
    ASSERT_EQ(openEditor(parent), 1);
    const Window child = editorWindow();
    ASSERT_NE(child, 0u);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display, child, &attributes));
    EXPECT_EQ(attributes.width, kWidth);
    EXPECT_EQ(attributes.height, kHeight);
    EXPECT_EQ(attributes.x, 0);
    EXPECT_EQ(attributes.y, 0);
    EXPECT_EQ(attributes.map_state, IsViewable);

    EXPECT_EQ(settleOn(snapshotImage("")), 0);
    if (const char* path = std::getenv("VORLA_EDITOR_SCREENSHOT"))
        writePpm(screenshot(), path);

    // Host automation from another thread moves the Volume knob; the next
    // idle shows it.
    std::thread([&] { plugin->setParameter(12, 0.25f); }).join();
    EXPECT_EQ(settleOn(snapshotImage("--set 12=0.25")), 0);
    EXPECT_TRUE(editCalls().empty());
}

TEST_F(X11Editor, KnobDraggedWithThePointerIsOneGesture)
{
    plugin->setParameter(0, 0.2f);
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(50);
    plugin->clearCalls();

    // A host that idles the editor from inside its own idle callback.
    int nestedIdles = 0;
    hook = [&](const HostCall& call) {
        if (call.opcode == audioMasterIdle)
        {
            ++nestedIdles;
            plugin->dispatch(effEditIdle);
        }
    };

    // The user's hand, on its own connection, while this thread idles the
    // editor (and sits in the knob's drag loop during the gesture).
    playWhileIdling([](Hand& h) {
        h.dragUp(61, 192, [&h](int step) { // the Input knob's centre
            if (step == 10)
            {
                // A key typed mid-drag waits until the drag has ended.
                h.key(XK_Down, true);
                h.key(XK_Down, false);
            }
        });
    });
    hook = nullptr;
    EXPECT_GT(countCalls(audioMasterIdle), 0); // the drag loop let the host idle
    EXPECT_GT(nestedIdles, 0);

    // Two gestures one after the other: the drag, then the queued key.
    auto calls = editCalls();
    const auto firstEnd = std::find_if(calls.begin(), calls.end(), [](const HostCall& c) {
        return c.opcode == audioMasterEndEdit;
    });
    ASSERT_NE(firstEnd, calls.end());
    std::vector<HostCall> drag(calls.begin(), firstEnd + 1);
    std::vector<HostCall> key(firstEnd + 1, calls.end());
    vorla::test::expectRisingDrag(drag, 0, 0.6f); // 80 px up, 200 px for the whole range
    ASSERT_EQ(key.size(), 3u);
    EXPECT_EQ(key[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(key[1].opcode, audioMasterAutomate);
    EXPECT_EQ(key[2].opcode, audioMasterEndEdit);
    EXPECT_NEAR(plugin->getParameter(0), 0.5f, 1e-5f); // then one step down
    EXPECT_EQ(key[1].opt, plugin->getParameter(0));
}

TEST_F(X11Editor, EveryButtonAndTheSwitchRespondToAClick)
{
    plugin->setParameter(1, 0.f);
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(50);

    for (const vorla::test::ClickTarget& t : vorla::test::kClickTargets)
    {
        plugin->clearCalls();
        const float expected = vorla::test::valueAfterClick(t, plugin->getParameter(t.tag));
        click(t.x, t.y);
        EXPECT_TRUE(idleUntil([&] { return countCalls(audioMasterEndEdit) > 0; }))
            << "tag " << t.tag;
        EXPECT_EQ(plugin->getParameter(t.tag), expected) << "tag " << t.tag;
        expectGesture(t.tag);
    }
}

TEST_F(X11Editor, WheelNotchesOverAKnob)
{
    plugin->setParameter(7, 0.5f);
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(50);
    plugin->clearCalls();
    click(407, 192, 4); // wheel away from the user over Low
    EXPECT_TRUE(idleUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    EXPECT_NEAR(plugin->getParameter(7), 0.6f, 1e-6f);
    expectGesture(7);

    plugin->clearCalls();
    click(407, 192, 5); // and back
    EXPECT_TRUE(idleUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    EXPECT_NEAR(plugin->getParameter(7), 0.5f, 1e-6f);
}

TEST_F(X11Editor, WheelTurnsNoControlTakesGoToTheHostsWindow)
{
    // Clean holds Drive1 at 0.5: a notch over it, over the bare panel, or
    // any sideways swipe, is the host's to scroll with.
    XSelectInput(display, parent, ButtonPressMask);
    plugin->setParameter(kLow, 0.5f);
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(50);
    plugin->clearCalls();
    click(300, 100, 4); // the panel
    click(227, 192, 5); // the held Drive1 knob
    click(407, 192, 6); // sideways over Low
    click(407, 192, 7);
    std::vector<unsigned int> forwarded;
    for (int i = 0; i < 200 && forwarded.size() < 4; ++i)
    {
        idleFor(5);
        while (XPending(display))
        {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ButtonPress && event.xany.window == parent)
                forwarded.push_back(event.xbutton.button);
        }
    }
    EXPECT_EQ(forwarded, (std::vector<unsigned int>{4, 5, 6, 7}));
    EXPECT_EQ(plugin->getParameter(kLow), 0.5f) << "the horizontal wheel moves no knob";
    EXPECT_EQ(plugin->getParameter(kDrive1), 0.5f);
    EXPECT_TRUE(editCalls().empty());
}

TEST_F(X11Editor, ArrowKeysMoveTheClickedKnob)
{
    plugin->setParameter(8, 0.5f);
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(50);
    click(456, 192); // Mid: focus to the knob and its window
    idleFor(50);
    plugin->clearCalls();
    {
        Hand hand;
        hand.key(XK_Up, true);
        hand.key(XK_Up, false);
        XSync(hand.display, False);
    }
    EXPECT_TRUE(idleUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    EXPECT_GT(plugin->getParameter(8), 0.5f);
    expectGesture(8);
}

TEST_F(X11Editor, KeysTheEditorDoesNotUseReachTheHostsWindow)
{
    XSelectInput(display, parent, KeyPressMask | KeyReleaseMask);
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(50);
    {
        Hand hand;
        hand.moveTo(300, 100); // over the editor, away from every control
        hand.key(XK_space, true);
        hand.key(XK_space, false);
        XSync(hand.display, False);
    }
    bool pressed = false, released = false;
    for (int i = 0; i < 200 && !(pressed && released); ++i)
    {
        idleFor(5);
        while (XPending(display))
        {
            XEvent event;
            XNextEvent(display, &event);
            if (event.xany.window != parent)
                continue;
            if (event.type == KeyPress && XLookupKeysym(&event.xkey, 0) == XK_space)
                pressed = true;
            if (event.type == KeyRelease && XLookupKeysym(&event.xkey, 0) == XK_space)
                released = true;
        }
    }
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(released);
    EXPECT_TRUE(editCalls().empty());
}

TEST_F(X11Editor, RepeatedOpenAndCloseLeavesNothingBehind)
{
    ASSERT_EQ(openEditor(parent), 1); // warm up whatever Xlib keeps per process
    plugin->dispatch(effEditClose);
    const int descriptors = openDescriptors();
    for (int cycle = 0; cycle < 200; ++cycle)
    {
        ASSERT_EQ(openEditor(parent), 1);
        if (cycle % 20 == 0)
            idleFor(5);
        ASSERT_EQ(childrenOf(display, parent).size(), 1u);
        plugin->dispatch(effEditClose);
        XSync(display, False);
        ASSERT_TRUE(childrenOf(display, parent).empty()) << "cycle " << cycle;
    }
    EXPECT_EQ(openDescriptors(), descriptors); // every display connection was closed

    // A second open while open replaces the window; close twice is harmless.
    ASSERT_EQ(openEditor(parent), 1);
    ASSERT_EQ(openEditor(parent), 1);
    EXPECT_EQ(childrenOf(display, parent).size(), 1u);
    plugin->dispatch(effEditClose);
    plugin->dispatch(effEditClose);
    XSync(display, False);
    EXPECT_TRUE(childrenOf(display, parent).empty());
}

TEST_F(X11Editor, HostDestroysItsWindowBeforeClosingTheEditor)
{
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(30);
    XDestroyWindow(display, parent);
    XSync(display, False);
    parent = 0;
    idleFor(30);
    plugin->setParameter(12, 0.9f);
    idleFor(30);
    plugin->dispatch(effEditClose);

    // The editor opens again in a new window.
    parent = makeParent();
    ASSERT_EQ(openEditor(parent), 1);
    EXPECT_NE(editorWindow(), 0u);
    EXPECT_EQ(settleOn(snapshotImage("--set 12=0.9")), 0);
}

TEST_F(X11Editor, ParentDestroyedWhileTheEditorIsBeingIdled)
{
    ASSERT_EQ(openEditor(parent), 1);
    // Destroy the parent behind the editor's back with a repaint pending:
    // the editor's requests on the dead window must not end the process.
    plugin->setParameter(12, 0.1f);
    XDestroyWindow(display, parent);
    XFlush(display);
    parent = 0;
    for (int i = 0; i < 20; ++i)
    {
        plugin->setParameter(12, static_cast<float>(i) / 20.f);
        plugin->dispatch(effEditIdle);
    }
    plugin->dispatch(effEditClose);
}

TEST_F(X11Editor, ForeignOrMissingParentOpensNothing)
{
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x1fffff0})),
              0);
    plugin->dispatch(effEditIdle);
    plugin->dispatch(effEditClose);
    // Errors on the plug-in's connections do not disturb the host's own.
    XWindowAttributes attributes{};
    EXPECT_TRUE(XGetWindowAttributes(display, parent, &attributes));
    ASSERT_EQ(openEditor(parent), 1);
    EXPECT_NE(editorWindow(), 0u);
}

TEST_F(X11Editor, HostClosingTheEditorFromItsIdleDuringADrag)
{
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(50);
    hook = [&](const HostCall& call) {
        if (call.opcode == audioMasterIdle)
            plugin->dispatch(effEditClose);
    };
    playWhileIdling([](Hand& h) {
        h.moveTo(456, 192);
        h.button(1, true);
        sleepMs(80);
        for (int step = 1; step <= 5; ++step)
        {
            h.moveTo(456, 192 - 3 * step);
            sleepMs(20);
        }
        h.button(1, false);
    });
    hook = nullptr;
    EXPECT_TRUE(childrenOf(display, parent).empty());
    EXPECT_EQ(countCalls(audioMasterBeginEdit), countCalls(audioMasterEndEdit));
}

TEST_F(X11Editor, TwoInstancesSideBySide)
{
    auto second = vorla::test::createEffect();
    const Window otherParent = makeParent();
    ASSERT_EQ(openEditor(parent), 1);
    ASSERT_EQ(second->dispatch(effEditOpen, 0, 0,
                               reinterpret_cast<void*>(static_cast<uintptr_t>(otherParent))),
              1);
    idleFor(20);
    second->dispatch(effEditIdle);
    plugin->dispatch(effEditClose);
    XSync(display, False);
    EXPECT_TRUE(childrenOf(display, parent).empty());
    EXPECT_EQ(childrenOf(display, otherParent).size(), 1u);
    second->setParameter(12, 0.3f);
    second->dispatch(effEditIdle);
    second.reset(); // effClose with the editor still open: its window goes too
    XSync(display, False);
    EXPECT_TRUE(childrenOf(display, otherParent).empty());
    XDestroyWindow(display, otherParent);
}

TEST_F(X11Editor, ControlClickPutsAKnobBackToItsDefault)
{
    plugin->setParameter(9, 0.9f);
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(50);
    plugin->clearCalls();
    {
        Hand hand;
        hand.key(XK_Control_L, true);
        hand.moveTo(505, 192); // the High knob
        hand.button(1, true);
        hand.button(1, false);
        hand.key(XK_Control_L, false);
        XSync(hand.display, False);
    }
    EXPECT_TRUE(idleUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    EXPECT_EQ(plugin->getParameter(9), 0.5f);
    expectGesture(9);
}

TEST_F(X11Editor, SwappedButtonsClickWithThePhysicalRightButton)
{
    // A left-handed pointer mapping: physical button 3 is the primary one.
    unsigned char original[32] = {};
    const int buttons = XGetPointerMapping(display, original, sizeof original);
    ASSERT_GE(buttons, 3);
    struct Restore
    {
        Display* d;
        unsigned char* map;
        int n;
        ~Restore()
        {
            while (XSetPointerMapping(d, map, n) == MappingBusy)
                sleepMs(10);
            XSync(d, False);
        }
    } restore{display, original, buttons};
    unsigned char swapped[32];
    std::copy(original, original + buttons, swapped);
    std::swap(swapped[0], swapped[2]);
    ASSERT_EQ(XSetPointerMapping(display, swapped, buttons), MappingSuccess);
    XSync(display, False);

    ASSERT_EQ(openEditor(parent), 1);
    idleFor(50);
    plugin->clearCalls();
    const float before = plugin->getParameter(3);
    click(149, 207, 3); // Boost, with the physical right button
    EXPECT_TRUE(idleUntil([&] { return countCalls(audioMasterEndEdit) > 0; }));
    EXPECT_NE(plugin->getParameter(3), before);
    expectGesture(3);
}
