// SPDX-License-Identifier: GPL-3.0-or-later
// Hosts scan plug-ins by loading and unloading them, often hundreds of times
// in one process: a cycle of load, create, close and unload must leave the
// heap as it found it.
#include "hostlib/plugin_host.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true; // the sanitizers keep their own heap
#else
constexpr bool kSanitized = false;
#endif

/// One host cycle: dlopen, VSTPluginMain, effOpen, effClose, dlclose.
void loadCreateCloseUnload(const std::string& path)
{
    std::string error;
    auto library = vorla::host::PluginLibrary::open(path, error);
    ASSERT_TRUE(library) << error;
    auto instance = vorla::host::PluginInstance::create(*library, {}, &error);
    ASSERT_TRUE(instance) << error;
    instance->dispatch(effOpen);
    instance->close();
}

} // namespace

TEST(Unload, LoadCyclesLeaveTheHeapFlat)
{
    if (kSanitized)
        GTEST_SKIP() << "heap figures are the sanitizer's";
    // A private copy, so that no other reference in this process keeps the
    // library mapped and every dlclose really unloads it.
    const fs::path copy =
        fs::temp_directory_path() / ("vorla-unload-" + std::to_string(getpid()) + ".so");
    fs::copy_file(VORLA_PLUGIN_PATH, copy, fs::copy_options::overwrite_existing);

    for (int warmUp = 0; warmUp < 3; ++warmUp)
        loadCreateCloseUnload(copy.string());
    const size_t before = mallinfo2().uordblks;
    constexpr int kCycles = 30;
    for (int cycle = 0; cycle < kCycles; ++cycle)
        loadCreateCloseUnload(copy.string());
    const size_t after = mallinfo2().uordblks;
    fs::remove(copy);

    const double perCycle = after > before ? static_cast<double>(after - before) / kCycles : 0.0;
    EXPECT_LT(perCycle, 1024.0) << "bytes of heap kept per load cycle";
}
