// SPDX-License-Identifier: GPL-3.0-or-later
// Cabinet responses: read in every container at any rate, resampled,
// shortened, levelled; bad files get one clear line.
#include "rig/cabinet_catalog.h"
#include "rig/impulse_response.h"
#include "rig/rig_support.h"

#include <fstream>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace vorla;
using vorla::test::testResponse;
using vorla::test::writeSound;

class ImpulseFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorla-rig-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string dir;
};

double db(double power)
{
    return 10.0 * std::log10(power);
}

TEST_F(ImpulseFiles, EveryContainerReadsTheSameResponse)
{
    const auto response = testResponse(2000, 48000.0);
    const struct
    {
        const char* name;
        int format;
    } files[] = {{"ir.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                 {"ir.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                 {"ir.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24}};
    for (const auto& file : files)
    {
        // Scaled to fit PCM without clipping.
        std::vector<float> scaled(response);
        for (float& v : scaled)
            v *= 0.5f;
        ASSERT_TRUE(writeSound(dir + "/" + file.name, {scaled}, 48000, file.format));
        ImpulseResponse read;
        std::string error;
        ASSERT_TRUE(readImpulseFile(dir + "/" + file.name, read, error)) << error;
        EXPECT_EQ(read.rate, 48000.0);
        ASSERT_EQ(read.length(), scaled.size());
        for (std::size_t i = 0; i < scaled.size(); ++i)
            ASSERT_NEAR(read.channels[0][i], scaled[i], 2e-7) << file.name << " sample " << i;
    }
}

TEST_F(ImpulseFiles, PreparationResamplesCutsAndLevels)
{
    // The same response made at 96 kHz and at 44.1 kHz, at different levels:
    // prepared for 48 kHz both have unit power over the guitar band and the
    // same shape.
    ImpulseResponse high, low;
    high.rate = 96000.0;
    high.channels = {testResponse(4000, 96000.0)};
    low.rate = 44100.0;
    low.channels = {testResponse(1838, 44100.0)};
    for (float& v : low.channels[0])
        v *= 0.1f;

    ImpulseResponse a, b;
    std::string error;
    ASSERT_TRUE(prepareImpulse(high, 48000.0, a, error)) << error;
    ASSERT_TRUE(prepareImpulse(low, 48000.0, b, error)) << error;
    EXPECT_EQ(a.rate, 48000.0);
    // The response decays 87 dB in its 2000 samples: the last few hold less
    // than -90 dB of its energy and are dropped.
    EXPECT_LE(a.length(), 2000u);
    EXPECT_GT(a.length(), 1800u);
    EXPECT_NEAR(double(a.length()), double(b.length()), 3.0);
    EXPECT_NEAR(db(guitarBandPower(a)), 0.0, 0.01);
    EXPECT_NEAR(db(guitarBandPower(b)), 0.0, 0.01);
    // Same shape: after the onset (where each rate's band limit rounds the
    // step differently), the first 20 ms agree closely.
    for (std::size_t i = 24; i < 960; ++i)
        ASSERT_NEAR(a.channels[0][i], b.channels[0][i], 0.02) << i;

    // Longer than a cabinet: cut to 200 ms, faded at the end.
    ImpulseResponse longOne;
    longOne.rate = 48000.0;
    longOne.channels = {std::vector<float>(48000, 0.0f)};
    longOne.channels[0][0] = 1.0f;
    longOne.channels[0][47999] = 1.0f;
    ASSERT_TRUE(prepareImpulse(longOne, 48000.0, a, error)) << error;
    EXPECT_EQ(a.length(), std::size_t(0.2 * 48000));

    // Stereo: one factor for both sides keeps the balance.
    ImpulseResponse stereo;
    stereo.rate = 48000.0;
    stereo.channels = {testResponse(2000, 48000.0), testResponse(2000, 48000.0)};
    for (float& v : stereo.channels[1])
        v *= 0.5f;
    ASSERT_TRUE(prepareImpulse(stereo, 48000.0, a, error)) << error;
    EXPECT_NEAR(a.channels[1][10] / a.channels[0][10], 0.5f, 1e-6f);
}

TEST_F(ImpulseFiles, BadFilesAreRefusedInOneLine)
{
    ImpulseResponse read;
    std::string error;
    EXPECT_FALSE(readImpulseFile(dir + "/missing.wav", read, error));
    EXPECT_NE(error.find("missing.wav"), std::string::npos);

    std::ofstream(dir + "/text.wav") << "this is not a sound file\n";
    EXPECT_FALSE(readImpulseFile(dir + "/text.wav", read, error));

    ASSERT_TRUE(writeSound(dir + "/silent.wav", {std::vector<float>(100, 0.0f)}, 48000));
    EXPECT_FALSE(readImpulseFile(dir + "/silent.wav", read, error));
    EXPECT_NE(error.find("silence"), std::string::npos);

    const std::vector<float> some = testResponse(100, 48000.0);
    ASSERT_TRUE(writeSound(dir + "/three.wav", {some, some, some}, 48000));
    EXPECT_FALSE(readImpulseFile(dir + "/three.wav", read, error));
    EXPECT_NE(error.find("3 channels"), std::string::npos);
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

TEST(BuiltinCabinets, ThreeDistinctCabinetsAtComparableLevels)
{
    ASSERT_EQ(kBuiltinCabinetsCount, 3u);
    std::vector<ImpulseResponse> prepared;
    for (std::size_t i = 0; i < kBuiltinCabinetsCount; ++i)
    {
        ImpulseResponse source, ready;
        std::string error;
        ASSERT_TRUE(readImpulseBytes(kBuiltinCabinets[i].data, kBuiltinCabinets[i].size,
                                     kBuiltinCabinets[i].name, source, error))
            << error;
        EXPECT_EQ(source.rate, 48000.0);
        ASSERT_TRUE(prepareImpulse(source, 44100.0, ready, error)) << error;
        EXPECT_NEAR(db(guitarBandPower(ready)), 0.0, 0.01) << kBuiltinCabinets[i].name;
        prepared.push_back(ready);
    }
    // They sound different: their responses differ well beyond rounding.
    for (std::size_t a = 0; a < prepared.size(); ++a)
        for (std::size_t b = a + 1; b < prepared.size(); ++b)
        {
            double difference = 0.0;
            const std::size_t common = std::min(prepared[a].length(), prepared[b].length());
            for (std::size_t n = 0; n < common; ++n)
                difference += std::fabs(prepared[a].channels[0][n] - prepared[b].channels[0][n]);
            EXPECT_GT(difference, 1.0) << a << " " << b;
        }
    // Names resolve in any case; unknown names say what exists.
    CabinetChoice choice;
    std::string error;
    EXPECT_TRUE(findCabinet("Closed-4x12", "", choice, error));
    EXPECT_EQ(choice.name, std::string("closed-4x12"));
    EXPECT_FALSE(findCabinet("marshmallow", "", choice, error));
    EXPECT_NE(error.find("open-1x12"), std::string::npos);
}

TEST_F(ImpulseFiles, TheUserFolderFollowsTheBuiltins)
{
    auto response = testResponse(500, 44100.0);
    for (float& v : response)
        v *= 0.5f;
    ASSERT_TRUE(writeSound(dir + "/b-room.wav", {response}, 44100));
    ASSERT_TRUE(writeSound(dir + "/a-greenback.flac", {response}, 44100,
                           SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    std::ofstream(dir + "/notes.txt") << "not a cabinet\n";
    const auto choices = listCabinets(dir);
    ASSERT_EQ(choices.size(), kBuiltinCabinetsCount + 2);
    EXPECT_EQ(choices[kBuiltinCabinetsCount].name, "a-greenback.flac");
    EXPECT_EQ(choices[kBuiltinCabinetsCount + 1].name, "b-room.wav");
    CabinetChoice choice;
    std::string error;
    ASSERT_TRUE(findCabinet("b-room", dir, choice, error)) << error;
    EXPECT_EQ(choice.path, dir + "/b-room.wav");
    EXPECT_TRUE(buildCabinet(choice, 48000.0, 128, error) != nullptr) << error;
}

} // namespace
