// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/audio_effect.h"

#include "effect/bounded_text.h"
#include "effect/parameter_text.h"
#include "plugin/aeff_editor.h"

#include <cmath>
#include <cstring>

namespace {

// --- Record entries ---------------------------------------------------------
// Plain functions whose addresses stand in the AEffect record; each finds the
// effect through the record's `object` field.

AudioEffect* effectOf(AEffect* record)
{
    return static_cast<AudioEffect*>(record->object);
}

intptr_t dispatchEntry(AEffect* record, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                       float opt)
{
    AudioEffect* effect = effectOf(record);
    if (opcode == effClose)
    {
        // The host's last call: let the effect close, then destroy it.  The
        // record lives inside the object and is invalid afterwards.
        effect->dispatcher(opcode, index, value, ptr, opt);
        delete effect;
        return 1;
    }
    return effect->dispatcher(opcode, index, value, ptr, opt);
}

void processEntry(AEffect* record, float** inputs, float** outputs, int32_t sampleFrames)
{
    effectOf(record)->process(inputs, outputs, sampleFrames);
}

void processReplacingEntry(AEffect* record, float** inputs, float** outputs, int32_t sampleFrames)
{
    effectOf(record)->processReplacing(inputs, outputs, sampleFrames);
}

void processDoubleReplacingEntry(AEffect* record, double** inputs, double** outputs,
                                 int32_t sampleFrames)
{
    effectOf(record)->processDoubleReplacing(inputs, outputs, sampleFrames);
}

void setParameterEntry(AEffect* record, int32_t index, float value)
{
    effectOf(record)->setParameter(index, value);
}

float getParameterEntry(AEffect* record, int32_t index)
{
    return effectOf(record)->getParameter(index);
}

// Texts that the dispatcher hands to the effect through `ptr`; a host that
// passes no buffer gets 0 instead of a crash.
bool writesThroughPointer(int32_t opcode)
{
    switch (opcode)
    {
    case effSetProgramName:
    case effGetProgramName:
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
    case effEditGetRect:
    case effGetChunk: return true;
    default: return false;
    }
}

} // namespace

AudioEffect::AudioEffect(audioMasterCallback master, int32_t programs, int32_t params)
    : audioMaster(master), numPrograms(programs), numParams(params)
{
    std::memset(&effectRecord, 0, sizeof(effectRecord));
    effectRecord.magic = kEffectMagic;
    effectRecord.dispatcher = &dispatchEntry;
    effectRecord.process = &processEntry;
    effectRecord.setParameter = &setParameterEntry;
    effectRecord.getParameter = &getParameterEntry;
    effectRecord.numPrograms = programs;
    effectRecord.numParams = params;
    effectRecord.numInputs = 1;
    effectRecord.numOutputs = 2;
    effectRecord.flags = effFlagsCanReplacing;
    effectRecord.ioRatio = 1.0f;
    effectRecord.object = this;
    effectRecord.uniqueID = 0;
    effectRecord.version = 1;
    effectRecord.processReplacing = &processReplacingEntry;
    effectRecord.processDoubleReplacing = &processDoubleReplacingEntry;
}

AudioEffect::~AudioEffect()
{
    // The host has closed the editor's window before effClose; deleting the
    // editor here does not touch a window.
    editorLink = nullptr;
    delete editor;
    editor = nullptr;
}

intptr_t AudioEffect::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                 float opt)
{
    if (ptr == nullptr && writesThroughPointer(opcode))
        return 0;

    switch (opcode)
    {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
        // Compared before narrowing, so a huge value cannot wrap into range.
        if (value >= 0 && value < numPrograms)
            setProgram(static_cast<int32_t>(value));
        return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName: setProgramName(static_cast<char*>(ptr)); return 0;
    case effGetProgramName: getProgramName(static_cast<char*>(ptr)); return 0;
    case effGetParamLabel: getParameterLabel(index, static_cast<char*>(ptr)); return 0;
    case effGetParamDisplay: getParameterDisplay(index, static_cast<char*>(ptr)); return 0;
    case effGetParamName: getParameterName(index, static_cast<char*>(ptr)); return 0;
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(static_cast<int32_t>(value)); return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect:
        return editor != nullptr && editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen: return editor != nullptr && editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor != nullptr)
            editor->close();
        return 0;
    case effEditIdle:
        if (editor != nullptr)
            editor->idle();
        return 0;
    case effIdentify: return fourCharId('N', 'v', 'E', 'f');
    case effGetChunk: return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        // The size arrives pointer-sized; one that does not fit the chunk
        // interface's 32-bit size can match no chunk and is refused here.
        if (value < 0 || value > INT32_MAX)
            return 0;
        return setChunk(ptr, static_cast<int32_t>(value), index != 0);
    default: return 0;
    }
}

void AudioEffect::registerEditor(AEffEditor* newEditor, EditorParameterLink* link)
{
    editor = newEditor;
    editorLink = link;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

intptr_t AudioEffect::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    if (audioMaster == nullptr)
        return 0;
    return audioMaster(&effectRecord, opcode, index, value, ptr, opt);
}

void AudioEffect::setParameterAutomated(int32_t index, float value)
{
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

int32_t AudioEffect::getMasterVersion()
{
    if (audioMaster == nullptr)
        return 1;
    const intptr_t version = callHost(audioMasterVersion);
    return version == 0 ? 1 : static_cast<int32_t>(version);
}

int32_t AudioEffect::getCurrentUniqueId()
{
    return static_cast<int32_t>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle()
{
    callHost(audioMasterIdle);
}

bool AudioEffect::isInputConnected(int32_t input)
{
    // The host answers 0 for a connected pin.
    if (audioMaster == nullptr)
        return false;
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(int32_t output)
{
    if (audioMaster == nullptr)
        return false;
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

// --- Text helpers -----------------------------------------------------------

void AudioEffect::dB2string(float value, char* text, int32_t maxLen)
{
    vorla::formatDecibels(value, text, static_cast<std::size_t>(maxLen));
}

void AudioEffect::Hz2string(float samples, char* text, int32_t maxLen)
{
    const float rate = getSampleRate();
    if (samples == 0.0f)
    {
        float2string(0.0f, text, maxLen);
        return;
    }
    float2string(rate / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, int32_t maxLen)
{
    const float rate = getSampleRate();
    float2string(rate > 0.0f ? samples * 1000.0f / rate : 0.0f, text, maxLen);
}

void AudioEffect::float2string(float value, char* text, int32_t maxLen)
{
    vorla::formatFloat(value, text, static_cast<std::size_t>(maxLen));
}

void AudioEffect::int2string(int32_t value, char* text, int32_t maxLen)
{
    const auto limit = static_cast<std::size_t>(maxLen);
    if (value >= 100000000 || value <= -10000000)
    {
        vorla::copyBounded(text, "Huge!", limit);
        return;
    }
    char reversed[12];
    int32_t length = 0;
    const bool negative = value < 0;
    int64_t magnitude = negative ? -static_cast<int64_t>(value) : value;
    do
    {
        reversed[length++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    char result[14];
    int32_t out = 0;
    if (negative)
        result[out++] = '-';
    while (length > 0)
        result[out++] = reversed[--length];
    result[out] = '\0';
    vorla::copyBounded(text, result, limit);
}
