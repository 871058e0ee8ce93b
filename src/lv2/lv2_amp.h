// SPDX-License-Identifier: GPL-3.0-or-later
// lv2_amp.h - the amplifier as an LV2 plug-in instance: the LV2 calls mapped
// onto one EffectCore.
//
// Who owns the knobs: in LV2 the host owns the control input ports and the
// plug-in may not write them, so the amplifier plays exactly what the ports
// say.  Each block, a port whose value changed since the block before is
// given to the core with followParameter - stored and played as given,
// remembered in the voicing it belongs to, nothing recalled or held.  The
// switches go first, so a knob that changes in the same block as the voicing
// is remembered in the voicing it now belongs to.  The voicing recall is the
// editor's business (src/lv2ui): it writes the remembered knobs to the ports,
// and learns the memories from the messages on the notify port.
//
// Threads (the LV2 threading classes): instantiate, activate, deactivate,
// restore and cleanup on the host's instantiation thread, never during run;
// connect_port and run on the audio thread; save from any thread, also while
// run runs.  What restore asks of run (take every port again, tell the UI)
// is handed over in relaxed atomics.
#pragma once

#include "effect/effect_core.h"
#include "effect/program.h"
#include "lv2/lv2_urids.h"

#include <lv2/core/lv2.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace vorla::lv2 {

class Lv2Amp
{
public:
    /// A new instance at host rate `rate`; null (with one line through the
    /// host's log, when it has one) when the rate has no design: zero,
    /// negative, not finite or below 4 kHz.  An LV2 instance runs at one rate
    /// all its life, so playing a design for another rate would be wrong.
    static std::unique_ptr<Lv2Amp> create(double rate, const LV2_Feature* const* features);

    /// Stores where port `port` lives (null allowed: that port is not read or
    /// written until connected again).  Any index outside the ports is
    /// ignored.
    void connectPort(uint32_t port, void* data) noexcept;
    /// After a deactivate, the amplifier returns to the rest state of a new
    /// instance at the next block (LV2 asks for a reset here).
    void activate() noexcept;
    void deactivate() noexcept;
    /// One block: the requests on the control port, the control ports'
    /// changes, the amplifier, the message to the UI.  Allocates nothing.
    void run(uint32_t frames) noexcept;

    /// The state: the current program record (values and the three memories)
    /// as one property.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle) noexcept;
    /// Takes a record saved by save; a restore without it, or with a value of
    /// another type, size or with values that are not numbers, changes
    /// nothing.  The ports are taken again at the next block: the host owns
    /// them, so what they say is what plays.
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve,
                             LV2_State_Handle handle) noexcept;
    /// True when the host maps URIs: messages and state need it.
    bool hasUrids() const noexcept { return map != nullptr; }

    const EffectCore& core() const noexcept { return effect; }

private:
    Lv2Amp() = default;

    void applyControlPorts() noexcept;
    void readControlPort() noexcept;
    void writeNotifyPort() noexcept;

    EffectCore effect;

    std::array<const float*, kNumParams> controls{};
    const float* inputs[2] = {nullptr, nullptr};
    float* outputs[2] = {nullptr, nullptr};
    const LV2_Atom_Sequence* controlIn = nullptr;
    LV2_Atom_Sequence* notifyOut = nullptr;

    /// The bits of each control port's value when it was last taken; a value
    /// the core refuses (not finite) is noted too, so it costs one comparison
    /// a block, not a call, while it stays.
    std::array<uint32_t, kNumParams> seenBits{};
    /// Every port is taken at the next block (the first one, after restore).
    std::atomic<bool> takeAllPorts{true};
    /// The memories may have changed outside run (restore): tell the UI.
    std::atomic<bool> memoriesDirty{true};
    /// The audio thread's own flags: the UI asked, or a change is not yet told.
    bool messageRequested = false;
    bool messagePending = true;
    /// The memories the UI was told last (their bytes in the record).
    VorlaProgram lastTold{};
    bool deactivated = false;

    LV2_URID_Map* map = nullptr;
    Urids urids;
    LV2_Atom_Forge forge{};
    LV2_Log_Logger logger{};
};

} // namespace vorla::lv2
