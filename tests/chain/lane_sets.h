// SPDX-License-Identifier: GPL-3.0-or-later
// lane_sets.h - the instruction sets this processor can run the model on,
// for tests that compare them.
#pragma once

#include "chain/model_code.h"

#include <vector>

namespace vorla::test {

inline std::vector<LaneSet> availableLaneSets()
{
    std::vector<LaneSet> sets;
    for (LaneSet set : kLaneSets)
        if (processorHasLaneSet(set))
            sets.push_back(set);
    return sets;
}

} // namespace vorla::test
