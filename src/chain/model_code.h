// SPDX-License-Identifier: GPL-3.0-or-later
// model_code.h - which compiled code the amplifier's model runs on.
//
// The model is compiled several times over: for SSE2 (every x86-64
// processor), for AVX and for AVX-512, each with the shaper's exp called
// from the C library or taken inline.  Every choice gives the same bits;
// which is fastest depends on the processor's core more than on its
// instruction sets, so the amplifier takes what it measures
// (chain/lane_choice.h), and tests set each in turn to compare them.
#pragma once

#include "dsp/exact_exp.h"
#include "dsp/lanes.h"

namespace vorla {

/// The lane layouts the model is compiled for (chain/stage_lanes.h).
enum class LaneSet
{
    /// Every x86-64 processor: two double lanes.
    Sse2,
    /// Four double lanes.
    Avx,
    /// Eight double lanes and 32 registers: stereo steps both sides'
    /// stages in one 512-bit step.
    Avx512,
    /// AVX-512's instructions and 32 registers, stereo's stages in a 256-
    /// and a 128-bit step as with AVX: where a 512-bit division or square
    /// root takes longer than a 256-bit one, two shorter steps can beat one
    /// long one.
    Avx512Narrow,
};

/// Every set, in the order of the code tables.
inline constexpr LaneSet kLaneSets[] = {LaneSet::Sse2, LaneSet::Avx, LaneSet::Avx512,
                                        LaneSet::Avx512Narrow};

/// False for a set whose one-side code is another set's: mono's three
/// stages fill one AVX step either way, so both AVX-512 sets run the same
/// mono code.
constexpr bool hasMonoCodeOfItsOwn(LaneSet set) noexcept
{
    return set != LaneSet::Avx512Narrow;
}

/// True when this processor can run the code of `set`.
inline bool processorHasLaneSet(LaneSet set) noexcept
{
    switch (set)
    {
    case LaneSet::Sse2: return true;
    case LaneSet::Avx: return processorHasAvx();
    case LaneSet::Avx512:
    case LaneSet::Avx512Narrow: return processorHasAvx512();
    }
    return false;
}

/// The widest set this processor offers.
inline LaneSet bestLaneSet() noexcept
{
    if (processorHasAvx512())
        return LaneSet::Avx512;
    return processorHasAvx() ? LaneSet::Avx : LaneSet::Sse2;
}

/// A name for reports and benchmark labels.
inline const char* laneSetName(LaneSet set) noexcept
{
    switch (set)
    {
    case LaneSet::Sse2: return "SSE2";
    case LaneSet::Avx: return "AVX";
    case LaneSet::Avx512: return "AVX-512";
    case LaneSet::Avx512Narrow: return "AVX-512 narrow";
    }
    return "?";
}

struct ModelCode
{
    /// The lane layouts the model runs on, one side and both sides.
    LaneSet mono = bestLaneSet();
    LaneSet stereo = bestLaneSet();
    /// True when the shaper may take the library's exp inline
    /// (dsp/exact_exp.h); otherwise it calls std::exp.
    bool inlineExp = fusedExpMatchesLibrary();

    /// One side and both on `set`.
    void useLanes(LaneSet set) noexcept { mono = stereo = set; }
};

} // namespace vorla
