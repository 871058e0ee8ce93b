// SPDX-License-Identifier: GPL-3.0-or-later
// host_text.h - bounded copies of text into buffers the host owns.
//
// The VST 2.4 convention gives every text a character limit and expects the
// terminator at the position equal to the limit.  copyBounded() writes
// exactly limit + 1 bytes: the text (cut at the limit), zero bytes after its
// end, and a zero at [limit].  appendBounded() extends such a text without
// going past the limit.
#pragma once

#include <cstddef>

namespace vorla {

inline void copyBounded(char* dst, const char* src, std::size_t limit) noexcept
{
    std::size_t i = 0;
    for (; i < limit && src[i] != '\0'; ++i)
        dst[i] = src[i];
    for (; i < limit; ++i)
        dst[i] = '\0';
    dst[limit] = '\0';
}

inline void appendBounded(char* dst, const char* src, std::size_t limit) noexcept
{
    std::size_t length = 0;
    while (length < limit && dst[length] != '\0')
        ++length;
    std::size_t i = 0;
    for (; length + i < limit && src[i] != '\0'; ++i)
        dst[length + i] = src[i];
    dst[length + i] = '\0';
    dst[limit] = '\0';
}

/// Length of a text stored in a fixed field, never reading past the field.
inline std::size_t boundedLength(const char* text, std::size_t fieldSize) noexcept
{
    std::size_t length = 0;
    while (length < fieldSize && text[length] != '\0')
        ++length;
    return length;
}

} // namespace vorla
