// SPDX-License-Identifier: GPL-3.0-or-later
// The voicing tables: what the rest of the chain derives from them holds
// every stage and biquad of a side exactly once.
#include "chain/voicing_tables.h"

#include "chain/amp_channel.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>

namespace vorla {
namespace {

/// True when no two entries of `uses` name the same member of AmpChannel.
template <class Use, std::size_t N, class Member>
constexpr bool namesAreDistinct(const std::array<Use, N>& uses, Member Use::*name)
{
    for (std::size_t a = 0; a < N; ++a)
        for (std::size_t b = a + 1; b < N; ++b)
            if (uses[a].*name == uses[b].*name)
                return false;
    return true;
}

// AmpChannel holds seven stages and eleven biquads besides the tone stack
// and the resamplers; the tables name each of them once.
static_assert(namesAreDistinct(kStageUses, &StageUse::stage) &&
              namesAreDistinct(kBiquadUses, &Element::filter));
static_assert(sizeof(AmpChannel) == sizeof(ToneStack) + kStageCount * sizeof(TriodeStage) +
                                        kBiquadCount * sizeof(Biquad) +
                                        2 * (sizeof(HalfbandFilter12) + sizeof(HalfbandFilter8) +
                                             sizeof(HalfbandFilter4)));
static_assert(stageIndex(&AmpChannel::inputStage) == 0);
static_assert(biquadIndex(&AmpChannel::dcBlocker) == kBiquadCount - 1);

TEST(VoicingTables, EveryTableBiquadIsDesignedAtTheProcessingRate)
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
