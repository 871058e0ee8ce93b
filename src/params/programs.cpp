// Programs, names and chunks.
//
// A chunk is the raw bytes of one program record (preset) or of the whole
// bank.  The host stores them in projects and presets and hands them back
// later, possibly to another build of the plug-in, so only the exact record
// layout is trusted.  A chunk of the wrong size, or one holding a value that
// is not a number (NaN, an infinity, or a memory double too large for a
// float), is refused whole; every other value is taken as it is (the model
// reads parameters within 0..1, so out-of-range values are harmless and
// round-trip exactly).
#include "params/program.h"
#include "plugin/host_text.h"
#include "plugin/vorla.h"

#include <atomic>
#include <cmath>
#include <cstring>

namespace {

/// Which parameter each field of a knob memory remembers, in stored order.
/// The one table serves the lookup by parameter and the copy of a memory.
template <class Memory> struct MemoryField
{
    int32_t index;
    double Memory::*field;
};

// clang-format off
constexpr MemoryField<ChannelMemory> kChannelMemoryFields[] = {
    {kInput, &ChannelMemory::input},     {kDrive1, &ChannelMemory::drive1},
    {kDrive2, &ChannelMemory::drive2},   {kBright, &ChannelMemory::bright},
    {kContour, &ChannelMemory::contour}, {kLow, &ChannelMemory::low},
    {kMid, &ChannelMemory::mid},         {kHigh, &ChannelMemory::high},
    {kVolume, &ChannelMemory::volume},   {kPowerAmp, &ChannelMemory::powerAmp},
};

constexpr MemoryField<OverdriveMemory> kOverdriveMemoryFields[] = {
    {kInput, &OverdriveMemory::input},     {kDrive1, &OverdriveMemory::drive1},
    {kDrive2, &OverdriveMemory::drive2},   {kBright, &OverdriveMemory::bright},
    {kContour, &OverdriveMemory::contour}, {kLow, &OverdriveMemory::low},
    {kMid, &OverdriveMemory::mid},         {kHigh, &OverdriveMemory::high},
    {kVolume, &OverdriveMemory::volume},   {kBoost, &OverdriveMemory::boost},
    {kPowerAmp, &OverdriveMemory::powerAmp},
};
// clang-format on

constexpr const auto& fieldsOf(const ChannelMemory&)
{
    return kChannelMemoryFields;
}
constexpr const auto& fieldsOf(const OverdriveMemory&)
{
    return kOverdriveMemoryFields;
}

/// The field of `memory` that remembers parameter `index`, or null.
template <class Memory> double* knobField(Memory& memory, int32_t index) noexcept
{
    for (const auto& entry : fieldsOf(memory))
        if (entry.index == index)
            return &(memory.*entry.field);
    return nullptr;
}

// Relaxed copies: setParameter may write the same fields from the audio
// thread while the UI thread selects a program or loads a chunk.
template <class Memory> void copyMemoryRelaxed(Memory& to, const Memory& from)
{
    for (const auto& entry : fieldsOf(from))
    {
        // atomic_ref needs a mutable object; the load does not write.
        const double value = std::atomic_ref<double>(const_cast<double&>(from.*entry.field))
                                 .load(std::memory_order_relaxed);
        std::atomic_ref<double>(to.*entry.field).store(value, std::memory_order_relaxed);
    }
}

void copyProgramRelaxed(VorlaProgram& to, const VorlaProgram& from)
{
    // Names and the reserved word are only touched on the UI thread.
    std::memcpy(to.name, from.name, sizeof(to.name));
    to.reserved = from.reserved;
    for (std::size_t slot = 0; slot < static_cast<std::size_t>(kNumParams); ++slot)
        std::atomic_ref<float>(to.values[slot]).store(from.values[slot], std::memory_order_relaxed);
    copyMemoryRelaxed(to.cleanMemory, from.cleanMemory);
    copyMemoryRelaxed(to.crunchMemory, from.crunchMemory);
    copyMemoryRelaxed(to.overdriveMemory, from.overdriveMemory);
}

/// True when every value a record would put into the effect is a number:
/// the fifteen floats, and the memory doubles as the floats that a recall
/// passes on (1e300 is finite as a double but infinite as a float).
template <class Memory> bool memoryIsUsable(const Memory& memory)
{
    for (const auto& entry : fieldsOf(memory))
        if (!std::isfinite(static_cast<float>(memory.*entry.field)))
            return false;
    return true;
}

bool recordIsUsable(const VorlaProgram& program)
{
    for (const float value : program.values)
        if (!std::isfinite(value))
            return false;
    return memoryIsUsable(program.cleanMemory) && memoryIsUsable(program.crunchMemory) &&
           memoryIsUsable(program.overdriveMemory);
}

// The name stored in a record, at most 23 characters: a name read from a
// chunk may fill all 24 bytes without a terminator, and is cut there.
void copyProgramName(char* text, const VorlaProgram& program)
{
    const std::size_t length = vorla::boundedLength(program.name, vorla::kProgramNameMaxChars);
    std::memcpy(text, program.name, length);
    text[length] = '\0';
}

} // namespace

double* vorla::memoryField(ChannelMemory& memory, int32_t index) noexcept
{
    return knobField(memory, index);
}

double* vorla::memoryField(OverdriveMemory& memory, int32_t index) noexcept
{
    return knobField(memory, index);
}

VorlaProgram vorla::makeInitProgram() noexcept
{
    VorlaProgram program{};
    std::memcpy(program.name, "Init", 5);
    for (int32_t index = 0; index < kNumParams; ++index)
        program.values[vorla::storageSlot(index)] = vorla::parameterDefault(index);
    program.reserved = 0;
    for (int32_t index = 0; index < kNumParams; ++index)
    {
        const double value = vorla::parameterDefault(index);
        if (double* field = vorla::memoryField(program.cleanMemory, index))
            *field = value;
        if (double* field = vorla::memoryField(program.crunchMemory, index))
            *field = value;
        if (double* field = vorla::memoryField(program.overdriveMemory, index))
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

    copyMemoryRelaxed(cleanMemory, record.cleanMemory);
    copyMemoryRelaxed(crunchMemory, record.crunchMemory);
    copyMemoryRelaxed(overdriveMemory, record.overdriveMemory);

    // Replaying the stored switches applies the program: Channel and
    // Clean/Crunch select the voicing and recall its knob memory, Quality
    // runs the rate design.  The other stored values are not applied
    // directly; the knobs come from the memory.
    for (const int32_t index : {kChannel, kCleanCrunch, kMonoStereo, kQuality})
    {
        const float value = std::atomic_ref<float>(record.values[vorla::storageSlot(index)])
                                .load(std::memory_order_relaxed);
        setParameter(index, value);
    }
}

void Vorla::setProgramName(char* name)
{
    VorlaProgram& record = currentRecord();
    const std::size_t length = vorla::boundedLength(name, vorla::kProgramNameMaxChars);
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
    return static_cast<int32_t>(vorla::kBankChunkSize);
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
        if (!recordIsUsable(loaded))
            return 0;
        copyProgramRelaxed(currentRecord(), loaded);
    }
    else
    {
        if (size != vorla::kBankChunkSize)
            return 0;
        std::array<VorlaProgram, kNumPrograms> loaded;
        std::memcpy(loaded.data(), data, vorla::kBankChunkSize);
        for (const VorlaProgram& program : loaded)
            if (!recordIsUsable(program))
                return 0;
        for (std::size_t i = 0; i < loaded.size(); ++i)
            copyProgramRelaxed(programs[i], loaded[i]);
    }
    setProgram(curProgram.load(std::memory_order_relaxed));
    return 1;
}
