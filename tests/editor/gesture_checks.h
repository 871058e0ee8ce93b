// SPDX-License-Identifier: GPL-3.0-or-later
// gesture_checks.h - the edit gestures (begin, automate ..., end) among the
// calls a plug-in made to its host, as the editor tests check them.  A call
// is any record with opcode, index and opt: the library host's HostCall or
// the in-process tests' RecordedCall.
#pragma once

#include "plugin/vst_interface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vorla::test {

/// The begin-edit, automate and end-edit calls among `calls`.
template <class Call> std::vector<Call> editCalls(const std::vector<Call>& calls)
{
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.opcode == audioMasterBeginEdit || c.opcode == audioMasterAutomate ||
            c.opcode == audioMasterEndEdit)
            out.push_back(c);
    return out;
}

template <class Call> int countCalls(const std::vector<Call>& calls, int32_t opcode)
{
    int n = 0;
    for (const Call& c : calls)
        n += c.opcode == opcode;
    return n;
}

/// `edits` are one gesture on `tag` with at least one change, the last
/// automated value being `value` (the effect's).
template <class Call> void expectGesture(const std::vector<Call>& edits, int32_t tag, float value)
{
    ASSERT_GE(edits.size(), 3u) << "tag " << tag;
    EXPECT_EQ(edits.front().opcode, audioMasterBeginEdit);
    EXPECT_EQ(edits.back().opcode, audioMasterEndEdit);
    for (size_t i = 0; i < edits.size(); ++i)
    {
        EXPECT_EQ(edits[i].index, tag);
        if (i > 0 && i + 1 < edits.size())
        {
            EXPECT_EQ(edits[i].opcode, audioMasterAutomate);
        }
    }
    EXPECT_EQ(edits[edits.size() - 2].opt, value);
}

/// `drag` is one gesture on `tag` whose automated values only rise (a knob
/// dragged upwards), ending at `last`.
template <class Call> void expectRisingDrag(const std::vector<Call>& drag, int32_t tag, float last)
{
    ASSERT_GE(drag.size(), 3u);
    EXPECT_EQ(drag.front().opcode, audioMasterBeginEdit);
    EXPECT_EQ(drag.back().opcode, audioMasterEndEdit);
    for (size_t i = 1; i + 1 < drag.size(); ++i)
    {
        EXPECT_EQ(drag[i].opcode, audioMasterAutomate);
        EXPECT_EQ(drag[i].index, tag);
        if (i > 1)
        {
            EXPECT_GT(drag[i].opt, drag[i - 1].opt);
        }
    }
    EXPECT_NEAR(drag[drag.size() - 2].opt, last, 1e-5f);
}

} // namespace vorla::test
