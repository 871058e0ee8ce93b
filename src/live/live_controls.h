// SPDX-License-Identifier: GPL-3.0-or-later
// live_controls.h - what the window's strip shows and changes, as the
// application offers it.  The strip (strip_view.h) knows nothing of JACK,
// files or threads: it reads these values and calls these functions on the
// window's thread.
#pragma once

#include <cstdint>
#include <string>

namespace vorla::live {

class LiveControls
{
public:
    /// Meter levels in dBFS (peak, held and falling as a meter does).
    virtual float inputLevelDb() = 0;
    virtual float outputLevelDb() = 0;

    virtual std::string inputName() = 0; // the capture port on in_1, or "-"
    virtual void stepInput(int32_t direction) = 0;

    virtual bool gateOn() = 0;
    virtual float gateDb() = 0;
    virtual void setGate(bool on, float thresholdDb) = 0;

    virtual bool cabinetOn() = 0;
    virtual void setCabinetOn(bool on) = 0;
    virtual std::string cabinetName() = 0;
    virtual void stepCabinet(int32_t direction) = 0;

    virtual int32_t program() = 0;
    virtual std::string programName() = 0;
    virtual void stepProgram(int32_t direction) = 0;

    virtual bool muted() = 0;
    virtual void setMuted(bool on) = 0;

    /// A line for the player (how to unmute, a cabinet that could not be
    /// read); empty when there is nothing to say.
    virtual std::string message() = 0;

protected:
    ~LiveControls() = default;
};

} // namespace vorla::live
