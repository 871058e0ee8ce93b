// SPDX-License-Identifier: GPL-3.0-or-later
// Programs, names and state blobs.
//
// A state blob is the raw bytes of one program record or of the whole bank.
// Hosts store them in projects and presets and hand them back later,
// possibly to another build on another machine, so only the exact record
// layout is trusted.  A blob of the wrong size, or one holding a value that
// is not a number (NaN, an infinity, or a memory double too large for a
// float), is refused whole; every other value is taken as it is (the model
// reads parameters within 0..1, so out-of-range values are harmless and
// round-trip exactly).
#include "effect/bounded_text.h"
#include "effect/effect_state.h"

#include <atomic>
#include <cstring>

namespace vorla {

VorlaProgram& EffectState::currentRecord() noexcept
{
    return programs[static_cast<std::size_t>(current.load(std::memory_order_relaxed))];
}

const VorlaProgram& EffectState::currentRecord() const noexcept
{
    return programs[static_cast<std::size_t>(current.load(std::memory_order_relaxed))];
}

bool EffectState::selectProgram(int32_t program) noexcept
{
    if (program < 0 || program >= kNumPrograms)
        return false;
    current.store(program, std::memory_order_relaxed);
    VorlaProgram& record = currentRecord();

    copyMemoryRelaxed(cleanMemory, record.cleanMemory);
    copyMemoryRelaxed(crunchMemory, record.crunchMemory);
    copyMemoryRelaxed(overdriveMemory, record.overdriveMemory);

    // Replaying the stored switches applies the program: Channel and
    // Clean/Crunch select the voicing and recall its knob memory, Quality
    // runs the rate design.  The other stored values are not applied
    // directly; the knobs come from the memory.
    for (const int32_t index : {kChannel, kCleanCrunch, kMonoStereo, kQuality})
    {
        const float value = std::atomic_ref<float>(record.values[storageSlot(index)])
                                .load(std::memory_order_relaxed);
        setParameter(index, value);
    }
    return true;
}

void EffectState::setProgramName(const char* name) noexcept
{
    VorlaProgram& record = currentRecord();
    const std::size_t length = boundedLength(name, kProgramNameMaxChars);
    std::memset(record.name, 0, sizeof(record.name));
    std::memcpy(record.name, name, length);
}

bool EffectState::programName(int32_t program, char* text, std::size_t size) const noexcept
{
    if (program < 0 || program >= kNumPrograms || size == 0)
        return false;
    // A name read from a blob may fill all 24 bytes without a terminator;
    // it is cut at 23 characters.
    const VorlaProgram& record = programs[static_cast<std::size_t>(program)];
    std::size_t length = boundedLength(record.name, kProgramNameMaxChars);
    if (length > size - 1)
        length = size - 1;
    std::memcpy(text, record.name, length);
    text[length] = '\0';
    return true;
}

VorlaProgram EffectState::programRecord(int32_t program) const noexcept
{
    const VorlaProgram& record = program >= 0 && program < kNumPrograms
                                     ? programs[static_cast<std::size_t>(program)]
                                     : currentRecord();
    VorlaProgram copy;
    copyProgramRelaxed(copy, record);
    return copy;
}

std::size_t EffectState::saveState(StateScope scope, void* data,
                                   std::size_t capacity) const noexcept
{
    const std::size_t size = stateSize(scope);
    if (data == nullptr || capacity < size)
        return 0;
    // Record by record through a copy: another thread's parameter write may
    // be storing into the live records meanwhile.
    auto* out = static_cast<unsigned char*>(data);
    if (scope == StateScope::Program)
    {
        const VorlaProgram copy = programRecord(currentProgram());
        std::memcpy(out, &copy, sizeof(copy));
        return size;
    }
    for (int32_t program = 0; program < kNumPrograms; ++program)
    {
        const VorlaProgram copy = programRecord(program);
        std::memcpy(out + static_cast<std::size_t>(program) * sizeof(copy), &copy, sizeof(copy));
    }
    return size;
}

bool EffectState::loadState(StateScope scope, const void* data, std::size_t size) noexcept
{
    if (data == nullptr || size != stateSize(scope))
        return false;
    if (scope == StateScope::Program)
    {
        // The caller's bytes may sit at any address: copy them out first.
        VorlaProgram loaded;
        std::memcpy(&loaded, data, sizeof(loaded));
        if (!recordIsUsable(loaded))
            return false;
        copyProgramRelaxed(currentRecord(), loaded);
    }
    else
    {
        std::array<VorlaProgram, kNumPrograms> loaded;
        std::memcpy(loaded.data(), data, kBankChunkSize);
        for (const VorlaProgram& program : loaded)
            if (!recordIsUsable(program))
                return false;
        for (std::size_t i = 0; i < loaded.size(); ++i)
            copyProgramRelaxed(programs[i], loaded[i]);
    }
    selectProgram(currentProgram());
    return true;
}

} // namespace vorla
