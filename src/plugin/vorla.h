// SPDX-License-Identifier: GPL-3.0-or-later
// vorla.h - the amplifier as a VST 2.4 effect.
//
// One Vorla object is one plug-in instance: the VST 2.4 shell (the record,
// the dispatcher, the host callbacks) over one effect core, which holds the
// controls and the amplifier.  Vorla maps the interface's calls onto the
// core and owns the editor the host opens; it holds no model knowledge.
//
// Threads: construction, destruction, programs, chunks and texts on the
// host's UI thread; setParameter/getParameter and the rate from any thread;
// processReplacing on the audio thread.  Real hosts also load chunks, change
// programs and even the sample rate while a block runs; the core records
// what would change the amplifier under a running block and the audio
// thread performs it at the start of its next block.  Nothing takes a lock.
#pragma once

#include "effect/effect_core.h"
#include "effect/program.h"
#include "plugin/audio_effect_x.h"

#include <array>
#include <cstdint>

class Vorla : public AudioEffectX, private vorla::EffectListener
{
public:
    explicit Vorla(audioMasterCallback audioMaster);
    ~Vorla() override;

    // --- Host-facing operations ---------------------------------------------

    /// Chooses the oversampling factor and the processing rate and asks for
    /// the redesign, which the next block performs.  A rate with no design
    /// (0, negative, not finite, below 4 kHz) is ignored.  Any thread.
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
    int32_t getProgram() override;
    void setProgram(int32_t program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override;
    /// A copy of the program (336 bytes) or the bank (3360 bytes), held by
    /// the effect until the next getChunk.
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

    /// The effect core (the editor; tools and tests).
    vorla::EffectCore& core() noexcept { return effectCore; }
    const vorla::EffectCore& core() const noexcept { return effectCore; }

private:
    /// Every parameter write of the core, on the writer's thread: passed on
    /// to the editor.
    void parameterChanged(int32_t index, float value) noexcept override;

    vorla::EffectCore effectCore;
    /// What getChunk handed out last: the host reads it in place.
    std::array<unsigned char, vorla::kBankChunkSize> chunk{};
};
