// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/vorla.h"

#include "effect/bounded_text.h"
#include "effect/identity.h"
#include "plugin/sd_editor.h"

#include <cstring>
#include <new>

namespace {

constexpr int32_t kUniqueId = fourCharId('Z', 'K', 'W', 'T');

} // namespace

Vorla::Vorla(audioMasterCallback master) : AudioEffectX(master, kNumPrograms, kNumParams)
{
    // The core is built: the bank, program 0, the design at the default
    // rate and every stage at its operating point.
    canProcessReplacing(true);
    programsAreChunks(true);
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(kUniqueId);

    // The editor registers itself as it is built (editor, effFlagsHasEditor);
    // without memory for it the effect runs without an editor.
    new (std::nothrow) SDEditor(this);
    effectCore.addListener(this);

    resume();
}

Vorla::~Vorla()
{
    effectCore.removeListener(this);
}

void Vorla::parameterChanged(int32_t index, float value) noexcept
{
    if (editorLink != nullptr)
        editorLink->setParameter(index, value);
}

void Vorla::setSampleRate(float rate)
{
    if (effectCore.setSampleRate(rate))
        AudioEffect::setSampleRate(rate);
}

void Vorla::processReplacing(float** inputs, float** outputs, int32_t sampleFrames) noexcept
{
    effectCore.process(inputs, outputs, sampleFrames);
}

void Vorla::setParameter(int32_t index, float value) noexcept
{
    effectCore.setParameter(index, value);
}

float Vorla::getParameter(int32_t index) noexcept
{
    return effectCore.parameter(index);
}

int32_t Vorla::getProgram()
{
    return effectCore.currentProgram();
}

void Vorla::setProgram(int32_t program)
{
    effectCore.selectProgram(program);
}

void Vorla::setProgramName(char* name)
{
    effectCore.setProgramName(name);
}

void Vorla::getProgramName(char* name)
{
    effectCore.programName(effectCore.currentProgram(), name, kVstMaxProgNameLen);
}

bool Vorla::getProgramNameIndexed(int32_t /*category*/, int32_t index, char* text)
{
    return effectCore.programName(index, text, kVstMaxProgNameLen);
}

int32_t Vorla::getChunk(void** data, bool isPreset)
{
    const auto scope = isPreset ? vorla::StateScope::Program : vorla::StateScope::Bank;
    const std::size_t size = effectCore.saveState(scope, chunk.data(), chunk.size());
    *data = chunk.data();
    return static_cast<int32_t>(size);
}

int32_t Vorla::setChunk(void* data, int32_t byteSize, bool isPreset)
{
    if (byteSize < 0)
        return 0;
    const auto scope = isPreset ? vorla::StateScope::Program : vorla::StateScope::Bank;
    return effectCore.loadState(scope, data, static_cast<std::size_t>(byteSize)) ? 1 : 0;
}

void Vorla::getParameterName(int32_t index, char* text)
{
    // Written in full: several names are longer than the eight characters
    // the interface suggests, and hosts give room for them.
    vorla::EffectState::parameterName(index, text, vorla::kParameterNameSize);
}

void Vorla::getParameterLabel(int32_t index, char* label)
{
    // Only Volume has a unit; every other label is left as the host gave it.
    vorla::EffectState::parameterLabel(index, label, kVstMaxParamStrLen + 1);
}

void Vorla::getParameterDisplay(int32_t index, char* text)
{
    effectCore.parameterDisplay(index, text, kVstMaxParamStrLen + 1);
}

bool Vorla::getEffectName(char* name)
{
    vorla::copyBounded(name, vorla::kProductName, kVstMaxEffectNameLen);
    return true;
}

bool Vorla::getVendorString(char* text)
{
    vorla::copyBounded(text, vorla::kVendorName, kVstMaxVendorStrLen);
    return true;
}

bool Vorla::getProductString(char* text)
{
    vorla::copyBounded(text, vorla::kProductName, kVstMaxProductStrLen);
    return true;
}

int32_t Vorla::getVendorVersion()
{
    return vorla::kVendorVersion;
}
