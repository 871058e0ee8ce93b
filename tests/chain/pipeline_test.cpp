// SPDX-License-Identifier: GPL-3.0-or-later
// The software-pipelined model against the reference path, sample by
// sample, on runs no host can produce on purpose: the switches changing
// from one oversampled pair to the next (a host thread writing while a
// block runs), runs shorter than the pipeline is deep, every lane set the
// processor has, one side and both.
#include "chain/block_process.h"

#include "chain/chain_support.h"
#include "chain/lane_sets.h"
#include "dsp/test_support.h"
#include "effect/direct_core.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace vorla;
using vorla::test::sameBytes;

/// Switches for `pairs` pairs: with `changing`, a new random set every few
/// pairs (every voicing, bright and boost in turn), else one set.
std::vector<PairFlags> switchesFor(int pairs, bool changing, uint32_t seed)
{
    vorla::test::Lcg random(seed);
    std::vector<PairFlags> flags(static_cast<std::size_t>(pairs));
    PairFlags now;
    now.crunchOn = 1;
    now.brightOn = 1;
    for (int p = 0; p < pairs; ++p)
    {
        if (changing && random.next() % 3 == 0)
        {
            now.channelOverdrive = static_cast<int32_t>(random.next() % 2);
            now.crunchOn = static_cast<int32_t>(random.next() % 2);
            now.boostOn = static_cast<int32_t>(random.next() % 2);
            now.brightOn = static_cast<int32_t>(random.next() % 2);
        }
        flags[static_cast<std::size_t>(p)] = now;
    }
    return flags;
}

/// Oversampled input samples: a loud guitar, so the stages reach grid
/// current and cut-off.
std::vector<double> modelInput(int count, int variant)
{
    const std::vector<float> guitar =
        vorla::test::guitarSignal(static_cast<std::size_t>(count), 176400.0f, variant);
    std::vector<double> x(guitar.begin(), guitar.end());
    for (double& v : x)
        v *= 30.0;
    return x;
}

struct Amp
{
    std::unique_ptr<EffectCore> core = vorla::test::makeCore();
    AmpChannel& side(int i) { return core->amplifier().side(i); }
    double rate() const { return core->amplifier().appliedDesign().processRate; }
};

/// The reference: the samples pair by pair through processPair.
std::vector<double> reference(AmpChannel& side, std::vector<double> x,
                              const std::vector<PairFlags>& flags, const BlockSnapshot& s,
                              double rate)
{
    for (std::size_t p = 0; 2 * p + 1 < x.size(); ++p)
        processPair(side, x[2 * p], x[2 * p + 1], s, flags[p], rate);
    return x;
}

TEST(Pipeline, SwitchesChangingFromPairToPairGiveTheReferenceBits)
{
    const auto work = std::make_unique<SpanBuffers>();
    const BlockSnapshot s =
        makeBlockSnapshot(KnobSettings{0.9f, 0.7f, 0.8f, 0.3f, 0.6f, 0.8f, 0.4f, 0.9f});
    for (const LaneSet set : vorla::test::availableLaneSets())
        for (const bool changing : {false, true})
            for (const int count : {2, 6, 10, 16, 300})
            {
                SCOPED_TRACE(std::string(vorla::laneSetName(set)) +
                             (changing ? " changing " : " ") + std::to_string(count));
                const std::vector<PairFlags> flags = switchesFor(count / 2, changing, 99u);
                const std::vector<double> in1 = modelInput(count, 0);
                const std::vector<double> in2 = modelInput(count, 1);
                ModelCode code;
                code.useLanes(set);

                // One side.
                Amp mono;
                Amp ref1;
                std::vector<double> x = in1;
                runModel(mono.side(0), x.data(), count, flags.data(), s, mono.rate(), code, *work);
                const std::vector<double> expected1 =
                    reference(ref1.side(0), in1, flags, s, ref1.rate());
                EXPECT_TRUE(x.size() == expected1.size() &&
                            std::memcmp(x.data(), expected1.data(), x.size() * sizeof(double)) ==
                                0);
                EXPECT_TRUE(sameBytes(mono.side(0), ref1.side(0)));

                // Both sides, each against the reference of its own input.
                Amp stereo;
                Amp ref2;
                std::vector<__m128d> both(static_cast<std::size_t>(count));
                for (int u = 0; u < count; ++u)
                    both[static_cast<std::size_t>(u)] = _mm_setr_pd(
                        in1[static_cast<std::size_t>(u)], in2[static_cast<std::size_t>(u)]);
                runModel(stereo.side(0), stereo.side(1), both.data(), count, flags.data(), s,
                         stereo.rate(), code, *work);
                const std::vector<double> expected2 =
                    reference(ref2.side(1), in2, flags, s, ref2.rate());
                for (int u = 0; u < count; ++u)
                {
                    double lanes[2];
                    _mm_storeu_pd(lanes, both[static_cast<std::size_t>(u)]);
                    ASSERT_EQ(std::bit_cast<uint64_t>(lanes[0]),
                              std::bit_cast<uint64_t>(expected1[static_cast<std::size_t>(u)]))
                        << u;
                    ASSERT_EQ(std::bit_cast<uint64_t>(lanes[1]),
                              std::bit_cast<uint64_t>(expected2[static_cast<std::size_t>(u)]))
                        << u;
                }
                EXPECT_TRUE(sameBytes(stereo.side(0), ref1.side(0)));
                EXPECT_TRUE(sameBytes(stereo.side(1), ref2.side(1)));
            }
}

} // namespace
