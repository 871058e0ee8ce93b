// SPDX-License-Identifier: GPL-3.0-or-later
// A real host: Debian's lv2file (an offline processor built on lilv) runs a
// WAV file through the bundle, found through LV2_PATH as an installed
// bundle is, and its output equals the VST 2.4 plug-in's for the same file,
// settings and block size bit for bit.
#include "host/sound_files.h"
#include "lv2/lv2_support.h"

#include <unistd.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace vorla::test;

namespace {

/// A folder of its own holding the bundle (a link to the build tree's), as
/// ~/.lv2 holds an installed one.
struct LvPath
{
    LvPath()
    {
        folder = fs::path(::testing::TempDir()) / ("vorla-lv2-path-" + std::to_string(getpid()));
        fs::create_directories(folder);
        fs::create_directory_symlink(VORLA_LV2_BUNDLE, folder / "vorla.lv2");
    }
    ~LvPath() { fs::remove_all(folder); }
    fs::path folder;
};

} // namespace

TEST(Lv2File, ProcessesAFileAsTheVstPluginDoes)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer build's bundle cannot load into an uninstrumented host";
#endif
    constexpr int kRate = 48000;
    constexpr uint32_t kBlock = 512;
    const auto input = guitarSignal(kBlock * 150, static_cast<float>(kRate), 0);
    LvPath path;
    const fs::path in = path.folder / "in.wav";
    const fs::path out = path.folder / "out.wav";
    ASSERT_TRUE(writeSound(in, {input}, kRate));

    const std::string command = "LV2_PATH='" + path.folder.string() + "' lv2file -b " +
                                std::to_string(kBlock) + " -c 1:in_1 -c 1:in_2" +
                                " -p channel:1 -p drive2:0.8 -p boost:1 -p low:0.3" +
                                " --ignore-clipping -i '" + in.string() + "' -o '" + out.string() +
                                "' " + vorla::lv2::kPluginUri + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<float> fromLv2file = readFirstChannel(out);

    auto vst = startVst(static_cast<float>(kRate));
    vst->setParameter(kChannel, 1.0f);
    vst->setParameter(kDrive2, 0.8f);
    vst->setParameter(kBoost, 1.0f);
    vst->setParameter(kLow, 0.3f);
    Stereo fromVst;
    for (size_t at = 0; at < input.size(); at += kBlock)
        runBlock(*vst, input.data() + at, input.data() + at, kBlock, fromVst);

    ASSERT_EQ(fromLv2file.size(), input.size());
    EXPECT_TRUE(sameBits(fromLv2file, fromVst.left));
}
