// SPDX-License-Identifier: GPL-3.0-or-later
// render_options.h - the command line of vorla-render.
//
// Parsing checks everything that can be checked without the plug-in (numbers,
// ranges, option names, the --set value); names given to --set are resolved
// later against the names the loaded plug-in reports.
#pragma once

#include "cli/amp_options.h"

#include <optional>
#include <string>
#include <vector>

namespace vorla::render {

enum class SampleFormat
{
    Float,
    Pcm16,
    Pcm24,
};

using cli::lowered;
using cli::ParameterSetting;
using cli::parseParameterValue;
using cli::Voicing;

struct Options
{
    std::string input;
    std::string output;
    std::string pluginPath; // empty: vorla.so next to the executable
    int blockSize = 512;    // 1..65536
    cli::AmpSettings amp;
    cli::RigSettings rig;
    std::string saveChunkFile;
    double tailSeconds = 0.0;
    std::optional<SampleFormat> format; // unset: float, or PCM 24 for FLAC output
    bool quiet = false;
    bool help = false;
};

/// Parses argv.  On failure returns false with a one-line reason in `error`
/// (without the program-name prefix).
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

/// The text of --help.
std::string usageText();

} // namespace vorla::render
