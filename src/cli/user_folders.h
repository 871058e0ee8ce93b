// SPDX-License-Identifier: GPL-3.0-or-later
// user_folders.h - where Vorla's programs keep what is the user's own:
// $XDG_CONFIG_HOME/vorla (~/.config/vorla when XDG_CONFIG_HOME is unset or
// not absolute), and in it the folder of the user's cabinets.
#pragma once

#include <string>

namespace vorla::cli {

/// The settings folder (not created here).
std::string configFolder();
/// The user's cabinet responses: configFolder() + "/cabinets".
std::string cabinetFolder();

} // namespace vorla::cli
