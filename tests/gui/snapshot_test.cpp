// SPDX-License-Identifier: GPL-3.0-or-later
// vorla-snapshot run as a child process: the image it writes and its answers
// to bad arguments.
#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct Image
{
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb; // 3 bytes per pixel
    uint32_t at(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
};

bool readPng(const std::string& path, Image& image)
{
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str()))
        return false;
    img.format = PNG_FORMAT_RGB;
    image.width = img.width;
    image.height = img.height;
    image.rgb.resize(PNG_IMAGE_SIZE(img));
    return png_image_finish_read(&img, nullptr, image.rgb.data(), 0, nullptr) != 0;
}

class SnapshotTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorla-snapshot-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    /// Runs the tool with `args`; returns its exit status, stderr in `err`.
    int run(const std::string& args)
    {
        const std::string errFile = dir + "/stderr.txt";
        const std::string cmd =
            std::string("'") + VORLA_SNAPSHOT_PATH + "' " + args + " 2>'" + errFile + "'";
        const int status = std::system(cmd.c_str());
        std::ifstream in(errFile);
        err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool exists(const std::string& path) const { return access(path.c_str(), F_OK) == 0; }

    std::string dir;
    std::string err;
};

bool inside(uint32_t x, uint32_t y, uint32_t l, uint32_t t, uint32_t r, uint32_t b)
{
    return x >= l && x < r && y >= t && y < b;
}

} // namespace

TEST_F(SnapshotTool, WritesTheEditorAndShowsTheSettings)
{
    const std::string low = dir + "/low.png";
    const std::string high = dir + "/high.png";
    ASSERT_EQ(run("'" + low + "' --set Volume=0"), 0) << err;
    ASSERT_EQ(run("'" + high + "' --set volume=1"), 0) << err;
    EXPECT_TRUE(err.empty()) << err;
    Image a;
    Image b;
    ASSERT_TRUE(readPng(low, a));
    ASSERT_TRUE(readPng(high, b));
    ASSERT_EQ(a.width, 660u);
    ASSERT_EQ(a.height, 250u);
    // Only the Volume knob (570,164)-(626,220) differs.
    int changed = 0;
    for (uint32_t y = 0; y < 250; ++y)
        for (uint32_t x = 0; x < 660; ++x)
        {
            if (a.at(x, y) == b.at(x, y))
                continue;
            ASSERT_TRUE(inside(x, y, 570, 164, 626, 220)) << x << "," << y;
            ++changed;
        }
    EXPECT_GT(changed, 30);
}

TEST_F(SnapshotTool, DefaultSettingsShowTheEditorOfTheReadme)
{
    // docs/editor.png is what the README shows; a change of what the editor
    // draws (an image resource, how it is decoded or loaded, the layout)
    // must come with a new picture there.
    const std::string path = dir + "/default.png";
    ASSERT_EQ(run("'" + path + "'"), 0) << err;
    Image drawn;
    Image documented;
    ASSERT_TRUE(readPng(path, drawn));
    ASSERT_TRUE(readPng(VORLA_DOCS_DIR "/editor.png", documented));
    ASSERT_EQ(drawn.width, documented.width);
    ASSERT_EQ(drawn.height, documented.height);
    long differing = 0;
    for (uint32_t y = 0; y < drawn.height; ++y)
        for (uint32_t x = 0; x < drawn.width; ++x)
            differing += drawn.at(x, y) != documented.at(x, y);
    EXPECT_EQ(differing, 0);
}

TEST_F(SnapshotTool, AcceptsIndicesProgramsAndProgramChunks)
{
    const std::string byName = dir + "/name.png";
    const std::string byIndex = dir + "/index.png";
    ASSERT_EQ(run("'" + byName + "' --program 3 --set Input=0"), 0) << err;
    ASSERT_EQ(run("'" + byIndex + "' --program 3 --set 0=0"), 0) << err;
    Image a;
    Image b;
    ASSERT_TRUE(readPng(byName, a));
    ASSERT_TRUE(readPng(byIndex, b));
    EXPECT_EQ(a.rgb, b.rgb);

    // A program chunk of the right size is loaded (all values 0 here).
    const std::string chunk = dir + "/zero.fxp";
    std::ofstream(chunk, std::ios::binary) << std::string(336, '\0');
    const std::string fromChunk = dir + "/chunk.png";
    ASSERT_EQ(run("'" + fromChunk + "' --chunk '" + chunk + "'"), 0) << err;
    Image c;
    ASSERT_TRUE(readPng(fromChunk, c));
    // The input knob shows value 0 as with --set Input=0.
    for (uint32_t y = 164; y < 220; ++y)
        for (uint32_t x = 40; x < 80; ++x)
            ASSERT_EQ(c.at(x, y), a.at(x, y)) << x << "," << y;
}

TEST_F(SnapshotTool, RefusesBadArgumentsWithOneLineAndNoImage)
{
    const std::string out = dir + "/out.png";
    const std::string chunk = dir + "/short.bin";
    std::ofstream(chunk, std::ios::binary) << std::string(100, 'x');
    for (const std::string& args :
         {std::string("--set Volume=0.5"), "'" + out + "' --set Nonsense=0.5",
          "'" + out + "' --set Volume=1.5", "'" + out + "' --set Volume=-0.1",
          "'" + out + "' --set Volume=abc", "'" + out + "' --set Volume=nan",
          "'" + out + "' --set Volume", "'" + out + "' --program 10", "'" + out + "' --program -1",
          "'" + out + "' --program x", "'" + out + "' --chunk '" + dir + "/missing.bin'",
          "'" + out + "' --chunk '" + chunk + "'", "'" + out + "' --frobnicate",
          "'" + out + "' --program"})
    {
        EXPECT_NE(run(args), 0) << args;
        EXPECT_FALSE(exists(out)) << args;
        ASSERT_FALSE(err.empty()) << args;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << args << ": " << err;
        EXPECT_EQ(err.rfind("vorla-snapshot: ", 0), 0u) << err;
    }
    EXPECT_NE(run("'" + dir + "/no/such/dir/out.png'"), 0);
    EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
}

TEST_F(SnapshotTool, SwitchesTakeOnAndOffButProgramsOnlyNumbers)
{
    const std::string word = dir + "/word.png";
    const std::string number = dir + "/number.png";
    ASSERT_EQ(run("'" + word + "' --set Bright/Normal=on --set 'Mono/Stereo=OFF'"), 0) << err;
    ASSERT_EQ(run("'" + number + "' --set Bright/Normal=1 --set 'Mono/Stereo=0'"), 0) << err;
    Image a;
    Image b;
    ASSERT_TRUE(readPng(word, a));
    ASSERT_TRUE(readPng(number, b));
    EXPECT_EQ(a.rgb, b.rgb);

    const std::string bad = dir + "/bad.png";
    EXPECT_NE(run("'" + bad + "' --program on"), 0);
    EXPECT_NE(err.find("program"), std::string::npos) << err;
    EXPECT_NE(run("'" + bad + "' --set Bright/Normal=loud"), 0);
    EXPECT_FALSE(exists(bad));
}
