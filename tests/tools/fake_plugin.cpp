// SPDX-License-Identifier: GPL-3.0-or-later
// fake_plugin.cpp - a tiny stand-in effect for the renderer's tests.
//
// It speaks the same binary interface as the amplifier (entry, AEffect record,
// dispatcher) and reports the same fifteen parameter names, ten programs and
// 336/3360-byte chunks, but its sound is a plain gain: output = input x 2 x
// Volume, so a test can hear that a setting reached it.  Mono/Stereo works
// like the amplifier's: off copies the first side's output to both outputs.
//
// A chunk of the right size whose first byte is 0xFF is refused (result 0), so
// the renderer's handling of a refused chunk can be tested.
//
// It also polices the host: a processReplacing call before effOpen, before
// effSetSampleRate, outside effMainsChanged 1 ... 0, or with more frames than
// the announced block size writes NaN, which the renderer must report.
//
// Built three times: as is, with FAKE_RETURN_NULL (the entry refuses to create
// an effect) and with FAKE_EMIT_NAN (every 100th output sample is NaN).

#include "plugin/vst_interface.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int kParams = 15;
constexpr int kPrograms = 10;
constexpr int kRecordSize = 336;
constexpr int kVolume = 12;
constexpr int kMonoStereo = 13;
constexpr const char* kNames[kParams] = {
    "Input",         "Channel",     "Clean/Crunch", "Overdrive Boost",
    "Bright/Normal", "Drive1",      "Drive2",       "Low",
    "Mid",           "High",        "Contour",      "Power Amp",
    "Volume",        "Mono/Stereo", "LowQ/HighQ"};

struct Record
{
    char name[24];
    float values[kParams];
    unsigned char rest[kRecordSize - 24 - 4 * kParams];
};
static_assert(sizeof(Record) == kRecordSize);

struct FakeEffect
{
    AEffect record{};
    Record bank[kPrograms]{};
    int program = 0;
    bool opened = false;
    bool resumed = false;
    float sampleRate = 0.0f;
    intptr_t blockSize = 0;

    float* values() { return bank[program].values; }
};

FakeEffect* self(AEffect* effect)
{
    return static_cast<FakeEffect*>(effect->object);
}

intptr_t dispatcher(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                    float opt)
{
    FakeEffect* fake = self(effect);
    switch (opcode)
    {
    case effOpen: fake->opened = true; return 0;
    case effClose: delete fake; return 1;
    case effSetSampleRate: fake->sampleRate = opt; return 0;
    case effSetBlockSize: fake->blockSize = value; return 0;
    case effMainsChanged: fake->resumed = value != 0; return 0;
    case effSetProgram:
        if (value >= 0 && value < kPrograms)
            fake->program = int(value);
        return 0;
    case effGetProgram: return fake->program;
    case effGetParamName:
        if (index >= 0 && index < kParams)
            std::strcpy(static_cast<char*>(ptr), kNames[index]);
        return 0;
    case effGetChunk:
        *static_cast<void**>(ptr) =
            index ? static_cast<void*>(&fake->bank[fake->program]) : static_cast<void*>(fake->bank);
        return index ? kRecordSize : kRecordSize * kPrograms;
    case effSetChunk:
        if (index ? value != kRecordSize : value != kRecordSize * kPrograms)
            return 0;
        if (static_cast<const unsigned char*>(ptr)[0] == 0xFF) // our "corrupt chunk" marker
            return 0;
        std::memcpy(index ? static_cast<void*>(&fake->bank[fake->program])
                          : static_cast<void*>(fake->bank),
                    ptr, size_t(value));
        return 1;
    default: return 0;
    }
}

void setParameter(AEffect* effect, int32_t index, float value)
{
    if (index >= 0 && index < kParams)
        self(effect)->values()[index] = value;
}

float getParameter(AEffect* effect, int32_t index)
{
    return index >= 0 && index < kParams ? self(effect)->values()[index] : 0.0f;
}

void processReplacing(AEffect* effect, float** inputs, float** outputs, int32_t frames)
{
    FakeEffect* fake = self(effect);
    const bool hostInOrder =
        fake->opened && fake->resumed && fake->sampleRate > 0.0f && frames <= fake->blockSize;
    const float gain = 2.0f * fake->values()[kVolume];
    const bool stereo = fake->values()[kMonoStereo] >= 0.5f;
    for (int32_t i = 0; i < frames; ++i)
    {
        float left = inputs[0][i] * gain;
        float right = stereo ? inputs[1][i] * gain : left;
        if (!hostInOrder)
            left = right = std::numeric_limits<float>::quiet_NaN();
#ifdef FAKE_EMIT_NAN
        if (i % 100 == 0)
            left = std::numeric_limits<float>::quiet_NaN();
#endif
        outputs[0][i] = left;
        outputs[1][i] = right;
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host)
{
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
#ifdef FAKE_RETURN_NULL
    return nullptr;
#endif
    auto* fake = new FakeEffect();
    for (Record& record : fake->bank)
    {
        std::strcpy(record.name, "Init");
        for (int i = 0; i < kParams; ++i)
            record.values[i] = (i == 0 || (i >= 5 && i <= 12)) ? 0.5f : 0.0f;
    }
    AEffect& e = fake->record;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.processReplacing = processReplacing;
    e.numPrograms = kPrograms;
    e.numParams = kParams;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing | effFlagsProgramChunks;
    e.ioRatio = 1.0f;
    e.object = fake;
    e.uniqueID = fourCharId('F', 'a', 'k', 'e');
    return &e;
}
