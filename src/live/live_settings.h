// SPDX-License-Identifier: GPL-3.0-or-later
// live_settings.h - what vorla-live remembers between runs: the bank and the
// current program (and with them every knob), the ports it was connected
// to, the gate, the cabinet and mute.
//
// One text file, $XDG_CONFIG_HOME/vorla/live.conf, of "key=value" lines;
// the bank is the 3360-byte state blob of the effect core written in hex.
// It is written whole to a temporary file and renamed over the old one, so
// a crash while saving leaves the last good file.  A file that cannot be
// understood is reported in one line and ignored: the program starts from
// defaults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorla::live {

struct LiveSettings
{
    std::vector<uint8_t> bank; // empty: the default bank
    int32_t program = 0;
    std::vector<std::string> inputs;  // capture ports for in_1, in_2
    std::vector<std::string> outputs; // playback ports for out_1, out_2
    bool gateOn = false;
    float gateDb = -60.0f;
    bool cabinetOn = false;
    std::string cabinet = "closed-4x12"; // chosen, even while off
    bool muted = true;                   // the first start is muted
};

enum class SettingsRead
{
    Missing, // no file: a first start
    Read,
    Corrupt, // the reason is in `error`
};

/// The settings file under `folder`.
std::string settingsPath(const std::string& folder);

SettingsRead readSettings(const std::string& path, LiveSettings& settings, std::string& error);
/// Creates the folder when needed; false with a one-line reason on failure.
bool writeSettings(const std::string& path, const LiveSettings& settings, std::string& error);

} // namespace vorla::live
