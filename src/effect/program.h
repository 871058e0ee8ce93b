// SPDX-License-Identifier: GPL-3.0-or-later
// program.h - one stored program and the per-voicing knob memories.
//
// A `VorlaProgram` is both an entry of the effect's bank and the chunk the
// host saves in projects and presets: the host stores its raw bytes, so the
// layout below (336 bytes, little-endian IEEE 754) is a file format and must
// never change.  The bank chunk is ten of them back to back (3360 bytes).
#pragma once

#include "effect/parameters.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

/// Remembered knob positions of the Clean or the Crunch voicing, in stored
/// order.  Values are normalised parameter values held as doubles.
struct ChannelMemory
{
    double input;
    double drive1;
    double drive2;
    double bright;
    double contour;
    double low;
    double mid;
    double high;
    double volume;
    double powerAmp;
};

/// Remembered knob positions of the Overdrive channel: the same knobs plus
/// the Boost switch, which only this channel remembers.
struct OverdriveMemory
{
    double input;
    double drive1;
    double drive2;
    double bright;
    double contour;
    double low;
    double mid;
    double high;
    double volume;
    double boost;
    double powerAmp;
};

namespace vorla {

/// Length of the name field including its terminator.
constexpr std::size_t kProgramNameSize = 24;
/// Longest program name the effect writes (the terminator takes the 24th byte).
constexpr std::size_t kProgramNameMaxChars = kProgramNameSize - 1;

} // namespace vorla

struct VorlaProgram
{
    char name[vorla::kProgramNameSize]; // zero-terminated, zero padded
    float values[kNumParams];           // storage order, see storageSlot()
    uint32_t reserved;                  // zero when written, ignored when read
    ChannelMemory cleanMemory;
    ChannelMemory crunchMemory;
    OverdriveMemory overdriveMemory;
};

static_assert(std::endian::native == std::endian::little,
              "the chunk format is little-endian and is exchanged as raw bytes");
static_assert(sizeof(float) == 4 && sizeof(double) == 8);
static_assert(std::is_trivially_copyable_v<VorlaProgram>);
static_assert(std::is_standard_layout_v<VorlaProgram>);
static_assert(sizeof(ChannelMemory) == 80);
static_assert(sizeof(OverdriveMemory) == 88);
static_assert(offsetof(VorlaProgram, name) == 0);
static_assert(offsetof(VorlaProgram, values) == 24);
static_assert(offsetof(VorlaProgram, reserved) == 84);
static_assert(offsetof(VorlaProgram, cleanMemory) == 88);
static_assert(offsetof(VorlaProgram, crunchMemory) == 168);
static_assert(offsetof(VorlaProgram, overdriveMemory) == 248);
static_assert(sizeof(VorlaProgram) == 336);

namespace vorla {

/// Size of the bank chunk.
constexpr std::size_t kBankChunkSize = sizeof(VorlaProgram) * kNumPrograms;
static_assert(kBankChunkSize == 3360);

/// The memory field that remembers parameter `index`, or null when this
/// memory does not hold that parameter (switches other than Bright, and Boost
/// in the Clean/Crunch memories).
double* memoryField(ChannelMemory& memory, int32_t index) noexcept;
double* memoryField(OverdriveMemory& memory, int32_t index) noexcept;
const double* memoryField(const ChannelMemory& memory, int32_t index) noexcept;
const double* memoryField(const OverdriveMemory& memory, int32_t index) noexcept;

/// A fresh program: name "Init", default values, every memory 0.5 for the
/// knobs and 0.0 for Bright and Boost.
VorlaProgram makeInitProgram() noexcept;

/// True when every value a record would put into the effect is a number:
/// the fifteen floats, and the memory doubles as the floats that a recall
/// passes on (1e300 is finite as a double but infinite as a float).
bool recordIsUsable(const VorlaProgram& program) noexcept;

/// Field-by-field copies through relaxed atomic_ref, for records and
/// memories that another thread's parameter write may touch meanwhile.
/// The name and the reserved word are copied plainly: only the thread that
/// owns the programs touches them.
void copyProgramRelaxed(VorlaProgram& to, const VorlaProgram& from) noexcept;
void copyMemoryRelaxed(ChannelMemory& to, const ChannelMemory& from) noexcept;
void copyMemoryRelaxed(OverdriveMemory& to, const OverdriveMemory& from) noexcept;

} // namespace vorla
