// SPDX-License-Identifier: GPL-3.0-or-later
// aeff_editor.h - the basic editor of a VST 2.4 effect: a back pointer to
// the effect and the host's parent window.  Every operation answers "not
// supported"; the bitmap editor (editor/) gives them their meaning.
//
// It belongs to the effect side: the dispatcher drives the editor through
// this interface alone, so the effect never includes the editor's code.  The
// editor registers itself with its effect (AudioEffect::registerEditor).
//
// Threads: the host's user-interface thread, the thread owning the window.
#pragma once

#include "plugin/vst_interface.h"

#include <cstdint>

class AudioEffect;

class AEffEditor
{
public:
    explicit AEffEditor(AudioEffect* owner) : effect(owner) {}
    virtual ~AEffEditor() = default;

    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // --- Virtual operations, in the interface's slot order -----------------
    virtual AudioEffect* getEffect() { return effect; }
    /// Stores null: the basic editor has no size.
    virtual bool getRect(ERect** rect);
    /// `window` is the host's parent window (X11: a `Window` XID).
    virtual bool open(void* window);
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() { return systemWindow != nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool onKeyUp(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool onWheel(float /*distance*/) { return false; }
    virtual bool setKnobMode(int32_t /*mode*/) { return false; }

protected:
    AudioEffect* effect;          // not owned; outlives the editor
    void* systemWindow = nullptr; // host's parent window while open
};
