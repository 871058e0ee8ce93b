// SPDX-License-Identifier: GPL-3.0-or-later
// live_app.h - vorla-live as a whole: the effect core, the rig, the JACK
// client, the settings and the window, and the control thread's loop that
// ties them together.
#pragma once

#include "effect/effect_core.h"
#include "live/jack_link.h"
#include "live/live_controls.h"
#include "live/live_engine.h"
#include "live/live_options.h"
#include "live/live_settings.h"
#include "rig/cabinet_catalog.h"
#include "rig/rig.h"

#include <memory>
#include <string>
#include <vector>

namespace vorla::live {

class LiveWindow;

class LiveApp final : public LiveControls
{
public:
    explicit LiveApp(LiveOptions options);
    ~LiveApp();

    /// Runs until the window closes, a signal arrives or the server goes;
    /// answers the exit status.
    int run();

    // --- LiveControls (the window's strip) -------------------------------------
    float inputLevelDb() override;
    float outputLevelDb() override;
    std::string inputName() override;
    void stepInput(int32_t direction) override;
    bool gateOn() override { return rig.gateOn(); }
    float gateDb() override { return rig.gateThreshold(); }
    void setGate(bool on, float thresholdDb) override { rig.setGate(on, thresholdDb); }
    bool cabinetOn() override { return rig.cabinet().enabled(); }
    void setCabinetOn(bool on) override;
    std::string cabinetName() override { return cabinet.name; }
    void stepCabinet(int32_t direction) override;
    int32_t program() override { return core->currentProgram(); }
    std::string programName() override;
    void stepProgram(int32_t direction) override;
    bool muted() override { return engine->isMuted(); }
    void setMuted(bool on) override;
    std::string message() override;

private:
    /// Restores the saved settings (unless --fresh); false when they were
    /// missing or unreadable (then the defaults stand).
    void restoreSettings();
    /// Applies --chunk, --program, --channel, --quality, --stereo, --set.
    bool applyAmpOptions(std::string& error);
    /// Applies --gate and --cab.
    bool applyRigOptions(std::string& error);
    /// Builds `choice` for the current rate and period and hands it to the
    /// audio thread (or installs it before the start); false with a reason.
    bool loadCabinet(const CabinetChoice& choice, bool atStart, std::string& error);
    void makeConnections();
    void saveSettings();
    /// One pass of the control loop's housekeeping.
    void serviceRequests();
    int screenshot();

    LiveOptions options;
    std::unique_ptr<EffectCore> core;
    Rig rig;
    std::unique_ptr<LiveEngine> engine;
    std::unique_ptr<JackLink> jack;
    std::unique_ptr<LiveWindow> window;
    LiveSettings saved;
    bool firstStart = false;
    CabinetChoice cabinet;
    std::string cabinetError; // the last cabinet that could not be used
    std::string cabinetTried; // its name, where the window's stepping goes on from
    std::string inputPort;    // the capture port on in_1 as we connected it
    float inLevel = -120.0f, outLevel = -120.0f;
    int32_t builtForPeriod = 0;
};

} // namespace vorla::live
