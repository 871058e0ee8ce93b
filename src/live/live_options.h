// SPDX-License-Identifier: GPL-3.0-or-later
// live_options.h - the command line of vorla-live.
#pragma once

#include "cli/amp_options.h"

#include <optional>
#include <string>
#include <vector>

namespace vorla::live {

struct LiveOptions
{
    std::string name = "vorla";       // JACK client name
    std::vector<std::string> inputs;  // --input (in_1, then in_2)
    std::vector<std::string> outputs; // --output (out_1, then out_2)
    bool noConnect = false;
    bool noGui = false;
    bool fresh = false;
    std::optional<bool> muted; // --mute on|off
    std::string screenshot;    // --screenshot FILE: draw the window, exit
    cli::AmpSettings amp;
    cli::RigSettings rig;
    bool help = false;
};

/// Parses argv; false with a one-line reason in `error`.
bool parseLiveOptions(int argc, char** argv, LiveOptions& options, std::string& error);

/// The text of --help (with the MIDI map and the folders).
std::string liveUsage();

} // namespace vorla::live
