// SPDX-License-Identifier: GPL-3.0-or-later
// The program record: which memory field remembers which parameter, the
// fresh program, and the checks and copies every load and save uses.
#include "effect/program.h"

#include <atomic>
#include <cmath>
#include <cstring>

namespace vorla {

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
template <class Memory> auto* knobField(Memory& memory, int32_t index) noexcept
{
    decltype(&memory.input) found = nullptr; // double*, or const double* for a const memory
    for (const auto& entry : fieldsOf(memory))
        if (entry.index == index)
            found = &(memory.*entry.field);
    return found;
}

template <class Memory> void copyRelaxed(Memory& to, const Memory& from)
{
    for (const auto& entry : fieldsOf(from))
    {
        // atomic_ref needs a mutable object; the load does not write.
        const double value = std::atomic_ref<double>(const_cast<double&>(from.*entry.field))
                                 .load(std::memory_order_relaxed);
        std::atomic_ref<double>(to.*entry.field).store(value, std::memory_order_relaxed);
    }
}

template <class Memory> bool memoryIsUsable(const Memory& memory)
{
    for (const auto& entry : fieldsOf(memory))
        if (!std::isfinite(static_cast<float>(memory.*entry.field)))
            return false;
    return true;
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

const double* memoryField(const ChannelMemory& memory, int32_t index) noexcept
{
    return knobField(memory, index);
}

const double* memoryField(const OverdriveMemory& memory, int32_t index) noexcept
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

bool recordIsUsable(const VorlaProgram& program) noexcept
{
    for (const float value : program.values)
        if (!std::isfinite(value))
            return false;
    return memoryIsUsable(program.cleanMemory) && memoryIsUsable(program.crunchMemory) &&
           memoryIsUsable(program.overdriveMemory);
}

void copyMemoryRelaxed(ChannelMemory& to, const ChannelMemory& from) noexcept
{
    copyRelaxed(to, from);
}

void copyMemoryRelaxed(OverdriveMemory& to, const OverdriveMemory& from) noexcept
{
    copyRelaxed(to, from);
}

void copyProgramRelaxed(VorlaProgram& to, const VorlaProgram& from) noexcept
{
    std::memcpy(to.name, from.name, sizeof(to.name));
    to.reserved = from.reserved;
    for (std::size_t slot = 0; slot < static_cast<std::size_t>(kNumParams); ++slot)
    {
        const float value = std::atomic_ref<float>(const_cast<float&>(from.values[slot]))
                                .load(std::memory_order_relaxed);
        std::atomic_ref<float>(to.values[slot]).store(value, std::memory_order_relaxed);
    }
    copyRelaxed(to.cleanMemory, from.cleanMemory);
    copyRelaxed(to.crunchMemory, from.crunchMemory);
    copyRelaxed(to.overdriveMemory, from.overdriveMemory);
}

} // namespace vorla
