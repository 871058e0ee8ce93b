// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/user_folders.h"

#include <cstdlib>

namespace vorla::cli {

std::string configFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/vorla";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && home[0] != '\0' ? home : ".") + "/.config/vorla";
}

std::string cabinetFolder()
{
    return configFolder() + "/cabinets";
}

} // namespace vorla::cli
