// SPDX-License-Identifier: GPL-3.0-or-later
// audio_effect_x.h - the VST 2.x extensions of the effect base: the second
// layer of the dispatcher (opcodes 25..79), the capability answers and the
// 2.x host-callback wrappers.  It adds operations but no data.
//
// The record types the 2.x interface passes by pointer (time info, pins,
// speaker arrangements, offline tasks, MIDI names...) are only declared:
// this effect answers every such request with "not supported" and never
// looks inside them.
//
// Threads: as AudioEffect; the host-callback wrappers run on the thread of
// their caller (the UI thread in this plug-in).
#pragma once

#include "plugin/audio_effect.h"

struct VstEvents;
struct VstParameterProperties;
struct VstPinProperties;
struct VstSpeakerArrangement;
struct VstSpeakerProperties;
struct VstTimeInfo;
struct VstVariableIo;
struct VstAudioFile;
struct VstOfflineTask;
struct VstPatchChunkInfo;
struct VstFileSelect;
struct VstWindow;
struct MidiProgramName;
struct MidiProgramCategory;
struct MidiKeyName;

class AudioEffectX : public AudioEffect
{
public:
    AudioEffectX(audioMasterCallback master, int32_t programCount, int32_t paramCount)
        : AudioEffect(master, programCount, paramCount)
    {
    }

    /// Opcodes 25..79; every other opcode goes to AudioEffect::dispatcher.
    intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                        float opt) override;
    /// Asks the host for MIDI events only for a synth or an effect that can
    /// receive them; neither holds here, so it asks nothing.
    void resume() override;

    // --- Virtual operations added by the 2.x interface, in slot order ------
    virtual bool canParameterBeAutomated(int32_t /*index*/) { return true; }
    virtual bool string2parameter(int32_t /*index*/, char* /*text*/) { return false; }
    virtual bool getParameterProperties(int32_t /*index*/, VstParameterProperties* /*p*/)
    {
        return false;
    }
    /// audioMasterBeginEdit / audioMasterEndEdit, around an editor gesture.
    virtual bool beginEdit(int32_t index);
    virtual bool endEdit(int32_t index);
    virtual bool getProgramNameIndexed(int32_t /*category*/, int32_t /*index*/, char* /*text*/)
    {
        return false;
    }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }
    virtual int32_t beginLoadBank(VstPatchChunkInfo* /*info*/) { return 0; }
    virtual int32_t beginLoadProgram(VstPatchChunkInfo* /*info*/) { return 0; }
    virtual bool ioChanged();
    /// Asks the host for its rate; a positive answer is stored.
    virtual double updateSampleRate();
    virtual int32_t updateBlockSize();
    virtual int32_t getInputLatency();
    virtual int32_t getOutputLatency();
    virtual bool getInputProperties(int32_t /*index*/, VstPinProperties* /*properties*/)
    {
        return false;
    }
    virtual bool getOutputProperties(int32_t /*index*/, VstPinProperties* /*properties*/)
    {
        return false;
    }
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* /*input*/,
                                       VstSpeakerArrangement* /*output*/)
    {
        return false;
    }
    /// Stores null into both arrangement pointers (those the host gave).
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input,
                                       VstSpeakerArrangement** output);
    virtual bool setBypass(bool /*onOff*/) { return false; }
    virtual bool setPanLaw(int32_t /*type*/, float /*value*/) { return false; }
    virtual bool setProcessPrecision(int32_t /*precision*/) { return false; }
    virtual int32_t getNumMidiInputChannels() { return 0; }
    virtual int32_t getNumMidiOutputChannels() { return 0; }
    virtual VstTimeInfo* getTimeInfo(int32_t filter);
    virtual int32_t getCurrentProcessLevel();
    virtual int32_t getAutomationState();
    virtual int32_t processEvents(VstEvents* /*events*/) { return 0; }
    virtual int32_t startProcess() { return 0; }
    virtual int32_t stopProcess() { return 0; }
    virtual bool processVariableIo(VstVariableIo* /*io*/) { return false; }
    virtual int32_t setTotalSampleToProcess(int32_t value) { return value; }
    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual int32_t getHostVendorVersion();
    virtual intptr_t hostVendorSpecific(int32_t arg1, intptr_t arg2, void* ptrArg, float floatArg);
    virtual int32_t canHostDo(char* text);
    virtual int32_t getHostLanguage();
    virtual void isSynth(bool state) { setFlag(effFlagsIsSynth, state); }
    virtual void noTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }
    virtual int32_t getGetTailSize() { return 0; }
    virtual void* getDirectory();
    virtual bool getEffectName(char* /*name*/) { return false; }
    virtual bool getVendorString(char* /*text*/) { return false; }
    virtual bool getProductString(char* /*text*/) { return false; }
    virtual int32_t getVendorVersion() { return 0; }
    virtual intptr_t vendorSpecific(int32_t /*arg1*/, intptr_t /*arg2*/, void* /*ptr*/,
                                    float /*floatArg*/)
    {
        return 0;
    }
    /// 0 ("don't know") for every capability text; the text is not read.
    virtual int32_t canDo(const char* /*text*/) { return 0; }
    virtual int32_t getVstVersion() { return kVstVersion; }
    virtual int32_t getPlugCategory();
    virtual int32_t getMidiProgramName(int32_t /*channel*/, MidiProgramName* /*name*/) { return 0; }
    virtual int32_t getCurrentMidiProgram(int32_t /*channel*/, MidiProgramName* /*current*/)
    {
        return -1;
    }
    virtual int32_t getMidiProgramCategory(int32_t /*channel*/, MidiProgramCategory* /*category*/)
    {
        return 0;
    }
    virtual bool hasMidiProgramsChanged(int32_t /*channel*/) { return false; }
    virtual bool getMidiKeyName(int32_t /*channel*/, MidiKeyName* /*keyName*/) { return false; }
    virtual bool updateDisplay();
    virtual bool sizeWindow(int32_t width, int32_t height);
    virtual bool openFileSelector(VstFileSelect* select);
    virtual bool closeFileSelector(VstFileSelect* select);
    virtual int32_t getNextShellPlugin(char* /*name*/) { return 0; }
    /// The speaker-arrangement helpers need the arrangement record, which
    /// this effect never uses; they create nothing and answer false.
    virtual bool allocateArrangement(VstSpeakerArrangement** /*arrangement*/,
                                     int32_t /*numChannels*/)
    {
        return false;
    }
    virtual bool deallocateArrangement(VstSpeakerArrangement** /*arrangement*/) { return false; }
    virtual bool copySpeaker(VstSpeakerProperties* /*to*/, VstSpeakerProperties* /*from*/)
    {
        return false;
    }
    virtual bool matchArrangement(VstSpeakerArrangement** /*to*/, VstSpeakerArrangement* /*from*/)
    {
        return false;
    }
    virtual bool offlineRead(VstOfflineTask* offline, int32_t option, bool readSource);
    virtual bool offlineWrite(VstOfflineTask* offline, int32_t option);
    virtual bool offlineStart(VstAudioFile* audioFiles, int32_t numAudioFiles,
                              int32_t numNewAudioFiles);
    virtual int32_t offlineGetCurrentPass();
    virtual int32_t offlineGetCurrentMetaPass();
    virtual bool offlineNotify(VstAudioFile* /*ptr*/, int32_t /*numAudioFiles*/, bool /*start*/)
    {
        return false;
    }
    virtual bool offlinePrepare(VstOfflineTask* /*offline*/, int32_t /*count*/) { return false; }
    virtual bool offlineRun(VstOfflineTask* /*offline*/, int32_t /*count*/) { return false; }
    virtual int32_t offlineGetNumPasses() { return 0; }
    virtual int32_t offlineGetNumMetaPasses() { return 0; }
    /// audioMasterWantMidi with the filter as value.
    virtual void wantEvents(int32_t filter);
    virtual int32_t tempoAt(int32_t position);
    virtual int32_t getNumAutomatableParameters();
    virtual int32_t getParameterQuantization();
    virtual int32_t getNumCategories() { return 1; }
    virtual bool copyProgram(int32_t /*destination*/) { return false; }
    virtual bool needIdle();
    virtual AEffect* getPreviousPlug(int32_t input);
    virtual AEffect* getNextPlug(int32_t output);
    virtual void inputConnected(int32_t /*index*/, bool /*state*/) {}
    virtual void outputConnected(int32_t /*index*/, bool /*state*/) {}
    virtual int32_t willProcessReplacing();
    virtual void wantAsyncOperation(bool state) { setFlag(effFlagsExtIsAsync, state); }
    virtual void hasExternalBuffer(bool state) { setFlag(effFlagsExtHasBuffer, state); }
    virtual int32_t reportCurrentPosition() { return 0; }
    virtual float* reportDestinationBuffer() { return nullptr; }
    virtual void setOutputSamplerate(float rate);
    virtual VstSpeakerArrangement* getInputSpeakerArrangement();
    virtual VstSpeakerArrangement* getOutputSpeakerArrangement();
    virtual void* openWindow(VstWindow* window);
    virtual bool closeWindow(VstWindow* window);
    virtual void setBlockSizeAndSampleRate(int32_t size, float rate)
    {
        blockSize = size;
        sampleRate.store(rate, std::memory_order_relaxed);
    }
    virtual bool getErrorText(char* /*text*/) { return false; }
    virtual void* getIcon() { return nullptr; }
    virtual bool setViewPosition(int32_t /*x*/, int32_t /*y*/) { return false; }
    virtual int32_t fxIdle() { return 0; }
    virtual bool keysRequired() { return false; }
    virtual bool getChunkFile(void* nativePath);
};
