// SPDX-License-Identifier: GPL-3.0-or-later
// cabinet_catalog.h - the cabinets a player can choose: the built-in ones
// (made by tools/gen_cabinets.py, compiled into the program) and the
// responses in the user's cabinet folder.
#pragma once

#include "common/embedded_file.h"
#include "rig/convolution_engine.h"
#include "rig/impulse_response.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vorla {

/// The built-in cabinets (resources/cabinets, generated table).
extern const EmbeddedFile kBuiltinCabinets[];
extern const std::size_t kBuiltinCabinetsCount;

struct CabinetChoice
{
    std::string name; // built-in name, or the file's name without folder
    std::string path; // the file; empty for a built-in
    const EmbeddedFile* builtin = nullptr;
};

/// The built-ins, then the WAV, FLAC and AIFF files of `userFolder` (sorted
/// by name; a folder that does not exist adds nothing).
std::vector<CabinetChoice> listCabinets(const std::string& userFolder);

/// The cabinet `nameOrFile` names: a built-in name (any case), an existing
/// file, or a file of the user folder (with or without its extension).
/// False with a one-line reason when there is none.
bool findCabinet(const std::string& nameOrFile, const std::string& userFolder,
                 CabinetChoice& choice, std::string& error);

/// Reads, prepares for `rate` and builds the engine for blocks of `period`
/// frames.  Null with a one-line reason on failure.  Not on the audio thread.
std::unique_ptr<ConvolutionEngine> buildCabinet(const CabinetChoice& choice, double rate,
                                                int32_t period, std::string& error);

/// The names of the built-ins, comma-separated (for messages and --help).
std::string builtinCabinetNames();

} // namespace vorla
