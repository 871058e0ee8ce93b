// vorla.h - the amplifier effect.
//
// One Vorla object is one plug-in instance.  It holds, by value, everything
// the instance needs: the bank of ten programs, the fifteen current
// parameter values, the switch flags derived from them, the knob memories of
// the three voicings, the oversampled-rate values and (added by the
// amplifier chain) the signal-chain state of both sides.  Apart from the
// editor it owns no heap memory.
//
// Threads: construction, destruction, programs, chunks and texts on the
// host's UI thread; setParameter/getParameter from any thread;
// processReplacing on the audio thread.  Real hosts also load chunks, change
// programs and even the sample rate while a block runs, so nothing the audio
// path reads is rewritten from another thread: values shared between threads
// are single relaxed atomics, and a change that redesigns the filters (the
// rate, the quality switch) is only recorded by its caller; the audio thread
// performs it at the start of its next block.  Nothing takes a lock.
#pragma once

#include "chain/amp_channel.h"
#include "chain/chunk_buffers.h"
#include "params/parameters.h"
#include "params/program.h"
#include "plugin/audio_effect_x.h"

#include <array>
#include <atomic>
#include <cstdint>

class Vorla;

/// The effect's editor: made by the editor layer (editor/sd_editor.cpp) for
/// `effect`, which it registers with as it is built.  Null when there is no
/// memory for it; the effect then runs without an editor.  UI thread.
AEffEditor* createVorlaEditor(Vorla& effect) noexcept;

class Vorla : public AudioEffectX
{
public:
    /// The three voicings of the preamp, chosen by the Channel and
    /// Clean/Crunch switches.
    enum class Voicing
    {
        Clean,
        Crunch,
        Overdrive,
    };

    explicit Vorla(audioMasterCallback audioMaster);
    ~Vorla() override = default;

    // --- Host-facing operations ---------------------------------------------

    /// Chooses the oversampling factor and the processing rate and asks for
    /// the redesign, which the next block performs.  Any thread (the host's,
    /// or the caller of setParameter(kQuality, ...)).
    void setSampleRate(float rate) override;
    /// Runs the amplifier.  Audio thread; allocates nothing, takes no lock.
    void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) noexcept override;

    /// Stores the value, applies its switch / memory consequences and
    /// forwards (index, value as received) to the editor.  A value that is
    /// not finite changes nothing.  Any thread.
    void setParameter(int32_t index, float value) noexcept override;
    /// The stored value of an index; 0 outside 0..14.  Any thread.
    float getParameter(int32_t index) noexcept override;

    /// Programs and chunks.  UI thread.
    void setProgram(int32_t program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override;
    int32_t getChunk(void** data, bool isPreset) override;
    int32_t setChunk(void* data, int32_t byteSize, bool isPreset) override;

    /// Parameter texts.  UI thread.
    void getParameterLabel(int32_t index, char* label) override;
    void getParameterDisplay(int32_t index, char* text) override;
    void getParameterName(int32_t index, char* text) override;

    /// Identity.  UI thread.
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    int32_t getVendorVersion() override;

    // --- Reading the state (amplifier chain, editor, tests) -----------------

    /// Relaxed load of parameter `index` (index order); 0 outside 0..14.
    float parameterValue(int32_t index) const noexcept;
    /// The voicing selected by the current switch flags.
    Voicing activeVoicing() const noexcept;
    /// True for a drive knob that the active voicing holds at 0.5 (Drive1
    /// outside Crunch, Drive2 outside Overdrive): writes to it are not taken.
    bool isParameterHeld(int32_t index) const noexcept;

    /// Performs what other threads asked of the chain since the last block:
    /// a redesign for a new rate or quality.  The audio thread calls it at
    /// the start of every block; a caller that knows no block runs (tests,
    /// tools) may call it to see the effect's state as the next block will.
    void applyPendingChanges() noexcept;

    // --- State ----------------------------------------------------------------

    /// The bank; programs[curProgram] is the current program.
    std::array<VorlaProgram, kNumPrograms> programs{};

    /// Current values in storage order (see vorla::storageSlot()).
    std::array<std::atomic<float>, kNumParams> paramValues{};

    /// Switch flags, 0 or 1, derived from their parameters.
    std::atomic<int32_t> channelOverdrive{0};
    std::atomic<int32_t> crunchOn{0};
    std::atomic<int32_t> boostOn{0};
    std::atomic<int32_t> brightOn{0};
    std::atomic<int32_t> stereoOn{0};
    std::atomic<int32_t> highQuality{0};

    /// Knob memories of the three voicings.  Written through relaxed
    /// atomic_ref, so a setParameter from the audio thread and one from the
    /// UI thread never race.
    ChannelMemory cleanMemory{};
    ChannelMemory crunchMemory{};
    OverdriveMemory overdriveMemory{};

    /// Oversampling factor (2, 4 or 8), processing period and rate in
    /// seconds and hertz, as the last setSampleRate chose them (visible at
    /// once; the chain runs with appliedDesign).
    std::atomic<int32_t> oversampling{0};
    std::atomic<double> samplePeriod{0.0};
    std::atomic<double> processRate{0.0};

    /// The last design asked for, as one word so that a reader never sees
    /// half of two requests: the host rate's float bits (high 32 bits), a
    /// request number (24 bits, so a repeated rate still redesigns) and the
    /// oversampling factor (low 8 bits).  Written by setSampleRate (any
    /// thread), taken by applyPendingChanges.
    std::atomic<uint64_t> requestedDesign{0};
    /// The design the chain runs with and the request it came from.  Audio
    /// thread (the constructor before any block).
    vorla::ChainDesign appliedDesign{};
    uint64_t appliedRequest = 0;

    /// The amplifier of each side: [0] turns input 1 into output 1, [1]
    /// input 2 into output 2 (stereo only).  Designed by setSampleRate,
    /// stepped by processReplacing.
    std::array<vorla::AmpChannel, 2> ampChannels{};
    /// The anti-denormal sine of the recent block lengths (audio thread).
    vorla::AntiDenormalTable antiDenormalTable{};
    /// Work space of processReplacing's chunks (audio thread; scratch).
    vorla::ChunkBuffers chunkBuffers;

private:
    std::atomic<uint32_t> designRequests{0};

    void applyParameter(int32_t index, float value) noexcept;
    void storeValue(int32_t index, float value) noexcept;
    /// Writes `value` into the memory of `voicing` and the same memory of
    /// the current program; nothing when that memory lacks the parameter.
    void remember(Voicing voicing, int32_t index, float value) noexcept;
    /// Replays the memory of `voicing` through setParameter.
    void replay(Voicing voicing) noexcept;
    VorlaProgram& currentRecord() noexcept;
};
