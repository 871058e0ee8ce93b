// SPDX-License-Identifier: GPL-3.0-or-later
// libpng_decoder.cpp - PNG images decoded with libpng (Linux).
//
// The calls follow libpng's sequential reader: the header first, then the
// transformations that bring every colour type to four bytes per pixel in
// the order blue, green, red, alpha, then one row at a time.  Decoder errors
// unwind with longjmp to the error return point in decodePngImage.
#include "gui/image_decoding.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace vorla {

namespace {

/// The memory reader handed to libpng: the resource's bytes and a position.
struct PngMemoryReader
{
    const uint8_t* data;
    size_t position;
    size_t size;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* reader = static_cast<PngMemoryReader*>(png_get_io_ptr(png));
    if (count > reader->size - reader->position)
    {
        // A read past the end copies nothing and leaves the position where it
        // was.  libpng has no way to see a short read, so it is told through
        // its error path: otherwise it would go on with bytes that were never
        // read.
        png_error(png, "read past the end of the image data");
    }
    std::memcpy(out, reader->data + reader->position, count);
    reader->position += count;
}

/// Decoder errors unwind silently to the error return point; warnings are
/// ignored (the plug-in writes no log).
[[noreturn]] void pngError(png_structp png, png_const_charp /*message*/)
{
    png_longjmp(png, 1);
}

void pngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

/// Builds the raster inside the decoder's error scope without letting a C++
/// exception cross libpng's frames.
Raster* allocateRaster(int32_t width, int32_t height)
{
    try
    {
        return new Raster(width, height);
    }
    catch (...)
    {
        return nullptr;
    }
}

} // namespace

// Only trivially destructible locals live between setjmp and a longjmp.
bool decodePngImage(const uint8_t* bytes, size_t size, std::unique_ptr<Raster>& image,
                    int32_t& width, int32_t& height)
{
    PngMemoryReader reader{bytes, 0, size};
    // libpng checks that the caller was built against a compatible release:
    // pass the version of the headers we were built with (1.6); a 1.2-series
    // string such as "1.2.34" would be refused by libpng 1.6.
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info)
    {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }

    volatile bool complete = false;
    Raster* volatile raster = nullptr;
    if (setjmp(png_jmpbuf(png)) == 0)
    {
        png_set_read_fn(png, &reader, readFromMemory);
        png_read_info(png, info);

        png_uint_32 w = 0;
        png_uint_32 h = 0;
        int bitDepth = 0;
        int colorType = 0;
        png_get_IHDR(png, info, &w, &h, &bitDepth, &colorType, nullptr, nullptr, nullptr);
        if (w > kMaxImageDimension || h > kMaxImageDimension ||
            static_cast<uint64_t>(w) * h > kMaxImagePixels)
            png_error(png, "image too large");
        width = static_cast<int32_t>(w);
        height = static_cast<int32_t>(h);

        raster = allocateRaster(width, height);
        if (!raster)
            png_error(png, "out of memory");
        image.reset(raster);

        // Every image ends as four bytes per pixel: blue, green, red, alpha.
        if (colorType == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(png);
        if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(png);
        if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS))
            png_set_tRNS_to_alpha(png);
        else
            png_set_filler(png, 0xff, PNG_FILLER_AFTER); // only pixels without alpha get it
        if (bitDepth == 16)
        {
            png_set_swap(png);
            png_set_strip_16(png);
        }
        png_set_bgr(png);
        png_read_update_info(png, info);
        if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4)
            png_error(png, "unexpected row size");

        // One row at a time, top row first.  (Stored top-down, this is the
        // same picture a bottom-up buffer filled from its last row gives.)
        for (int32_t y = 0; y < height; ++y)
        {
            png_bytep row = raster->row(y);
            png_read_rows(png, &row, nullptr, 1);
        }
        png_read_end(png, nullptr);
        complete = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return complete;
}

} // namespace vorla
