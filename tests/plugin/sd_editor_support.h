// SPDX-License-Identifier: GPL-3.0-or-later
// sd_editor_support.h - a VST 2.4 effect created directly (no library)
// whose host callback records every call, for tests of the editor as the
// VST 2.4 shell presents it.
#pragma once

#include "editor/gesture_checks.h"
#include "plugin/sd_editor.h"
#include "plugin/vorla.h"

#include <functional>
#include <memory>
#include <vector>

namespace vorla::test {

struct RecordedCall
{
    int32_t opcode;
    int32_t index;
    float opt;
};

/// Calls of the recording host (UI thread only) and an optional hook run
/// for every call after it was recorded.
inline std::vector<RecordedCall>& recordedCalls()
{
    static std::vector<RecordedCall> calls;
    return calls;
}
inline std::function<void(int32_t opcode)>& hostHook()
{
    static std::function<void(int32_t)> hook;
    return hook;
}

inline intptr_t recordingHost(AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt)
{
    if (opcode == audioMasterVersion)
        return kVstVersion;
    recordedCalls().push_back({opcode, index, opt});
    if (hostHook())
        hostHook()(opcode);
    return 1;
}

/// The calls with one of the edit opcodes (begin, automate, end).
inline std::vector<RecordedCall> editCalls()
{
    return editCalls(recordedCalls());
}

inline int countCalls(int32_t opcode)
{
    return countCalls(recordedCalls(), opcode);
}

struct DirectEffect
{
    DirectEffect()
    {
        recordedCalls().clear();
        hostHook() = nullptr;
        effect = std::make_unique<Vorla>(&recordingHost);
        editor = static_cast<SDEditor*>(effect->getEditor());
    }
    ~DirectEffect() { hostHook() = nullptr; }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.f)
    {
        AEffect* record = effect->getAeffect();
        return record->dispatcher(record, opcode, index, value, ptr, opt);
    }
    std::unique_ptr<Vorla> effect;
    SDEditor* editor;
};

/// A parent handle the fake platform accepts.
inline void* fakeParent()
{
    static int parent;
    return &parent;
}

} // namespace vorla::test
