// SPDX-License-Identifier: GPL-3.0-or-later
// lv2_editor.h - the amplifier's editor as an LV2 UI: an AmpEditor in the
// host's window (ui:parent), over a mirror of the plug-in's state.
//
// The UI may run in another process than the plug-in, so it never touches
// the plug-in's EffectCore.  It keeps an EffectState of its own, a mirror:
//  - control values from port_event go into the mirror with followParameter
//    (stored as the host gave them, nothing recalled), and the controls
//    follow;
//  - the plug-in's messages on its notify port carry the program record;
//    the mirror takes its three knob memories with loadMemories (nothing
//    applied);
//  - a gesture on a control writes the port (write_function, inside the
//    host's touch gesture where it offers ui:touch) and then sets the value
//    on the mirror with setParameter, the effect's own semantics: a change
//    of voicing recalls that voicing's remembered knobs, and each value the
//    recall writes is written to its port too, in its own touch gesture.
//    The switch goes first, so the plug-in remembers the recalled knobs in
//    the voicing they belong to.
// Values that came from the host are never written back.
//
// Threads: every call on the host's UI thread.
#pragma once

#include "editor/amp_editor.h"
#include "editor/edit_host.h"
#include "effect/effect_listener.h"
#include "effect/effect_state.h"
#include "lv2/lv2_urids.h"

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <array>
#include <cstdint>
#include <memory>

namespace vorla::lv2 {

class Lv2Editor final : public EditHost, public EffectListener
{
public:
    /// Opens the editor in the host's ui:parent window.  Null when a required
    /// feature is missing (ui:parent, urid:map) or no window can be made
    /// there; `widget` gets the editor's own window.
    static std::unique_ptr<Lv2Editor> create(LV2UI_Write_Function write,
                                             LV2UI_Controller controller,
                                             const LV2_Feature* const* features,
                                             LV2UI_Widget* widget);
    ~Lv2Editor();

    Lv2Editor(const Lv2Editor&) = delete;
    Lv2Editor& operator=(const Lv2Editor&) = delete;

    /// A port's value or message from the host.
    void portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
    /// Draws and handles the window's events; non-zero once the window is
    /// gone (the host destroyed its parent), when the host should stop.
    int idle();

    // --- The editor's gestures (EditHost) --------------------------------------
    void beginGesture(int32_t index) override;
    void performEdit(int32_t index, float value) override;
    void endGesture(int32_t index) override;

    // --- The mirror's writes (EffectListener) ----------------------------------
    void parameterChanged(int32_t index, float value) noexcept override;

private:
    Lv2Editor(LV2UI_Write_Function write, LV2UI_Controller controller);

    void writePort(int32_t index, float value);
    void touch(int32_t index, bool grabbed);
    /// Asks the plug-in for its memories (a patch:Get on its control port).
    void requestMemories();

    EffectState mirror;
    AmpEditor editor{mirror, *this};
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touchFeature = nullptr;
    Urids urids;
    LV2_Atom_Forge forge{};

    /// What each control port holds as far as the UI knows (the host's last
    /// value, or the UI's last write), so a recall writes only what differs.
    std::array<float, kNumParams> portValues{};
    /// The parameter of the gesture being performed, while the mirror's
    /// setParameter runs; -1 otherwise.
    int32_t editing = -1;
};

} // namespace vorla::lv2
