// SPDX-License-Identifier: GPL-3.0-or-later
// snapshot_options.h - the command line of vorla-snapshot.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct SnapshotOptions
{
    std::string output;                              ///< PNG file to write
    std::optional<int> program;                      ///< --program N
    std::vector<std::pair<std::string, float>> sets; ///< --set NAME=VALUE, in order
    std::optional<std::string> chunkFile;            ///< --chunk FILE
    bool help = false;
};

/// Parses argv.  On error returns false with a one-line message in `error`.
bool parseSnapshotOptions(int argc, const char* const* argv, SnapshotOptions& options,
                          std::string& error);

/// The usage text.
const char* snapshotUsage();
