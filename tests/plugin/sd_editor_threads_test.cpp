// SPDX-License-Identifier: GPL-3.0-or-later
// Host automation on one thread while the user-interface thread opens,
// draws and closes the editor: the editor's setParameter must never write
// into a control that close is destroying, and no value may be torn.  Run
// under ThreadSanitizer (label "threads"); no X server is needed.
#include "editor/fake_platform.h"
#include "plugin/sd_editor_support.h"

#include "gui/cframe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace vorla::test;

TEST(EditorThreads, AutomationWhileTheEditorOpensAndCloses)
{
    ScopedFakePlatform fake;
    DirectEffect host;
    std::atomic<bool> stop{false};
    std::atomic<long> writes{0};

    // The "audio thread": continuous knobs only (as automation lanes do).
    std::thread automation([&] {
        const int32_t knobs[] = {kInput, kDrive1,  kDrive2,   kLow,   kMid,
                                 kHigh,  kContour, kPowerAmp, kVolume};
        uint32_t state = 12345;
        while (!stop.load(std::memory_order_relaxed))
        {
            state = state * 1664525u + 1013904223u;
            const int32_t index = knobs[(state >> 8) % 9];
            host.effect->setParameter(index, static_cast<float>(state >> 9) /
                                                 static_cast<float>(1u << 23));
            writes.fetch_add(1, std::memory_order_relaxed);
        }
    });

    constexpr int kCycles = 400;
    for (int cycle = 0; cycle < kCycles; ++cycle)
    {
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, fakeParent()), 1);
        if (cycle % 4 == 0)
        {
            host.editor->getFrame()->platformPaint(
                CRect(0, 0, 660, 250)); // reads every control's value
            host.dispatch(effEditIdle);
        }
        host.dispatch(effEditClose);
    }
    stop = true;
    automation.join();
    EXPECT_GT(writes.load(), 0);
    EXPECT_EQ(fake.platform.windowsCreated.load(), kCycles);
}
