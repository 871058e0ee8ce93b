// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmaps: PNG decoding with its transformations and premultiplication, the
// plain bitmap files, the embedded resources, and drawing with a source
// offset.
#include "gui/cbitmap.h"
#include "gui/cdrawcontext.h"
#include "gui/image_decoding.h"
#include "gui/resources.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <vector>

namespace {

constexpr int32_t kNoSuchResource = 999;

void appendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void noFlush(png_structp) {}

/// Encodes a PNG in memory; `rows` holds the packed rows of the given format.
std::vector<uint8_t> encodePng(uint32_t width, uint32_t height, int colorType, int bitDepth,
                               const std::vector<std::vector<uint8_t>>& rows,
                               const std::vector<png_color>& palette = {},
                               const std::vector<uint8_t>& trns = {})
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
    {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendBytes, noFlush);
    png_set_compression_buffer_size(png,
                                    512); // many small data chunks: truncation lands between rows
    png_set_IHDR(png, info, width, height, bitDepth, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!trns.empty())
        png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
    png_write_info(png, info);
    for (const auto& row : rows)
        png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

/// Pixel bytes (blue, green, red, alpha) of a decoded bitmap.
std::vector<uint8_t> bgra(const CBitmap& bitmap, int32_t x, int32_t y)
{
    const uint8_t* p = bitmap.getImage()->row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

using Bytes = std::vector<uint8_t>;

/// CRC-32 as PNG chunks use it (bitwise, reflected polynomial 0xEDB88320).
uint32_t chunkCrc(const uint8_t* data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
    {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

/// A Windows bitmap file written field by field: `rows` top row first, each
/// with width * bitsPerPixel / 8 bytes (blue, green, red[, x]); stored
/// bottom-up unless `topDown`, each row padded to four bytes.
Bytes bmpFile(int32_t width, const std::vector<Bytes>& rows, uint16_t bitsPerPixel,
              bool topDown = false, uint32_t compression = 0)
{
    Bytes out;
    auto u16 = [&](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    const auto height = static_cast<int32_t>(rows.size());
    const size_t rowBytes = (static_cast<size_t>(width) * bitsPerPixel / 8 + 3) & ~size_t{3};
    out.push_back('B');
    out.push_back('M');
    u32(static_cast<uint32_t>(54 + rowBytes * rows.size()));
    u32(0);
    u32(54);
    u32(40);
    u32(static_cast<uint32_t>(width));
    u32(static_cast<uint32_t>(topDown ? -height : height));
    u16(1);
    u16(bitsPerPixel);
    u32(compression);
    for (int i = 0; i < 5; ++i)
        u32(0);
    for (int32_t i = 0; i < height; ++i)
    {
        Bytes row = rows[static_cast<size_t>(topDown ? i : height - 1 - i)];
        row.resize(rowBytes, 0xEE); // padding bytes that must not show
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

} // namespace

TEST(Bitmap, RgbaIsPremultipliedWithShiftByEight)
{
    // white opaque, coloured transparent, half-transparent colour
    const auto png = encodePng(3, 1, PNG_COLOR_TYPE_RGBA, 8,
                               {{255, 255, 255, 255, 200, 100, 50, 0, 200, 100, 50, 128}});
    CBitmap bitmap(kNoSuchResource);
    bitmap.decodePng(png.data(), png.size());
    ASSERT_NE(bitmap.getImage(), nullptr);
    EXPECT_EQ(bitmap.getWidth(), 3);
    EXPECT_EQ(bitmap.getHeight(), 1);
    EXPECT_FALSE(bitmap.isNoAlpha());
    EXPECT_EQ(bgra(bitmap, 0, 0), (Bytes{254, 254, 254, 255}));
    EXPECT_EQ(bgra(bitmap, 1, 0), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(bgra(bitmap, 2, 0), (Bytes{25, 50, 100, 128}));
}

TEST(Bitmap, RowsStayUpright)
{
    const auto png = encodePng(1, 2, PNG_COLOR_TYPE_RGB, 8, {{255, 0, 0}, {0, 0, 255}});
    CBitmap bitmap(kNoSuchResource);
    bitmap.decodePng(png.data(), png.size());
    ASSERT_NE(bitmap.getImage(), nullptr);
    EXPECT_EQ(bgra(bitmap, 0, 0), (Bytes{0, 0, 254, 255})); // red on top, filler alpha 255
    EXPECT_EQ(bgra(bitmap, 0, 1), (Bytes{254, 0, 0, 255}));
}

TEST(Bitmap, SixteenBitSamplesKeepTheirHighByte)
{
    // One pixel: red 0xAB12, green 0x4000, blue 0x00FF, alpha 0xFFFF (big-endian in the file).
    const auto png = encodePng(1, 1, PNG_COLOR_TYPE_RGBA, 16,
                               {{0xAB, 0x12, 0x40, 0x00, 0x00, 0xFF, 0xFF, 0xFF}});
    CBitmap bitmap(kNoSuchResource);
    bitmap.decodePng(png.data(), png.size());
    ASSERT_NE(bitmap.getImage(), nullptr);
    EXPECT_EQ(bgra(bitmap, 0, 0), (Bytes{0, 0x40 * 255 >> 8, 0xAB * 255 >> 8, 255}));
}

TEST(Bitmap, PaletteWithTransparencyChunkGainsAlpha)
{
    const std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    const std::vector<uint8_t> trns = {128, 0}; // index 2 has no entry: opaque
    const auto png = encodePng(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1, 2}}, palette, trns);
    CBitmap bitmap(kNoSuchResource);
    bitmap.decodePng(png.data(), png.size());
    ASSERT_NE(bitmap.getImage(), nullptr);
    EXPECT_EQ(bgra(bitmap, 0, 0), (Bytes{0, 0, 127, 128}));
    EXPECT_EQ(bgra(bitmap, 1, 0), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(bgra(bitmap, 2, 0), (Bytes{254, 0, 0, 255}));
}

TEST(Bitmap, LowDepthPaletteAndGreyAreExpanded)
{
    const std::vector<png_color> palette = {{10, 20, 30}, {40, 50, 60}};
    const auto pal = encodePng(4, 1, PNG_COLOR_TYPE_PALETTE, 1, {{0b01010000}}, palette);
    CBitmap p(kNoSuchResource);
    p.decodePng(pal.data(), pal.size());
    ASSERT_NE(p.getImage(), nullptr);
    EXPECT_EQ(bgra(p, 0, 0), (Bytes{29, 19, 9, 255}));
    EXPECT_EQ(bgra(p, 1, 0), (Bytes{59, 49, 39, 255}));

    // 2-bit grey: 3 is white.
    const auto grey = encodePng(2, 1, PNG_COLOR_TYPE_GRAY, 2, {{0b11000000}});
    CBitmap g(kNoSuchResource);
    g.decodePng(grey.data(), grey.size());
    ASSERT_NE(g.getImage(), nullptr);
    EXPECT_EQ(bgra(g, 0, 0), (Bytes{254, 254, 254, 255}));
    EXPECT_EQ(bgra(g, 1, 0), (Bytes{0, 0, 0, 255}));

    const auto greyAlpha = encodePng(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{200, 0}});
    CBitmap ga(kNoSuchResource);
    ga.decodePng(greyAlpha.data(), greyAlpha.size());
    ASSERT_NE(ga.getImage(), nullptr);
    EXPECT_EQ(bgra(ga, 0, 0), (Bytes{0, 0, 0, 0}));
}

TEST(Bitmap, TruncatedImageLeavesAPartialStateWithoutReadingPastTheEnd)
{
    std::vector<std::vector<uint8_t>> rows(64, std::vector<uint8_t>(64 * 4));
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t i = 0; i < rows[y].size(); ++i)
            rows[y][i] = static_cast<uint8_t>((y * 131 + i * 7) ^ (i >> 3)); // poorly compressible
    const auto png = encodePng(64, 64, PNG_COLOR_TYPE_RGBA, 8, rows);
    ASSERT_GT(png.size(), 2000u);

    for (size_t keep : {size_t(8), size_t(40), png.size() / 2, png.size() - 20})
    {
        // An exact-size heap copy, so that a read past the end would be seen by ASan.
        std::vector<uint8_t> cut(png.begin(), png.begin() + static_cast<long>(keep));
        CBitmap bitmap(kNoSuchResource);
        bitmap.decodePng(cut.data(), cut.size());
        EXPECT_FALSE(bitmap.isNoAlpha());
        if (keep > 40)
        {
            // The header was read: the size is known and an image exists.
            EXPECT_EQ(bitmap.getWidth(), 64);
            EXPECT_EQ(bitmap.getHeight(), 64);
            EXPECT_NE(bitmap.getImage(), nullptr);
        }
    }
    // Half the data: the first rows arrived as they were, not premultiplied;
    // the rest stayed zero.
    std::vector<uint8_t> half(png.begin(), png.begin() + static_cast<long>(png.size() / 2));
    CBitmap bitmap(kNoSuchResource);
    bitmap.decodePng(half.data(), half.size());
    ASSERT_NE(bitmap.getImage(), nullptr);
    const uint8_t* first = bitmap.getImage()->row(0);
    EXPECT_EQ(first[4 * 5 + 2], rows[0][4 * 5 + 0]); // red of pixel 5, unscaled
    EXPECT_EQ(first[4 * 5 + 3], rows[0][4 * 5 + 3]);
    const uint8_t* last = bitmap.getImage()->row(63);
    EXPECT_EQ(last[0] | last[1] | last[2] | last[3], 0);
}

TEST(Bitmap, CorruptDataAndAbsurdHeadersAreRefusedQuietly)
{
    const std::vector<uint8_t> garbage = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    CBitmap a(kNoSuchResource);
    a.decodePng(garbage.data(), garbage.size());
    EXPECT_EQ(a.getImage(), nullptr);
    EXPECT_EQ(a.getWidth(), 0);

    // A valid image whose data CRC was damaged.
    auto png = encodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}});
    for (size_t i = 8; i + 8 < png.size(); ++i)
        if (std::memcmp(&png[i], "IDAT", 4) == 0)
            png[i + 6] ^= 0xFF;
    CBitmap b(kNoSuchResource);
    b.decodePng(png.data(), png.size());
    EXPECT_EQ(b.getWidth(), 2); // header fine, data refused

    // A header claiming 60000 x 60000 pixels is not allocated.
    auto big = encodePng(1, 1, PNG_COLOR_TYPE_RGB, 8, {{0, 0, 0}});
    const uint8_t dims[8] = {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60};
    std::memcpy(&big[16], dims, 8);
    const uint32_t crc = chunkCrc(&big[12], 17);
    big[29] = static_cast<uint8_t>(crc >> 24);
    big[30] = static_cast<uint8_t>(crc >> 16);
    big[31] = static_cast<uint8_t>(crc >> 8);
    big[32] = static_cast<uint8_t>(crc);
    CBitmap c(kNoSuchResource);
    c.decodePng(big.data(), big.size());
    EXPECT_EQ(c.getImage(), nullptr);
}

TEST(Bitmap, MissingResourceGivesAnEmptyBitmapThatDrawsNothing)
{
    CBitmap bitmap(kNoSuchResource);
    EXPECT_EQ(bitmap.getWidth(), 0);
    EXPECT_EQ(bitmap.getHeight(), 0);
    EXPECT_EQ(bitmap.getImage(), nullptr);
    COffscreenContext context(static_cast<CFrame*>(nullptr), 4, 4, kWhiteCColor);
    bitmap.draw(&context, CRect(0, 0, 4, 4));
    bitmap.drawTransparent(&context, CRect(0, 0, 4, 4));
    EXPECT_EQ(context.raster().pixel(1, 1), 0xFFFFFFFFu);
    EXPECT_FALSE(bitmap.loadFromPath("/tmp/x.png"));
}

TEST(BmpFile, BottomUpRowsWithPaddingGiveTheUprightOpaquePicture)
{
    // Three pixels of 24 bits: 9 bytes and 3 of padding per row.
    const Bytes file =
        bmpFile(3, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}}, 24);
    std::unique_ptr<vorla::Raster> image;
    ASSERT_TRUE(vorla::readBmpFile(file.data(), file.size(), image));
    ASSERT_EQ(image->width(), 3);
    ASSERT_EQ(image->height(), 2);
    EXPECT_EQ(image->pixel(0, 0), 0xFF030201u); // top row first, blue in the low byte
    EXPECT_EQ(image->pixel(2, 0), 0xFF090807u);
    EXPECT_EQ(image->pixel(0, 1), 0xFF0C0B0Au);
    EXPECT_EQ(image->pixel(2, 1), 0xFF121110u);
}

TEST(BmpFile, TopDownAndThirtyTwoBitFilesAreOpaqueToo)
{
    const Bytes file = bmpFile(2, {{1, 2, 3, 0, 4, 5, 6, 77}, {7, 8, 9, 200, 10, 11, 12, 0}}, 32,
                               /*topDown=*/true);
    std::unique_ptr<vorla::Raster> image;
    ASSERT_TRUE(vorla::readBmpFile(file.data(), file.size(), image));
    EXPECT_EQ(image->pixel(0, 0), 0xFF030201u);
    EXPECT_EQ(image->pixel(1, 0), 0xFF060504u);
    EXPECT_EQ(image->pixel(0, 1), 0xFF090807u);
    EXPECT_EQ(image->pixel(1, 1), 0xFF0C0B0Au);
}

TEST(BmpFile, OtherKindsAndTruncatedFilesAreRefused)
{
    const std::vector<Bytes> rows = {{1, 2, 3}, {4, 5, 6}};
    std::unique_ptr<vorla::Raster> image;
    const Bytes good = bmpFile(1, rows, 24);
    ASSERT_TRUE(vorla::readBmpFile(good.data(), good.size(), image));
    image.reset();

    Bytes truncated = good;
    truncated.pop_back();
    const Bytes compressed = bmpFile(1, rows, 24, false, 1); // BI_RLE8
    const Bytes palette = bmpFile(4, {{1, 2}, {3, 4}}, 8);
    Bytes notBmp = good;
    notBmp[0] = 'P';
    Bytes offsetPastEnd = good;
    offsetPastEnd[10] = 0xFF;
    Bytes zeroWidth = good;
    zeroWidth[18] = 0;
    const std::initializer_list<const Bytes*> refused = {&truncated, &compressed,    &palette,
                                                         &notBmp,    &offsetPastEnd, &zeroWidth};
    for (const Bytes* bad : refused)
    {
        EXPECT_FALSE(vorla::readBmpFile(bad->data(), bad->size(), image));
        EXPECT_EQ(image, nullptr);
    }
    EXPECT_FALSE(vorla::readBmpFile(good.data(), 20, image));
    EXPECT_FALSE(vorla::readBmpFile(nullptr, 0, image));
}

TEST(Resources, ImagesHaveTheLayoutsSizes)
{
    struct Expected
    {
        int32_t id, w, h;
    };
    for (const Expected& e : {Expected{1, 56, 3528}, Expected{2, 8, 16}, Expected{3, 35, 120},
                              Expected{4, 12, 54}, Expected{5, 50, 54}})
    {
        CBitmap bitmap(e.id);
        EXPECT_EQ(bitmap.getWidth(), e.w) << e.id;
        EXPECT_EQ(bitmap.getHeight(), e.h) << e.id;
        EXPECT_FALSE(bitmap.isNoAlpha()) << e.id;
        EXPECT_NE(bitmap.getImage(), nullptr) << e.id;
    }
    // The background is a plain bitmap: no "PNG" resource, opaque, plain copy.
    const uint8_t* data = nullptr;
    size_t size = 0;
    EXPECT_FALSE(vorla::findResource(128, "PNG", data, size));
    CBitmap background(128);
    EXPECT_EQ(background.getWidth(), 660);
    EXPECT_EQ(background.getHeight(), 250);
    EXPECT_TRUE(background.isNoAlpha());
}

TEST(Resources, BackgroundDrawsAsAPlainCopy)
{
    CBitmap background(128);
    ASSERT_NE(background.getImage(), nullptr);
    COffscreenContext context(static_cast<CFrame*>(nullptr), 660, 250, CColor{0, 0, 0, 0});
    background.draw(&context, CRect(0, 0, 660, 250));
    for (int32_t y = 0; y < 250; y += 7)
        for (int32_t x = 0; x < 660; x += 13)
        {
            ASSERT_EQ(context.raster().pixel(x, y), background.getImage()->pixel(x, y));
            ASSERT_EQ(context.raster().pixel(x, y) >> 24, 255u);
        }
}

TEST(Resources, SourceOffsetSelectsAKnobFrame)
{
    CBitmap knob(1);
    ASSERT_NE(knob.getImage(), nullptr);
    COffscreenContext context(static_cast<CFrame*>(nullptr), 56, 56, CColor{0, 0, 0, 0});
    knob.draw(&context, CRect(0, 0, 56, 56), CPoint(0, 56 * 31));
    // Over a fully transparent destination the blend gives the source itself.
    for (int32_t y = 0; y < 56; ++y)
        for (int32_t x = 0; x < 56; ++x)
            ASSERT_EQ(context.raster().pixel(x, y), knob.getImage()->pixel(x, 56 * 31 + y))
                << x << "," << y;
    // The strip's frames differ: frame 31 is not frame 0.
    int differing = 0;
    for (int32_t y = 0; y < 56; ++y)
        for (int32_t x = 0; x < 56; ++x)
            differing += knob.getImage()->pixel(x, y) != knob.getImage()->pixel(x, 56 * 31 + y);
    EXPECT_GT(differing, 20);
}
