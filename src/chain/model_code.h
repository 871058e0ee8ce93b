// SPDX-License-Identifier: GPL-3.0-or-later
// model_code.h - which compiled code the amplifier's model runs on.
//
// The model is compiled several times over: for SSE2 (every x86-64
// processor), for AVX and for AVX-512, each with the shaper's exp called
// from the C library or taken inline.  Every choice gives the same bits;
// the amplifier takes the best this processor and C library allow, and
// tests set each in turn to compare them.
#pragma once

#include "dsp/exact_exp.h"
#include "dsp/lanes.h"

namespace vorla {

/// The instruction sets the model has lane layouts for.
enum class LaneSet
{
    Sse2,   // every x86-64 processor: two double lanes
    Avx,    // four double lanes
    Avx512, // eight double lanes and 32 registers (stereo keeps both sides'
            // stages in one step)
};

/// The best set this processor offers.
inline LaneSet bestLaneSet() noexcept
{
    if (processorHasAvx512())
        return LaneSet::Avx512;
    return processorHasAvx() ? LaneSet::Avx : LaneSet::Sse2;
}

struct ModelCode
{
    /// The instruction set the model runs on, chosen from the processor
    /// when the amplifier is created.
    LaneSet lanes = bestLaneSet();
    /// True when the shaper may take the library's exp inline
    /// (dsp/exact_exp.h); otherwise it calls std::exp.
    bool inlineExp = fusedExpMatchesLibrary();
};

} // namespace vorla
