// SPDX-License-Identifier: GPL-3.0-or-later
// lane_sets.h - the instruction sets this processor can run the model on,
// for tests that compare them.
#pragma once

#include "chain/model_code.h"

#include <vector>

namespace vorla::test {

inline std::vector<LaneSet> availableLaneSets()
{
    std::vector<LaneSet> sets = {LaneSet::Sse2};
    if (processorHasAvx())
        sets.push_back(LaneSet::Avx);
    if (processorHasAvx512())
        sets.push_back(LaneSet::Avx512);
    return sets;
}

inline const char* laneSetName(LaneSet set)
{
    switch (set)
    {
    case LaneSet::Sse2: return "SSE2";
    case LaneSet::Avx: return "AVX";
    case LaneSet::Avx512: return "AVX-512";
    }
    return "?";
}

} // namespace vorla::test
