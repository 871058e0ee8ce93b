// SPDX-License-Identifier: GPL-3.0-or-later
// loaded_plugin.h - shared helpers for tests that drive the built plug-in
// through its exported entry, the way a host does.
#pragma once

#include "hostlib/plugin_host.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#ifndef VORLA_PLUGIN_PATH
#error "VORLA_PLUGIN_PATH must name the built vorla.so"
#endif

namespace vorla::test {

/// The plug-in library, loaded once per test program.
inline const host::PluginLibrary& pluginLibrary()
{
    static std::unique_ptr<host::PluginLibrary> library = [] {
        std::string error;
        auto loaded = host::PluginLibrary::open(VORLA_PLUGIN_PATH, error);
        if (!loaded)
            ADD_FAILURE() << error;
        return loaded;
    }();
    if (!library)
        throw std::runtime_error("plug-in not loaded");
    return *library;
}

/// A fresh effect instance created through VSTPluginMain.
inline std::unique_ptr<host::PluginInstance>
createEffect(host::PluginInstance::Handler handler = {})
{
    std::string error;
    auto instance = host::PluginInstance::create(pluginLibrary(), std::move(handler), &error);
    if (!instance)
        throw std::runtime_error(error);
    return instance;
}

/// A host-owned text buffer pre-filled with 0xAA, so a test can see exactly
/// how many bytes the effect wrote.
struct HostBuffer
{
    static constexpr unsigned char kFill = 0xAA;
    std::array<char, 256> bytes{};

    HostBuffer() { std::memset(bytes.data(), kFill, bytes.size()); }
    char* data() { return bytes.data(); }
    /// Number of bytes from the start up to the last one that was written.
    std::size_t written() const
    {
        std::size_t last = bytes.size();
        while (last > 0 && static_cast<unsigned char>(bytes[last - 1]) == kFill)
            --last;
        return last;
    }
    std::string text() const
    {
        return std::string(bytes.data(), strnlen(bytes.data(), bytes.size()));
    }
    bool untouched() const { return written() == 0; }
};

} // namespace vorla::test
