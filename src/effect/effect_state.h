// SPDX-License-Identifier: GPL-3.0-or-later
// effect_state.h - everything the user controls, apart from the audio: the
// fifteen parameter values, the switch flags derived from them, the knob
// memories of the three voicings, the bank of ten programs, the texts a host
// shows, the state blobs it saves, and the rate design asked for.
//
// It knows no plug-in format, window system or toolkit.  Every door into the
// amplifier (the VST 2.4 shell, the LV2 plug-in and its editor, the
// standalone application) holds one, usually inside an EffectCore, which
// adds the amplifier; an editor running apart from the audio (the LV2 UI)
// holds one of its own that mirrors what the plug-in reports.
//
// Each voicing remembers its own knob positions: a knob write is remembered
// in the active voicing's memory, in the state and in the current program
// alike, and a change of voicing recalls the memory of the voicing that
// becomes active by writing each remembered value through setParameter, so
// listeners follow the recalled positions.  The drive knob that does not
// belong to the active voicing is held at 0.5.
//
// Threads: setParameter, the reads and setSampleRate from any thread, also
// while the audio thread runs a block; programs, state blobs, names and
// listener registration on one thread at a time (the host's UI thread).
// Values shared between threads are single relaxed atomics (memories and
// program records through atomic_ref), so nothing takes a lock and nothing
// is torn; a redesign for a new rate or quality is only recorded here and
// performed by the audio thread at the start of its next block.
#pragma once

#include "chain/amp_channel.h"
#include "chain/amp_controls.h"
#include "chain/voicing.h"
#include "effect/effect_listener.h"
#include "effect/parameters.h"
#include "effect/program.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vorla {

/// What a state blob holds: the current program (one record of 336 bytes),
/// or the whole bank (ten records, 3360 bytes).
enum class StateScope
{
    Program,
    Bank,
};

/// The size of a state blob of `scope`.
constexpr std::size_t stateSize(StateScope scope) noexcept
{
    return scope == StateScope::Program ? sizeof(VorlaProgram) : kBankChunkSize;
}

/// Longest display text of a parameter value, without the terminator.
inline constexpr std::size_t kParameterDisplayChars = 8;

class EffectState
{
public:
    /// A bank of ten "Init" programs with program 0 selected: every knob at
    /// 0.5, every switch off, the design asked for at 44100 Hz.  No
    /// listener is told.
    EffectState() noexcept;
    EffectState(const EffectState&) = delete;
    EffectState& operator=(const EffectState&) = delete;

    // --- Parameters (any thread) ---------------------------------------------

    /// Stores the value (as given, also outside 0..1, so a host reads back
    /// what it wrote), sets the switch flag of a switch, remembers a knob in
    /// the active voicing's memory, recalls a memory when the voicing
    /// changes, asks for a redesign when the quality switch is written, and
    /// ends by telling the listeners (index, value).  A value that is not
    /// finite changes nothing and is not passed on; an index outside 0..14
    /// stores nothing but is passed on.
    void setParameter(int32_t index, float value) noexcept;
    /// A write from a host that owns the controls and may not be written
    /// back (an LV2 host's control ports): the value is stored as given and
    /// played as given, a switch sets its flag, a knob is remembered in the
    /// active voicing's memory (a drive knob only in its own voicing), but
    /// nothing is held and a change of voicing recalls nothing.  The quality
    /// switch asks for a redesign only when its flag changes.  Listeners are
    /// told as by setParameter; a value that is not finite changes nothing.
    void followParameter(int32_t index, float value) noexcept;
    /// The stored value of `index`; 0 outside 0..14.
    float parameter(int32_t index) const noexcept;
    /// The voicing the switch flags select.
    Voicing activeVoicing() const noexcept;
    /// True for a drive knob that the active voicing holds at 0.5 (Drive1
    /// outside Crunch, Drive2 outside Overdrive): writes to it are not taken.
    bool isParameterHeld(int32_t index) const noexcept;
    /// The switches the model reads (0 or 1 each).
    const SwitchFlags& switches() const noexcept { return flags; }
    /// The quality switch's flag: 1 doubles the oversampling.
    int32_t highQuality() const noexcept { return highQualityOn.load(std::memory_order_relaxed); }
    /// The knob position `voicing` remembers for parameter `index`, as a
    /// double; NaN when that memory does not hold the parameter (a switch
    /// other than Bright, Boost outside Overdrive).
    double rememberedValue(Voicing voicing, int32_t index) const noexcept;
    /// The knobs of a block as stored now.
    KnobSettings knobSettings() const noexcept;
    /// The stored Volume value, which the amplifier reads at every sample.
    const std::atomic<float>& volumeValue() const noexcept;

    /// Takes the three knob memories of `record` as the voicings' memories
    /// (and the current program's), applying nothing: an editor running
    /// apart from the audio learns what the plug-in remembers.  A record
    /// whose memories hold a value that is not a number is refused (false).
    bool loadMemories(const VorlaProgram& record) noexcept;

    // --- Texts (any thread; the caller's buffer of `size` bytes) -------------

    /// The parameter's name ("Input", "Overdrive Boost", ...), cut to fit;
    /// false (nothing written) outside 0..14 or for size 0.
    static bool parameterName(int32_t index, char* text, std::size_t size) noexcept;
    /// The unit: "dB" for Volume; false (nothing written) for every other
    /// parameter, which has none.
    static bool parameterLabel(int32_t index, char* text, std::size_t size) noexcept;
    /// The stored value as a host shows it: at most eight characters,
    /// decimals truncated (Volume in dB, "-oo" at 0); false outside 0..14.
    bool parameterDisplay(int32_t index, char* text, std::size_t size) const noexcept;

    // --- Programs (one thread at a time) --------------------------------------

    /// The current program, 0..9.
    int32_t currentProgram() const noexcept { return current.load(std::memory_order_relaxed); }
    /// Makes `program` current and applies it: its knob memories become the
    /// voicings' memories, and its switches are written through
    /// setParameter, which recalls the knobs of its voicing.  Outside 0..9:
    /// nothing, false.
    bool selectProgram(int32_t program) noexcept;
    /// Renames the current program (at most 23 characters are kept).
    void setProgramName(const char* name) noexcept;
    /// The name of `program` (at most 23 characters, cut to fit) and its
    /// terminator; false outside 0..9 or for size 0.
    bool programName(int32_t program, char* text, std::size_t size) const noexcept;
    /// A copy of the record of `program` as the bank holds it now (also
    /// outside 0..9: the current program).
    VorlaProgram programRecord(int32_t program) const noexcept;

    // --- State blobs (one thread at a time) ------------------------------------

    /// Copies the current program (Program) or the bank (Bank) in the stored
    /// record format into `data`.  Returns the number of bytes written, or 0
    /// when `capacity` is smaller than stateSize(scope).
    std::size_t saveState(StateScope scope, void* data, std::size_t capacity) const noexcept;
    /// Loads a blob saved by saveState (by any build, on any machine):
    /// Program replaces the current program's record, Bank every record;
    /// then the current program is applied as by selectProgram.  A blob of
    /// the wrong size or holding a value that is not a number is refused
    /// whole: false, and nothing changes.
    bool loadState(StateScope scope, const void* data, std::size_t size) noexcept;

    // --- Rate (any thread) ----------------------------------------------------

    /// Chooses the oversampling for host rate `rate` and the quality switch
    /// and asks for the redesign, which the audio thread performs at the
    /// start of its next block.  Rates below 4 kHz, zero, negative or not
    /// finite have no design: they are ignored (false) and the last usable
    /// rate stays.
    bool setSampleRate(float rate) noexcept;
    /// The last usable host rate given, in hertz.
    float sampleRate() const noexcept { return hostRate.load(std::memory_order_relaxed); }
    /// Oversampling factor (2, 4 or 8), processing period and rate (seconds,
    /// hertz) of the last design asked for.
    int32_t oversampling() const noexcept { return factorValue.load(std::memory_order_relaxed); }
    double samplePeriod() const noexcept { return periodValue.load(std::memory_order_relaxed); }
    double processRate() const noexcept { return processRateValue.load(std::memory_order_relaxed); }

    // --- Listeners (one thread at a time, while no other thread writes) -----

    /// Tells `listener` of every parameter write from now on; false when
    /// all places are taken.  Not owned.
    bool addListener(EffectListener* listener) noexcept;
    /// Stops telling `listener`.  A write on another thread may still be
    /// inside it: remove a listener only when no other thread can be
    /// writing, or guard the listener itself.
    void removeListener(EffectListener* listener) noexcept;

protected:
    /// The last design asked for, as one word so that a reader never sees
    /// half of two requests: the host rate's float bits (high 32 bits), a
    /// request number (24 bits, so a repeated rate still redesigns) and the
    /// oversampling factor (low 8 bits).
    uint64_t requestedDesign() const noexcept
    {
        return designRequest.load(std::memory_order_acquire);
    }
    /// The design a request word stands for.
    static ChainDesign designOf(uint64_t request) noexcept;

private:
    static constexpr std::size_t kMaxListeners = 4;

    /// How a write treats the voicing memories: recalled and held, as the
    /// effect's own controls do, or only followed (followParameter).
    enum class Memories
    {
        Recall,
        Follow,
    };
    void applyParameter(int32_t index, float value, Memories memories) noexcept;
    void storeValue(int32_t index, float value) noexcept;
    /// Writes `value` into the memory of `voicing` and the same memory of
    /// the current program; nothing when that memory lacks the parameter.
    void remember(Voicing voicing, int32_t index, float value) noexcept;
    /// Replays the memory of `voicing` through setParameter.
    void replay(Voicing voicing) noexcept;
    void notify(int32_t index, float value) noexcept;
    VorlaProgram& currentRecord() noexcept;
    const VorlaProgram& currentRecord() const noexcept;

    /// The bank; programs[current] is the current program.
    std::array<VorlaProgram, kNumPrograms> programs{};
    std::atomic<int32_t> current{0};

    /// Current values in storage order (see storageSlot()).
    std::array<std::atomic<float>, kNumParams> values{};
    SwitchFlags flags;
    std::atomic<int32_t> highQualityOn{0};

    /// Knob memories of the three voicings (written through relaxed
    /// atomic_ref, so a write from the audio thread and one from the UI
    /// thread never race).
    ChannelMemory cleanMemory{};
    ChannelMemory crunchMemory{};
    OverdriveMemory overdriveMemory{};

    std::atomic<float> hostRate{44100.0f};
    std::atomic<int32_t> factorValue{0};
    std::atomic<double> periodValue{0.0};
    std::atomic<double> processRateValue{0.0};
    std::atomic<uint32_t> designRequests{0};
    std::atomic<uint64_t> designRequest{0};

    std::array<std::atomic<EffectListener*>, kMaxListeners> listeners{};
};

} // namespace vorla
