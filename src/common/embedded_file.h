// SPDX-License-Identifier: GPL-3.0-or-later
// embedded_file.h - a file compiled into a program as bytes (tables written
// at build time by cmake/EmbedFiles.cmake).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorla {

struct EmbeddedFile
{
    const char* name;
    const uint8_t* data;
    std::size_t size;
};

} // namespace vorla
