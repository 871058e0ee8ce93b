// SPDX-License-Identifier: GPL-3.0-or-later
// LV2 lets a host save the state from any thread, also while run runs (the
// host's session save during playback), while the host's ports change the
// voicings' memories: every saved record is whole and usable, and the audio
// goes on.  Runs under ThreadSanitizer in the sanitizer run (label
// "threads").
#include "effect/effect_state.h"
#include "lv2/lv2_support.h"

#include <atomic>
#include <thread>

using namespace vorla::test;

TEST(Lv2StateThreads, SavingWhileRunRuns)
{
    Lv2Instance fx;
    fx.activate();
    const auto in = guitarSignal(256, 44100.0f, 0);
    std::atomic<bool> done{false};
    std::thread audio([&] {
        Stereo sink;
        for (int block = 0; block < 400; ++block)
        {
            fx.controls[kCleanCrunch] = block % 3 == 0 ? 1.0f : 0.0f;
            fx.controls[kLow] = static_cast<float>(block % 10) / 10.0f;
            fx.controls[kDrive1] = static_cast<float>(block % 7) / 7.0f;
            sink.left.clear();
            sink.right.clear();
            runBlock(fx, in.data(), in.data(), 64, sink);
        }
        done = true;
    });
    int saves = 0;
    vorla::EffectState check;
    while (!done)
    {
        const auto saved = saveState(fx);
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_TRUE(check.loadState(vorla::StateScope::Program, saved[0].value.data(),
                                    saved[0].value.size()));
        ++saves;
    }
    audio.join();
    EXPECT_GT(saves, 0);
}
