// SPDX-License-Identifier: GPL-3.0-or-later
// image_decoding.h - turning the library's image resources into pixels.
//
// Two kinds of resource hold the editor's images (gui/resources.h): "PNG"
// images with an alpha channel, decoded here into unpremultiplied pixels
// (CBitmap premultiplies them), and plain opaque bitmaps, which are stored
// as uncompressed Windows bitmaps so that loading one is a copy, not a
// decode: the background is loaded by every new instance, and a host that
// scans plug-ins or opens a large project creates many.
//
// The decoders are the platform's: libpng on Linux, the Windows Imaging
// Component on Windows.  Both give the same bytes for the images the library
// carries (8-bit RGBA, not interlaced); the tests compare them.
#pragma once

#include "gui/raster.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vorla {

/// Largest image a decoder accepts (the knob strip has about 0.2 Mpixel); a
/// corrupt header asking for more is refused instead of exhausting memory.
constexpr uint32_t kMaxImageDimension = 16384;
constexpr uint64_t kMaxImagePixels = 32u * 1024u * 1024u;

// --- Implemented once per platform ---------------------------------------------

/// Decodes the PNG file in `bytes` into `image` (created here; top-down rows
/// of blue, green, red, alpha, not premultiplied; pixels of images without
/// alpha get 255) and sets `width` and `height` from its header.  Palette,
/// grey and 16-bit images are expanded or reduced to that form.  Returns true
/// when every row was decoded; after a failure part-way the image (if one
/// was made) keeps the rows decoded so far and zeros elsewhere.
/// gui/x11/libpng_decoder.cpp (libpng), gui/win32/wic_png_decoder.cpp (WIC).
bool decodePngImage(const uint8_t* bytes, size_t size, std::unique_ptr<Raster>& image,
                    int32_t& width, int32_t& height);

/// Loads the plain bitmap resource `id` as an opaque image (blue, green,
/// red, alpha 255).  False when the resource is missing or unreadable.
/// gui/x11/embedded_resources.cpp (the compiled-in file, read by
/// readBmpFile), gui/win32/win32_resources.cpp (LoadBitmapA).
bool loadBitmapResource(int32_t id, std::unique_ptr<Raster>& image);

// --- Shared -------------------------------------------------------------------

/// Reads an uncompressed Windows bitmap file: BITMAPFILEHEADER, an info
/// header of 40 bytes or more, 24 or 32 bits per pixel with BI_RGB, rows
/// bottom-up (positive height) or top-down (negative height), each padded to
/// four bytes.  The result is opaque: alpha 255 whatever a 32-bit file's
/// fourth byte holds.  False, with `image` untouched, for any other kind of
/// file or a truncated one.
bool readBmpFile(const uint8_t* bytes, size_t size, std::unique_ptr<Raster>& image);

} // namespace vorla
