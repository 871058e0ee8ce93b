// SPDX-License-Identifier: GPL-3.0-or-later
// The window's strip as vorla-live draws it (--screenshot: the same views
// drawn without a display), and the picture in the README.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Picture
{
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
    int brightness(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        return p[0] + p[1] + p[2];
    }
};

bool readPicture(const std::string& path, Picture& picture)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    picture.width = image.width;
    picture.height = image.height;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
}

class Screenshot : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorla-screenshot-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    Picture shoot(const std::string& name, const std::string& args)
    {
        const std::string file = dir + "/" + name + ".png";
        const std::string command = "XDG_CONFIG_HOME='" + dir + "' DISPLAY= '" + VORLA_LIVE_PATH +
                                    "' --fresh --screenshot '" + file + "' " + args;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        Picture picture;
        EXPECT_TRUE(readPicture(file, picture)) << file;
        return picture;
    }

    /// Pixels that differ inside (l, t) .. (r, b) of the strip (y from its top).
    static int differing(const Picture& a, const Picture& b, uint32_t l, uint32_t t, uint32_t r,
                         uint32_t bottom)
    {
        int count = 0;
        for (uint32_t y = 250 + t; y < 250 + bottom; ++y)
            for (uint32_t x = l; x < r; ++x)
                count += a.at(x, y) != b.at(x, y);
        return count;
    }

    std::string dir;
};

TEST_F(Screenshot, TheStripShowsTheSettings)
{
    const Picture plain = shoot("plain", "--mute off");
    ASSERT_EQ(plain.width, 660u);
    ASSERT_EQ(plain.height, 314u);
    const Picture muted = shoot("muted", "");
    const Picture rigged = shoot(
        "rigged", "--mute off --gate -38 --cab open-1x12 --program 4 --input system:capture_2");

    // The editor above is the plug-in's panel, untouched by the strip.
    EXPECT_EQ(differing(plain, rigged, 0, -250 + 0, 660, 0), 0);
    // Muted: the lamp lights and the line under the displays says how to unmute.
    EXPECT_GT(differing(plain, muted, 618, 33, 638, 60), 20) << "mute lamp";
    EXPECT_GT(differing(plain, muted, 158, 41, 560, 56), 200) << "the unmute hint";
    // Gate and cabinet lamps, and the displays' texts.
    EXPECT_GT(differing(plain, rigged, 166, 6, 178, 18), 10) << "gate lamp";
    EXPECT_GT(differing(plain, rigged, 278, 6, 290, 18), 10) << "cabinet lamp";
    EXPECT_GT(differing(plain, rigged, 158, 20, 262, 37), 30) << "threshold";
    EXPECT_GT(differing(plain, rigged, 270, 20, 410, 37), 30) << "cabinet";
    EXPECT_GT(differing(plain, rigged, 418, 20, 560, 37), 10) << "program";
    EXPECT_GT(differing(plain, rigged, 14, 20, 150, 37), 10) << "input";
    // Amber text on the dark displays.
    int amber = 0;
    for (uint32_t x = 272; x < 408; ++x)
        for (uint32_t y = 250 + 22; y < 250 + 35; ++y)
            amber += (rigged.at(x, y) >> 16) > 150 && ((rigged.at(x, y) >> 8) & 255) > 80 &&
                     (rigged.at(x, y) & 255) < 100;
    EXPECT_GT(amber, 40);
}

TEST_F(Screenshot, TheReadmePictureIsCurrent)
{
    // docs/live.png is made by this command; when the window's look changes
    // on purpose, run it again and commit the picture.
    const Picture now = shoot("readme", "--mute off --channel overdrive --set Drive2=0.7 --gate "
                                        "-50 --cab closed-4x12 --program 0");
    Picture committed;
    ASSERT_TRUE(readPicture(std::string(VORLA_DOCS_DIR) + "/live.png", committed));
    ASSERT_EQ(committed.width, now.width);
    ASSERT_EQ(committed.height, now.height);
    EXPECT_EQ(committed.rgb, now.rgb) << "regenerate docs/live.png (see this test)";
}

} // namespace
