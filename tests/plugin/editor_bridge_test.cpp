// SPDX-License-Identifier: GPL-3.0-or-later
// The effect's side of the editor bridge, with a recording editor in place
// of the real one: registration, forwarding of every setParameter, the edit
// gesture callbacks and the editor opcodes.
#include "plugin/aeff_gui_editor.h"
#include "plugin/module.h"
#include "plugin/vorla.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>

#include <memory>
#include <utility>
#include <vector>

namespace {

struct Callback
{
    bool withEffect;
    int32_t opcode;
    int32_t index;
    intptr_t value;
    float opt;
};

std::vector<Callback> callbacks;

intptr_t recordingHost(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void*,
                       float opt)
{
    callbacks.push_back({effect != nullptr, opcode, index, value, opt});
    return opcode == audioMasterVersion ? kVstVersion : 1;
}

class RecordingEditor : public AEffGUIEditor
{
public:
    explicit RecordingEditor(AudioEffect* owner) : AEffGUIEditor(owner)
    {
        rect = ERect{0, 0, 250, 660};
    }
    void setParameter(int32_t index, float value) noexcept override
    {
        forwarded.emplace_back(index, value);
    }
    bool onKeyDown(VstKeyCode& key) override
    {
        lastKey = key;
        return key.character == 'x';
    }

    std::vector<std::pair<int32_t, float>> forwarded;
    VstKeyCode lastKey{};
};

struct EffectWithEditor
{
    EffectWithEditor()
    {
        callbacks.clear();
        effect = std::make_unique<Vorla>(&recordingHost);
        delete effect->getEditor(); // the effect's own editor makes way for the recorder
        editor = new RecordingEditor(effect.get()); // owned by the effect
        callbacks.clear();
    }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f)
    {
        AEffect* record = effect->getAeffect();
        return record->dispatcher(record, opcode, index, value, ptr, opt);
    }
    std::unique_ptr<Vorla> effect;
    RecordingEditor* editor;
};

} // namespace

TEST(EditorBridge, EditorRegistersWithTheEffect)
{
    EffectWithEditor fixture;
    EXPECT_EQ(fixture.effect->getEditor(), fixture.editor);
    EXPECT_EQ(fixture.effect->getAeffect()->flags, 0x31);
    EXPECT_EQ(fixture.editor->getEffect(), fixture.effect.get());
    EXPECT_FALSE(fixture.editor->isOpen());
}

TEST(EditorBridge, EverySetParameterReachesTheEditorAsReceived)
{
    EffectWithEditor fixture;
    fixture.effect->setParameter(kLow, 0.8f);
    fixture.effect->setParameter(20, 0.3f);
    fixture.effect->setParameter(-1, 0.4f);
    // In Clean the drive knob is held at 0.5 but the editor sees 0.9.
    fixture.effect->setParameter(kDrive1, 0.9f);
    const std::vector<std::pair<int32_t, float>> expected = {
        {kLow, 0.8f}, {20, 0.3f}, {-1, 0.4f}, {kDrive1, 0.9f}};
    EXPECT_EQ(fixture.editor->forwarded, expected);
    EXPECT_EQ(fixture.effect->getParameter(kDrive1), 0.5f);
    // Index 20 changed nothing in the effect.
    for (int32_t index = 0; index < kNumParams; ++index)
    {
        if (index != kLow)
        {
            EXPECT_EQ(fixture.effect->getParameter(index), vorla::parameterDefault(index)) << index;
        }
    }
}

TEST(EditorBridge, VoicingRecallIsForwardedInReplayOrder)
{
    EffectWithEditor fixture;
    fixture.effect->setParameter(kChannel, 1.0f);
    const std::vector<int32_t> expectedOrder = {kChannel, kInput, kDrive1, kDrive2,
                                                kLow,     kMid,   kHigh,   kContour,
                                                kVolume,  kBoost, kBright, kPowerAmp};
    // The replay runs inside the kChannel call, so its own forwarding comes last.
    std::vector<int32_t> order;
    for (const auto& [index, value] : fixture.editor->forwarded)
        order.push_back(index);
    std::vector<int32_t> replayFirst(expectedOrder.begin() + 1, expectedOrder.end());
    replayFirst.push_back(kChannel);
    EXPECT_EQ(order, replayFirst);
    // No host callback for recalled values.
    EXPECT_TRUE(callbacks.empty());
}

TEST(EditorBridge, ProgramChangeMovesTheControls)
{
    EffectWithEditor fixture;
    fixture.dispatch(effSetProgram, 0, 2);
    // Channel, then the Clean replay, then Clean/Crunch with another replay,
    // Mono/Stereo and Quality: 1 + 10 + 1 + 10 + 1 + 1 forwarded calls.
    EXPECT_EQ(fixture.editor->forwarded.size(), 24u);
    EXPECT_EQ(fixture.editor->forwarded.back().first, kQuality);
}

TEST(EditorBridge, AutomatedChangeTellsTheHostAfterTheEffect)
{
    EffectWithEditor fixture;
    fixture.effect->setParameterAutomated(kVolume, 0.25f);
    EXPECT_EQ(fixture.effect->getParameter(kVolume), 0.25f);
    ASSERT_EQ(fixture.editor->forwarded.size(), 1u);
    ASSERT_EQ(callbacks.size(), 1u);
    EXPECT_TRUE(callbacks[0].withEffect);
    EXPECT_EQ(callbacks[0].opcode, audioMasterAutomate);
    EXPECT_EQ(callbacks[0].index, kVolume);
    EXPECT_EQ(callbacks[0].value, 0);
    EXPECT_EQ(callbacks[0].opt, 0.25f);
}

TEST(EditorBridge, GestureAndIdleCallbacks)
{
    EffectWithEditor fixture;
    EXPECT_TRUE(fixture.editor->beginEdit(kMid));
    fixture.effect->setParameterAutomated(kMid, 0.6f);
    EXPECT_TRUE(fixture.editor->endEdit(kMid));
    fixture.effect->masterIdle();
    ASSERT_EQ(callbacks.size(), 4u);
    EXPECT_EQ(callbacks[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(callbacks[0].index, kMid);
    EXPECT_EQ(callbacks[1].opcode, audioMasterAutomate);
    EXPECT_EQ(callbacks[2].opcode, audioMasterEndEdit);
    EXPECT_EQ(callbacks[2].index, kMid);
    EXPECT_EQ(callbacks[3].opcode, audioMasterIdle);
}

TEST(EditorBridge, EditorOpcodes)
{
    EffectWithEditor fixture;
    ERect* rect = nullptr;
    EXPECT_EQ(fixture.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 660);
    EXPECT_EQ(rect->bottom - rect->top, 250);
    for (intptr_t mode : {0, 1, 2})
        EXPECT_EQ(fixture.dispatch(effSetEditKnobMode, 0, mode), 1);
    // The basic editor's open remembers the window but builds nothing.
    int window = 0;
    EXPECT_EQ(fixture.dispatch(effEditOpen, 0, 0, &window), 0);
    EXPECT_TRUE(fixture.editor->isOpen());
    EXPECT_EQ(fixture.dispatch(effEditIdle), 0);
    EXPECT_EQ(fixture.dispatch(effEditClose), 0);
    EXPECT_FALSE(fixture.editor->isOpen());
}

TEST(EditorBridge, KeyEventsCarryCharacterVirtualKeyAndModifier)
{
    EffectWithEditor fixture;
    EXPECT_EQ(fixture.dispatch(effEditKeyDown, 'x', 0x10D, nullptr, 9.7f), 1);
    EXPECT_EQ(fixture.editor->lastKey.character, 'x');
    EXPECT_EQ(fixture.editor->lastKey.virt, 0x0D);
    EXPECT_EQ(fixture.editor->lastKey.modifier, 9);
    EXPECT_EQ(fixture.dispatch(effEditKeyDown, 'y', 0, nullptr, 258.0f), 0);
    EXPECT_EQ(fixture.editor->lastKey.modifier, 2);
    fixture.dispatch(effEditKeyDown, 'y', 0, nullptr, std::nanf(""));
    EXPECT_EQ(fixture.editor->lastKey.modifier, 0);
    // The basic editor does not use key-up.
    EXPECT_EQ(fixture.dispatch(effEditKeyUp, 'x', 0, nullptr, 0.0f), 0);
}

TEST(EditorBridge, ClosingTheEffectDeletesTheEditor)
{
    static int destroyed = 0;
    struct CountingEditor : AEffGUIEditor
    {
        using AEffGUIEditor::AEffGUIEditor;
        ~CountingEditor() override { ++destroyed; }
    };
    auto* effect = new Vorla(&recordingHost);
    delete effect->getEditor();
    new CountingEditor(effect);
    AEffect* record = effect->getAeffect();
    EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(destroyed, 1);
}

TEST(ModuleHandle, IsTheLoadAddressOfTheCode)
{
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&vorla::moduleHandle), &info), 0);
    EXPECT_EQ(vorla::moduleHandle(), info.dli_fbase);
}
