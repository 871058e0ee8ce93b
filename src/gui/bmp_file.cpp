// SPDX-License-Identifier: GPL-3.0-or-later
// bmp_file.cpp - reads the uncompressed Windows bitmap files that hold the
// plain (opaque) images.
//
// Layout of such a file, all fields little-endian:
//   0   'B' 'M'
//   2   file size (u32), reserved (2 x u16)
//   10  offset of the pixel rows from the start of the file (u32)
//   14  info header: its size (u32, 40 for BITMAPINFOHEADER, more for the
//       later versions, which only add fields), width (s32), height (s32,
//       negative for top-down rows), planes (u16, 1), bits per pixel (u16),
//       compression (u32, 0 = BI_RGB), then sizes, resolutions and palette
//       counts that uncompressed 24/32-bit files do not need.
// Pixel rows hold blue, green, red (and an unused byte at 32 bits), each row
// padded to a multiple of four bytes.
#include "gui/image_decoding.h"

#include <cstring>

namespace vorla {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kMinInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;

uint32_t readU32(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint16_t readU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

} // namespace

bool readBmpFile(const uint8_t* bytes, size_t size, std::unique_ptr<Raster>& image)
{
    if (!bytes || size < kFileHeaderSize + kMinInfoHeaderSize || bytes[0] != 'B' || bytes[1] != 'M')
        return false;
    const uint32_t pixelOffset = readU32(bytes + 10);
    const uint8_t* info = bytes + kFileHeaderSize;
    const uint32_t infoSize = readU32(info);
    const auto width = static_cast<int32_t>(readU32(info + 4));
    const auto rawHeight = static_cast<int32_t>(readU32(info + 8));
    const uint16_t planes = readU16(info + 12);
    const uint16_t bitsPerPixel = readU16(info + 14);
    const uint32_t compression = readU32(info + 16);
    if (infoSize < kMinInfoHeaderSize || planes != 1 || compression != kBiRgb ||
        (bitsPerPixel != 24 && bitsPerPixel != 32))
        return false;
    // INT32_MIN has no positive counterpart: refused with the other bad sizes.
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -static_cast<int64_t>(rawHeight) : rawHeight;
    if (width <= 0 || height <= 0 || static_cast<uint32_t>(width) > kMaxImageDimension ||
        height > kMaxImageDimension ||
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxImagePixels)
        return false;

    const size_t bytesPerPixel = bitsPerPixel / 8;
    const size_t rowBytes = (static_cast<size_t>(width) * bytesPerPixel + 3) & ~size_t{3};
    if (pixelOffset < kFileHeaderSize + infoSize || pixelOffset > size ||
        (size - pixelOffset) / rowBytes < static_cast<size_t>(height))
        return false;

    auto result = std::make_unique<Raster>(width, static_cast<int32_t>(height));
    for (int32_t y = 0; y < result->height(); ++y)
    {
        // Bottom-up files store the picture's last row first.
        const int64_t fileRow = topDown ? y : height - 1 - y;
        const uint8_t* source = bytes + pixelOffset + static_cast<size_t>(fileRow) * rowBytes;
        uint8_t* target = result->row(y);
        for (int32_t x = 0; x < width; ++x, source += bytesPerPixel, target += 4)
        {
            target[0] = source[0];
            target[1] = source[1];
            target[2] = source[2];
            target[3] = 255;
        }
    }
    image = std::move(result);
    return true;
}

} // namespace vorla
