// SPDX-License-Identifier: GPL-3.0-or-later
// Golden outputs: short renders of every voicing at every oversampling
// factor, mono and stereo, compared bit for bit with checked-in files.
//
// The files pin the exact arithmetic of the chain (float resamplers, double
// model, the order of every operation).  Any change that moves a single bit
// shows here; regenerating them (see golden/README.md) is a reviewed change.
//
// The files are made on Linux.  A build whose maths library rounds a few
// results differently (mingw-w64 on Windows: exp and sin differ from glibc
// in the last bits for a few arguments) is given VORLA_GOLDEN_TOLERANCE:
// every value must then equal the stored one bit for bit or lie within that
// absolute distance of it, and the case reports how many values differ and
// by how much.  Without it (Linux) every bit must agree.
#include "chain/chain_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using namespace vorla::test;

constexpr std::size_t kFrames = 1500;

#ifdef VORLA_GOLDEN_TOLERANCE
constexpr double kTolerance = VORLA_GOLDEN_TOLERANCE;
#else
constexpr double kTolerance = 0.0;
#endif

struct GoldenCase
{
    Voicing voicing;
    int factor;
    bool stereo;
};

std::string caseName(const GoldenCase& c)
{
    return std::string(voicingName(c.voicing)) + "_" + std::to_string(c.factor) + "x_" +
           (c.stereo ? "stereo" : "mono");
}

/// The frames as stored: output 1, or output 1 and 2 interleaved.
std::vector<float> renderCase(const GoldenCase& c)
{
    // 2x: 96 kHz LowQ; 4x: 44.1 kHz LowQ; 8x: 44.1 kHz HighQ.
    const float rate = c.factor == 2 ? 96000.0f : 44100.0f;
    auto fx = createEffect();
    setHostRate(*fx, rate, c.factor == 8);
    switch (c.voicing)
    {
    case Voicing::Clean:
        selectVoicing(*fx, Voicing::Clean, false);
        fx->setParameter(kInput, 0.7f);
        break;
    case Voicing::Crunch:
        selectVoicing(*fx, Voicing::Crunch, true, false, 0.7f);
        fx->setParameter(kLow, 0.3f);
        break;
    case Voicing::Overdrive:
        selectVoicing(*fx, Voicing::Overdrive, true, true, 0.8f);
        fx->setParameter(kContour, 0.8f);
        fx->setParameter(kPowerAmp, 0.7f);
        break;
    }
    fx->setParameter(kMonoStereo, c.stereo ? 1.0f : 0.0f);

    const std::vector<float> in1 = guitarSignal(kFrames, rate, 0);
    const std::vector<float> in2 = guitarSignal(kFrames, rate, 1);
    const Stereo out = render(*fx, in1, in2, 256);
    if (!c.stereo)
    {
        EXPECT_TRUE(sameBits(out.left, out.right)) << "mono outputs differ";
        return out.left;
    }
    std::vector<float> frames;
    for (std::size_t n = 0; n < kFrames; ++n)
    {
        frames.push_back(out.left[n]);
        frames.push_back(out.right[n]);
    }
    return frames;
}

// Little-endian float32, the byte order of every machine we build on.
static_assert(std::endian::native == std::endian::little);

std::vector<float> readGolden(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::vector<float> values(bytes.size() / sizeof(float));
    std::memcpy(values.data(), bytes.data(), values.size() * sizeof(float));
    return values;
}

void writeGolden(const std::string& path, const std::vector<float>& values)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(values.data()),
               static_cast<std::streamsize>(values.size() * sizeof(float)));
}

class Golden : public ::testing::TestWithParam<GoldenCase>
{
};

TEST_P(Golden, RenderMatchesStoredOutput)
{
    const GoldenCase c = GetParam();
    const std::string path = std::string(VORLA_GOLDEN_DIR) + "/" + caseName(c) + ".f32";
    const std::vector<float> rendered = renderCase(c);
    ASSERT_TRUE(allFinite(rendered));
    ASSERT_GT(peak(rendered), 0.01) << "the render is silent";

    const char* update = std::getenv("VORLA_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1")
    {
        writeGolden(path, rendered);
        GTEST_SKIP() << "rewrote " << path;
    }

    const std::vector<float> expected = readGolden(path);
    ASSERT_EQ(expected.size(), rendered.size()) << path << " missing or of the wrong length";
    std::size_t differing = 0; // values whose bits differ
    std::size_t beyond = 0;    // of those, values farther off than the tolerance
    std::size_t first = expected.size();
    double largest = 0.0;
    for (std::size_t n = 0; n < expected.size(); ++n)
        if (std::memcmp(&expected[n], &rendered[n], sizeof(float)) != 0)
        {
            const double distance = std::fabs(static_cast<double>(expected[n]) - rendered[n]);
            largest = std::max(largest, distance);
            if (differing++ == 0)
                first = n;
            // A NaN distance is never within the tolerance.
            if (!(distance <= kTolerance))
                ++beyond;
        }
    if (kTolerance > 0.0)
    {
        RecordProperty("differing_values", static_cast<int>(differing));
        std::printf("%s: %zu of %zu values differ from the golden file, largest by %.3g\n",
                    caseName(c).c_str(), differing, expected.size(), largest);
        EXPECT_EQ(beyond, 0u) << beyond << " values differ by more than " << kTolerance
                              << " (largest " << largest << ")";
    }
    else
    {
        EXPECT_EQ(differing, 0u) << differing << " values differ, first at " << first
                                 << ": expected "
                                 << (first < expected.size() ? expected[first] : 0.0f) << ", got "
                                 << (first < rendered.size() ? rendered[first] : 0.0f);
    }
}

std::vector<GoldenCase> allCases()
{
    std::vector<GoldenCase> cases;
    for (Voicing v : {Voicing::Clean, Voicing::Crunch, Voicing::Overdrive})
        for (int factor : {2, 4, 8})
            for (bool stereo : {false, true})
                cases.push_back({v, factor, stereo});
    return cases;
}

std::string testName(const ::testing::TestParamInfo<GoldenCase>& param)
{
    return caseName(param.param);
}

INSTANTIATE_TEST_SUITE_P(Chain, Golden, ::testing::ValuesIn(allCases()), testName);

} // namespace
