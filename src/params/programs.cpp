// Programs, names and chunks.
//
// A chunk is the raw bytes of one program record (preset) or of the whole
// bank.  The host stores them in projects and presets and hands them back
// later, possibly to another build of the plug-in, so only the exact record
// layout is trusted: nothing but the size is checked, and values are taken
// as they are.
#include "params/program.h"
#include "plugin/host_text.h"
#include "plugin/vorla.h"

#include <atomic>
#include <cstring>

namespace {

constexpr double ChannelMemory::*kChannelMemoryFields[] = {
    &ChannelMemory::input,    &ChannelMemory::drive1,  &ChannelMemory::drive2,
    &ChannelMemory::bright,   &ChannelMemory::contour, &ChannelMemory::low,
    &ChannelMemory::mid,      &ChannelMemory::high,    &ChannelMemory::volume,
    &ChannelMemory::powerAmp,
};

constexpr double OverdriveMemory::*kOverdriveMemoryFields[] = {
    &OverdriveMemory::input,  &OverdriveMemory::drive1,   &OverdriveMemory::drive2,
    &OverdriveMemory::bright, &OverdriveMemory::contour,  &OverdriveMemory::low,
    &OverdriveMemory::mid,    &OverdriveMemory::high,     &OverdriveMemory::volume,
    &OverdriveMemory::boost,  &OverdriveMemory::powerAmp,
};

// Relaxed copies: setParameter may write the same fields from the audio
// thread while the UI thread selects a program or loads a chunk.
template <typename Memory, std::size_t N>
void copyMemoryRelaxed(Memory& to, const Memory& from, double Memory::*const (&fields)[N])
{
    for (double Memory::*field : fields)
    {
        // atomic_ref needs a mutable object; the load does not write.
        const double value = std::atomic_ref<double>(const_cast<double&>(from.*field))
                                 .load(std::memory_order_relaxed);
        std::atomic_ref<double>(to.*field).store(value, std::memory_order_relaxed);
    }
}

void copyProgramRelaxed(VorlaProgram& to, const VorlaProgram& from)
{
    // Names and the reserved word are only touched on the UI thread.
    std::memcpy(to.name, from.name, sizeof(to.name));
    to.reserved = from.reserved;
    for (std::size_t slot = 0; slot < static_cast<std::size_t>(kNumParams); ++slot)
        std::atomic_ref<float>(to.values[slot]).store(from.values[slot], std::memory_order_relaxed);
    copyMemoryRelaxed(to.cleanMemory, from.cleanMemory, kChannelMemoryFields);
    copyMemoryRelaxed(to.crunchMemory, from.crunchMemory, kChannelMemoryFields);
    copyMemoryRelaxed(to.overdriveMemory, from.overdriveMemory, kOverdriveMemoryFields);
}

// The name stored in a record, at most 23 characters: a name read from a
// chunk may fill all 24 bytes without a terminator, and is cut there.
void copyProgramName(char* text, const VorlaProgram& program)
{
    const std::size_t length = vorla::boundedLength(program.name, kProgramNameMaxChars);
    std::memcpy(text, program.name, length);
    text[length] = '\0';
}

} // namespace

namespace {

/// The field of a knob memory that remembers parameter `index`; Boost exists
/// only in the Overdrive memory.
template <class Memory> double* knobField(Memory& memory, int32_t index) noexcept
{
    switch (index)
    {
    case kInput: return &memory.input;
    case kDrive1: return &memory.drive1;
    case kDrive2: return &memory.drive2;
    case kBright: return &memory.bright;
    case kContour: return &memory.contour;
    case kLow: return &memory.low;
    case kMid: return &memory.mid;
    case kHigh: return &memory.high;
    case kVolume: return &memory.volume;
    case kPowerAmp: return &memory.powerAmp;
    case kBoost:
        if constexpr (requires { memory.boost; })
            return &memory.boost;
        else
            return nullptr;
    default: return nullptr;
    }
}

} // namespace

double* memoryField(ChannelMemory& memory, int32_t index) noexcept
{
    return knobField(memory, index);
}

double* memoryField(OverdriveMemory& memory, int32_t index) noexcept
{
    return knobField(memory, index);
}

VorlaProgram makeInitProgram() noexcept
{
    VorlaProgram program{};
    std::memcpy(program.name, "Init", 5);
    for (int32_t index = 0; index < kNumParams; ++index)
        program.values[storageSlot(index)] = parameterDefault(index);
    program.reserved = 0;
    for (int32_t index = 0; index < kNumParams; ++index)
    {
        const double value = parameterDefault(index);
        if (double* field = memoryField(program.cleanMemory, index))
            *field = value;
        if (double* field = memoryField(program.crunchMemory, index))
            *field = value;
        if (double* field = memoryField(program.overdriveMemory, index))
            *field = value;
    }
    return program;
}

VorlaProgram& Vorla::currentRecord() noexcept
{
    return programs[static_cast<std::size_t>(curProgram.load(std::memory_order_relaxed))];
}

void Vorla::setProgram(int32_t program)
{
    if (program < 0 || program >= kNumPrograms)
        return;
    curProgram.store(program, std::memory_order_relaxed);
    VorlaProgram& record = currentRecord();

    copyMemoryRelaxed(cleanMemory, record.cleanMemory, kChannelMemoryFields);
    copyMemoryRelaxed(crunchMemory, record.crunchMemory, kChannelMemoryFields);
    copyMemoryRelaxed(overdriveMemory, record.overdriveMemory, kOverdriveMemoryFields);

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
}

void Vorla::setProgramName(char* name)
{
    VorlaProgram& record = currentRecord();
    const std::size_t length = vorla::boundedLength(name, kProgramNameMaxChars);
    std::memset(record.name, 0, sizeof(record.name));
    std::memcpy(record.name, name, length);
}

void Vorla::getProgramName(char* name)
{
    copyProgramName(name, currentRecord());
}

bool Vorla::getProgramNameIndexed(int32_t /*category*/, int32_t index, char* text)
{
    if (index < 0 || index >= kNumPrograms)
        return false;
    copyProgramName(text, programs[static_cast<std::size_t>(index)]);
    return true;
}

int32_t Vorla::getChunk(void** data, bool isPreset)
{
    // The host reads the bytes in place and copies them before it changes a
    // parameter again.
    if (isPreset)
    {
        *data = &currentRecord();
        return static_cast<int32_t>(sizeof(VorlaProgram));
    }
    *data = programs.data();
    return static_cast<int32_t>(kBankChunkSize);
}

int32_t Vorla::setChunk(void* data, int32_t byteSize, bool isPreset)
{
    if (data == nullptr || byteSize < 0)
        return 0;
    const auto size = static_cast<std::size_t>(byteSize);
    if (isPreset)
    {
        if (size != sizeof(VorlaProgram))
            return 0;
        // The host's bytes may sit at any address: copy them out first.
        VorlaProgram loaded;
        std::memcpy(&loaded, data, sizeof(loaded));
        copyProgramRelaxed(currentRecord(), loaded);
    }
    else
    {
        if (size != kBankChunkSize)
            return 0;
        std::array<VorlaProgram, kNumPrograms> loaded;
        std::memcpy(loaded.data(), data, kBankChunkSize);
        for (std::size_t i = 0; i < loaded.size(); ++i)
            copyProgramRelaxed(programs[i], loaded[i]);
    }
    setProgram(curProgram.load(std::memory_order_relaxed));
    return 1;
}
