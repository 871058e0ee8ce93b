// The voicing tables: what the rest of the chain derives from them holds
// every stage and biquad of a side exactly once.
#include "chain/voicing_graph.h"

#include "chain/resample.h"

#include <gtest/gtest.h>

namespace vorla {
namespace {

constexpr bool stagesAreDistinct()
{
    for (int a = 0; a < kStageCount; ++a)
        for (int b = a + 1; b < kStageCount; ++b)
            if (kStageUses[static_cast<std::size_t>(a)].stage ==
                kStageUses[static_cast<std::size_t>(b)].stage)
                return false;
    return true;
}

constexpr bool biquadsAreDistinct()
{
    for (int a = 0; a < kBiquadCount; ++a)
        for (int b = a + 1; b < kBiquadCount; ++b)
            if (kBiquadUses[static_cast<std::size_t>(a)].filter ==
                kBiquadUses[static_cast<std::size_t>(b)].filter)
                return false;
    return true;
}

// AmpChannel holds seven stages and eleven biquads besides the tone stack
// and the resamplers; the tables name each of them once.
static_assert(stagesAreDistinct() && biquadsAreDistinct());
static_assert(sizeof(AmpChannel) == sizeof(ToneStack) + kStageCount * sizeof(TriodeStage) +
                                        kBiquadCount * sizeof(Biquad) +
                                        2 * (sizeof(HalfbandFilter12) + sizeof(HalfbandFilter8) +
                                             sizeof(HalfbandFilter4)));
static_assert(stageIndex(&AmpChannel::inputStage) == 0);
static_assert(biquadIndex(&AmpChannel::dcBlocker) == kBiquadCount - 1);

TEST(VoicingGraph, EveryTableBiquadIsDesignedAtTheProcessingRate)
{
    // A design leaves a finite, non-zero normaliser; a biquad the tables
    // missed would keep the zeros of a reset side.
    AmpChannel side{};
    restAmpChannel(side, makeChainDesign(44100.0f, 4));
    for (const Element& use : kBiquadUses)
    {
        const Biquad& bq = side.*use.filter;
        EXPECT_GT(bq.norm, 0.0);
        EXPECT_TRUE(std::isfinite(bq.b0 + bq.b1 + bq.b2 + bq.a1 + bq.a2));
    }
    // The DC blocker's input history starts at the tube curve's rest output.
    EXPECT_EQ(side.dcBlocker.x1, kTubeRestOutput);
}

} // namespace
} // namespace vorla
