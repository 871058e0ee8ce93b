// SPDX-License-Identifier: GPL-3.0-or-later
// audio_effect.h - the basic VST 2.4 effect: the AEffect record the host
// holds, the first layer of the dispatcher (opcodes 0..24), the host-callback
// wrappers of the 1.0 interface and the text helpers for parameter displays.
//
// Threads: construction, destruction and the dispatcher run on the host's
// user-interface thread; setParameter/getParameter may come from any thread;
// processReplacing runs on the audio thread.  Values read across threads
// (sampleRate, curProgram) are relaxed atomics.
#pragma once

#include "plugin/vst_interface.h"

#include <atomic>
#include <cstdint>

class AEffEditor;
class EditorParameterLink;

class AudioEffect
{
public:
    /// `audioMaster` is the host callback the entry received.  Sets the
    /// record to its base form: magic, entries, program and parameter counts,
    /// one input, two outputs, ioRatio 1, version 1, can-replace flag.
    AudioEffect(audioMasterCallback master, int32_t programCount, int32_t paramCount);
    /// Deletes the editor.  UI thread.
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // --- Virtual operations, in the interface's slot order -----------------

    /// Opcodes 0..24; anything else answers 0.  UI thread.
    virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                float opt);
    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float rate) { sampleRate.store(rate, std::memory_order_relaxed); }
    virtual void setBlockSize(int32_t size) { blockSize = size; }
    /// Audio thread.
    virtual void processReplacing(float** inputs, float** outputs,
                                  int32_t sampleFrames) noexcept = 0;
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                        int32_t /*sampleFrames*/) noexcept
    {
    }
    virtual void setParameter(int32_t /*index*/, float /*value*/) {}
    virtual float getParameter(int32_t /*index*/) { return 0.0f; }
    /// setParameter, then tells the host (audioMasterAutomate).  UI thread.
    virtual void setParameterAutomated(int32_t index, float value);
    virtual int32_t getProgram() { return curProgram.load(std::memory_order_relaxed); }
    virtual void setProgram(int32_t program)
    {
        curProgram.store(program, std::memory_order_relaxed);
    }
    virtual void setProgramName(char* /*name*/) {}
    virtual void getProgramName(char* name) { name[0] = '\0'; }
    virtual void getParameterLabel(int32_t /*index*/, char* label) { label[0] = '\0'; }
    virtual void getParameterDisplay(int32_t /*index*/, char* text) { text[0] = '\0'; }
    virtual void getParameterName(int32_t /*index*/, char* text) { text[0] = '\0'; }
    virtual int32_t getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
    virtual int32_t setChunk(void* /*data*/, int32_t /*byteSize*/, bool /*isPreset*/) { return 0; }
    virtual void setUniqueID(int32_t id) { effectRecord.uniqueID = id; }
    virtual void setNumInputs(int32_t inputs) { effectRecord.numInputs = inputs; }
    virtual void setNumOutputs(int32_t outputs) { effectRecord.numOutputs = outputs; }
    virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state) { setFlag(effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    virtual void setInitialDelay(int32_t delay) { effectRecord.initialDelay = delay; }
    virtual AEffEditor* getEditor() { return editor; }
    virtual AEffect* getAeffect() { return &effectRecord; }
    virtual float getSampleRate() { return sampleRate.load(std::memory_order_relaxed); }
    virtual int32_t getBlockSize() { return blockSize; }
    /// The host's VST version; a host answering 0 counts as version 1.
    virtual int32_t getMasterVersion();
    virtual int32_t getCurrentUniqueId();
    /// audioMasterIdle, from the editor's idle pass.  UI thread.
    virtual void masterIdle();
    /// "-oo" for 0 and below, else the decibel value through float2string.
    virtual void dB2string(float value, char* text, int32_t maxLen);
    /// Frequency of a period of `samples` at the current rate.
    virtual void Hz2string(float samples, char* text, int32_t maxLen);
    /// Duration of `samples` at the current rate, in milliseconds.
    virtual void ms2string(float samples, char* text, int32_t maxLen);
    /// At most eight characters, decimals truncated; "Huge!" when too large.
    virtual void float2string(float value, char* text, int32_t maxLen);
    virtual void int2string(int32_t value, char* text, int32_t maxLen);
    virtual void process(float** /*inputs*/, float** /*outputs*/, int32_t /*sampleFrames*/) noexcept
    {
    }
    virtual float getVu() { return 0.0f; }
    virtual void hasVu(bool state) { setFlag(effFlagsHasVu, state); }
    virtual void hasClip(bool state) { setFlag(effFlagsHasClip, state); }
    virtual void canMono(bool state) { setFlag(effFlagsCanMono, state); }
    virtual void setRealtimeQualities(int32_t qualities) { effectRecord.realQualities = qualities; }
    virtual void setOfflineQualities(int32_t qualities) { effectRecord.offQualities = qualities; }
    virtual bool isInputConnected(int32_t input);
    virtual bool isOutputConnected(int32_t output);

protected:
    /// Calls the host with our record, or answers 0 when there is no host.
    intptr_t callHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    void setFlag(int32_t bit, bool state)
    {
        effectRecord.flags = state ? (effectRecord.flags | bit) : (effectRecord.flags & ~bit);
    }

public:
    /// Called by an editor while it is constructed: the effect owns it from
    /// now on (and deletes it), the dispatcher reaches it through `editor`,
    /// the record's flags gain effFlagsHasEditor, and every parameter write
    /// is passed on to `link` (may be null).  UI thread.
    void registerEditor(AEffEditor* newEditor, EditorParameterLink* link);

protected:
    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;              // owned
    EditorParameterLink* editorLink = nullptr; // the same object as editor, or null
    std::atomic<float> sampleRate{44100.0f};
    int32_t blockSize = 1024;
    int32_t numPrograms;
    int32_t numParams;
    std::atomic<int32_t> curProgram{0};
    AEffect effectRecord;
};
