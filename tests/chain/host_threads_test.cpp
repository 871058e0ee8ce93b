// SPDX-License-Identifier: GPL-3.0-or-later
// Real hosts call the effect from several threads at once: the audio thread
// processes while the user-interface thread switches quality, mono/stereo
// and programs, loads chunks and even changes the sample rate.  No block may
// see a half-made design: the output stays finite and bounded, and the
// amplifier plays on afterwards.  (The test run repeats these under
// ThreadSanitizer, which reports any unguarded access.)
#include "chain/chain_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace {

using vorla::test::createEffect;
using vorla::test::Lcg;
using Clock = std::chrono::steady_clock;

std::vector<char> chunkOf(vorla::host::PluginInstance& fx, bool preset)
{
    void* data = nullptr;
    const intptr_t size = fx.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    const char* bytes = static_cast<const char*>(data);
    return std::vector<char>(bytes, bytes + size);
}

/// The audio thread: blocks of guitar until told to stop; remembers the
/// first sample that was not finite or beyond 64, and the loudest sample of
/// the last blocks.
class AudioThread
{
public:
    explicit AudioThread(vorla::host::PluginInstance& fx) : fx_(fx)
    {
        thread_ = std::thread([this] { run(); });
    }
    ~AudioThread() { stop(); }

    void stop()
    {
        stopping_.store(true);
        if (thread_.joinable())
            thread_.join();
    }
    bool sawBadSample() const { return bad_.load(); }
    float badSample() const { return badValue_.load(); }
    long blocks() const { return blocks_.load(); }

private:
    void run()
    {
        constexpr int32_t kBlock = 256;
        const auto guitar = vorla::test::guitarSignal(44100, 44100.0f);
        std::vector<float> out1(kBlock), out2(kBlock);
        std::size_t pos = 0;
        while (!stopping_.load())
        {
            if (pos + kBlock > guitar.size())
                pos = 0;
            float* inputs[2] = {const_cast<float*>(guitar.data() + pos),
                                const_cast<float*>(guitar.data() + pos)};
            float* outputs[2] = {out1.data(), out2.data()};
            fx_.processReplacing(inputs, outputs, kBlock);
            for (int32_t n = 0; n < kBlock; ++n)
                for (const float y : {out1[n], out2[n]})
                    if (!std::isfinite(y) || std::fabs(y) > 64.0f)
                    {
                        bad_.store(true);
                        badValue_.store(y);
                    }
            pos += kBlock;
            blocks_.fetch_add(1);
        }
    }

    vorla::host::PluginInstance& fx_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> bad_{false};
    std::atomic<float> badValue_{0.0f};
    std::atomic<long> blocks_{0};
};

/// A 0.1 sine through the default settings: the level a working amp gives.
double sineLevel(vorla::host::PluginInstance& fx)
{
    const std::size_t frames = 2 * 44100;
    std::vector<float> sine(frames);
    for (std::size_t n = 0; n < frames; ++n)
        sine[n] = 0.1f * static_cast<float>(std::sin(6.283185307179586 * 440.0 * n / 44100.0));
    const auto out = vorla::test::render(fx, sine, sine, 512);
    return vorla::test::peak(out.left, frames * 3 / 4);
}

void expectPlaysLikeANewEffect(vorla::host::PluginInstance& fx, const std::vector<char>& bank)
{
    ASSERT_EQ(fx.dispatch(effSetChunk, 0, static_cast<intptr_t>(bank.size()),
                          const_cast<char*>(bank.data())),
              1);
    fx.dispatch(effSetProgram, 0, 0);
    fx.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    auto fresh = createEffect();
    const double expected = sineLevel(*fresh);
    EXPECT_NEAR(sineLevel(fx), expected, 0.05 * expected);
}

} // namespace

TEST(HostThreads, EverythingAHostDoesFromItsUiThreadWhileAudioRuns)
{
    auto fx = createEffect();
    const std::vector<char> defaults = chunkOf(*fx, false);

    // Chunks to load: a bank whose programs differ, and single programs.
    std::vector<std::vector<char>> presets;
    {
        auto source = createEffect();
        for (int program = 0; program < 10; ++program)
        {
            source->dispatch(effSetProgram, 0, program);
            source->setParameter(kChannel, program % 3 == 2 ? 1.0f : 0.0f);
            source->setParameter(kCleanCrunch, program % 3 == 1 ? 1.0f : 0.0f);
            source->setParameter(kQuality, program % 2 ? 1.0f : 0.0f);
            source->setParameter(kMonoStereo, program % 4 < 2 ? 1.0f : 0.0f);
            source->setParameter(kInput, 0.1f * static_cast<float>(program));
            presets.push_back(chunkOf(*source, true));
        }
        presets.push_back(chunkOf(*source, false));
    }

    Lcg random(7);
    const float rates[] = {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 0.0f};
    {
        AudioThread audio(*fx);
        const auto end = Clock::now() + std::chrono::milliseconds(1500);
        long changes = 0;
        while (Clock::now() < end || audio.blocks() < 50)
        {
            switch (random.next() % 7)
            {
            case 0: fx->setParameter(kQuality, random.next() % 2 ? 1.0f : 0.0f); break;
            case 1: fx->setParameter(kMonoStereo, random.next() % 2 ? 1.0f : 0.0f); break;
            case 2:
                fx->dispatch(effSetProgram, 0, static_cast<intptr_t>(random.next() % 10));
                break;
            case 3:
            {
                std::vector<char>& chunk = presets[random.next() % presets.size()];
                const bool preset = chunk.size() < defaults.size();
                fx->dispatch(effSetChunk, preset ? 1 : 0, static_cast<intptr_t>(chunk.size()),
                             chunk.data());
                break;
            }
            case 4:
                fx->dispatch(effSetSampleRate, 0, 0, nullptr,
                             rates[random.next() % std::size(rates)]);
                break;
            case 5: fx->setParameter(random.next() % kNumParams, random.bipolar() * 2.0f); break;
            default:
                fx->setParameter(kChannel, random.next() % 2 ? 1.0f : 0.0f);
                fx->setParameter(kCleanCrunch, random.next() % 2 ? 1.0f : 0.0f);
                break;
            }
            ++changes;
            if (changes % 16 == 0)
                std::this_thread::yield();
        }
        audio.stop();
        EXPECT_FALSE(audio.sawBadSample()) << audio.badSample();
        EXPECT_GT(changes, 100);
    }
    expectPlaysLikeANewEffect(*fx, defaults);
}

TEST(HostThreads, QualityClickedEveryTwentyMillisecondsWhileAudioRuns)
{
    // A user clicking LowQ/HighQ: each click redesigns every filter.  No
    // block may blast or go silent for good.
    auto fx = createEffect();
    const std::vector<char> defaults = chunkOf(*fx, false);
    {
        AudioThread audio(*fx);
        for (int click = 0; click < 50; ++click)
        {
            fx->setParameter(kQuality, click % 2 ? 1.0f : 0.0f);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        audio.stop();
        EXPECT_FALSE(audio.sawBadSample()) << audio.badSample();
    }
    expectPlaysLikeANewEffect(*fx, defaults);
}
