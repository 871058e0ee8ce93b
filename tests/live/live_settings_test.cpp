// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: what is written is read back; what cannot be read
// is refused whole with one line.
#include "live/live_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace vorla::live;

class SettingsFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorla-settings-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        path = settingsPath(dir + "/new/folder");
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string dir, path;
};

TEST_F(SettingsFile, WhatIsWrittenIsReadBack)
{
    LiveSettings written;
    written.bank.resize(3360);
    for (size_t i = 0; i < written.bank.size(); ++i)
        written.bank[i] = uint8_t(i * 7);
    written.program = 9;
    written.inputs = {"system:capture_2", ""};
    written.outputs = {"system:playback_3", "system:playback_4"};
    written.gateOn = true;
    written.gateDb = -51.5f;
    written.cabinetOn = true;
    written.cabinet = "/home/me/cabs/my cab=1.wav";
    written.muted = false;
    std::string error;
    ASSERT_TRUE(writeSettings(path, written, error)) << error;

    LiveSettings read;
    ASSERT_EQ(readSettings(path, read, error), SettingsRead::Read) << error;
    EXPECT_EQ(read.bank, written.bank);
    EXPECT_EQ(read.program, 9);
    EXPECT_EQ(read.inputs, written.inputs);
    EXPECT_EQ(read.outputs, written.outputs);
    EXPECT_TRUE(read.gateOn);
    EXPECT_EQ(read.gateDb, -51.5f);
    EXPECT_TRUE(read.cabinetOn);
    EXPECT_EQ(read.cabinet, written.cabinet);
    EXPECT_FALSE(read.muted);
    EXPECT_FALSE(fs::exists(path + ".new"));
}

TEST_F(SettingsFile, NoFileIsAFirstStartAndADamagedOneIsRefusedWhole)
{
    LiveSettings read;
    std::string error;
    EXPECT_EQ(readSettings(path, read, error), SettingsRead::Missing);
    EXPECT_TRUE(read.muted) << "the first start is muted";

    fs::create_directories(fs::path(path).parent_path());
    const char* damaged[] = {
        "",                                                 // empty
        "garbage\n",                                        // no header
        "# vorla-live settings, version 1\nprogram=12\n",   // out of range
        "# vorla-live settings, version 1\ngate_db=-200\n", // out of range
        "# vorla-live settings, version 1\nbank=00ff\n",    // short bank
        "# vorla-live settings, version 1\nmuted=maybe\n",  // not 0/1
        "# vorla-live settings, version 1\nprogram\n",      // no value
        "\x7f\x45\x4c\x46\x02\x01\x01\x00 binary",          // not text
    };
    for (const char* text : damaged)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        LiveSettings kept;
        kept.program = 4;
        error.clear();
        EXPECT_EQ(readSettings(path, kept, error), SettingsRead::Corrupt) << text;
        EXPECT_EQ(kept.program, 4) << "nothing taken from a damaged file";
        EXPECT_NE(error.find("starting from defaults"), std::string::npos);
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    // Keys of a later version are passed over.
    std::ofstream(path, std::ios::trunc)
        << "# vorla-live settings, version 1\ncolour=red\nprogram=5\n";
    EXPECT_EQ(readSettings(path, read, error), SettingsRead::Read);
    EXPECT_EQ(read.program, 5);
}

} // namespace
