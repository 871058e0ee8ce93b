// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows build's images (Windows build only, under Wine): the toolkit
// loads the editor's images from vorla.dll's resources - the background
// (bitmap 128) with LoadBitmapA, the PNG images decoded by the Windows
// Imaging Component - and must hold exactly the pixels the Linux build holds
// after decoding the same files with libpng (written by vorla-image-dump).
#include "gui/cbitmap.h"
#include "gui/platform.h"
#include "gui/resources.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Reference
{
    int32_t width = 0;
    int32_t height = 0;
    bool noAlpha = false;
    std::vector<uint8_t> pixels;
};

bool readReference(int32_t id, Reference& out)
{
    const std::string path =
        std::string(VORLA_LINUX_REFERENCE_DIR) + "/image-" + std::to_string(id) + ".raw";
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (bytes.size() < 12)
        return false;
    int32_t header[3];
    std::memcpy(header, bytes.data(), sizeof header);
    out.width = header[0];
    out.height = header[1];
    out.noAlpha = header[2] != 0;
    out.pixels.assign(bytes.begin() + 12, bytes.end());
    return out.pixels.size() == static_cast<size_t>(out.width) * out.height * 4;
}

class Win32Images : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The DLL's resources, as the editor reaches them when the DLL runs
        // in a host: its instance handle is the resource module.
        library = LoadLibraryA(VORLA_PLUGIN_PATH);
        ASSERT_NE(library, nullptr) << "cannot load " << VORLA_PLUGIN_PATH;
        vorla::setResourceModule(library);
    }
    void TearDown() override
    {
        vorla::setResourceModule(nullptr);
        if (library)
            FreeLibrary(library);
    }
    HMODULE library = nullptr;
};

} // namespace

TEST_F(Win32Images, EveryImageHoldsTheLinuxBuildsPixels)
{
    for (int32_t id :
         {vorla::kKnobBitmapId, vorla::kBrightLampBitmapId, vorla::kChannelSwitchBitmapId,
          vorla::kLampBitmapId, vorla::kWideButtonBitmapId, vorla::kBackgroundBitmapId})
    {
        Reference expected;
        ASSERT_TRUE(readReference(id, expected)) << "no Linux reference for image " << id;
        CBitmap bitmap(id);
        ASSERT_NE(bitmap.getImage(), nullptr) << "image " << id << " did not load";
        EXPECT_EQ(bitmap.getWidth(), expected.width) << id;
        EXPECT_EQ(bitmap.getHeight(), expected.height) << id;
        EXPECT_EQ(bitmap.isNoAlpha(), expected.noAlpha) << id;
        const vorla::Raster& image = *bitmap.getImage();
        ASSERT_EQ(image.stride() * static_cast<size_t>(image.height()), expected.pixels.size());
        size_t differing = 0;
        size_t first = 0;
        for (size_t i = 0; i < expected.pixels.size(); ++i)
            if (image.data()[i] != expected.pixels[i] && differing++ == 0)
                first = i;
        EXPECT_EQ(differing, 0u) << "image " << id << ": " << differing
                                 << " bytes differ, first at pixel " << first / 4 << " (x "
                                 << first / 4 % static_cast<size_t>(expected.width) << ", y "
                                 << first / 4 / static_cast<size_t>(expected.width) << ")";
    }
}

TEST_F(Win32Images, TheBackgroundIsABitmapResourceAndThePngsArePngResources)
{
    // Bitmap 128 is a real BITMAP resource (no "PNG" of that number); the
    // others are resources of the type named "PNG".
    EXPECT_NE(FindResourceA(library, MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(2)), nullptr);
    const uint8_t* data = nullptr;
    size_t size = 0;
    EXPECT_FALSE(vorla::findResource(128, "PNG", data, size));
    for (int32_t id = 1; id <= 5; ++id)
    {
        ASSERT_TRUE(vorla::findResource(id, "PNG", data, size)) << id;
        ASSERT_GT(size, 8u);
        EXPECT_EQ(std::memcmp(data, "\x89PNG\r\n\x1a\n", 8), 0) << id;
    }
    EXPECT_FALSE(vorla::findResource(6, "PNG", data, size));
}

TEST_F(Win32Images, BrokenPngDataLeavesNoImageOrAnUnfinishedOne)
{
    const uint8_t* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(vorla::findResource(vorla::kLampBitmapId, "PNG", data, size));
    // Not a PNG at all: nothing is decoded, the size stays 0.
    const std::vector<uint8_t> garbage(64, 0x5A);
    CBitmap a(999);
    a.decodePng(garbage.data(), garbage.size());
    EXPECT_EQ(a.getWidth(), 0);
    EXPECT_FALSE(a.isNoAlpha());
    // Cut short in its image data: refused quietly, whatever was built stays
    // within the header's size.
    const std::vector<uint8_t> cut(data, data + size / 2);
    CBitmap b(999);
    b.decodePng(cut.data(), cut.size());
    if (b.getImage())
    {
        EXPECT_EQ(b.getWidth(), 12);
        EXPECT_EQ(b.getHeight(), 54);
    }
}
