// SPDX-License-Identifier: GPL-3.0-or-later
// What a host pays to create an instance of the built plug-in, the way a
// host's scanner or a project with many tracks does it: load the library
// once, then VSTPluginMain + effClose per instance, and the same with the
// editor opened in a window and closed in between.
//
//   ./build/vorla-bench --benchmark_filter=BM_instance
//
// BM_instanceEditor needs an X display (scripts/xvfb.sh starts one); without
// one it reports an error and measures nothing.
#include <benchmark/benchmark.h>

#include "hostlib/plugin_host.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace {

using vorla::host::PluginInstance;
using vorla::host::PluginLibrary;

const PluginLibrary* loadedPlugin(std::string& error)
{
    static std::string loadError;
    static std::unique_ptr<PluginLibrary> library =
        PluginLibrary::open(VORLA_PLUGIN_PATH, loadError);
    error = loadError;
    return library.get();
}

void BM_instanceCreateClose(benchmark::State& state)
{
    std::string error;
    const PluginLibrary* library = loadedPlugin(error);
    if (!library)
    {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state)
    {
        auto instance = PluginInstance::create(*library, {}, &error);
        if (!instance)
        {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(instance->effect());
        instance->close();
    }
}
BENCHMARK(BM_instanceCreateClose)->Unit(benchmark::kMicrosecond);

void BM_instanceEditorOpenClose(benchmark::State& state)
{
    std::string error;
    const PluginLibrary* library = loadedPlugin(error);
    if (!library)
    {
        state.SkipWithError(error.c_str());
        return;
    }
    // Xvfb now and then resets a connection during its setup while many come
    // and go (every editor opens its own): a few attempts.
    Display* display = nullptr;
    for (int attempt = 0; attempt < 5 && !display; ++attempt)
    {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        display = XOpenDisplay(nullptr);
    }
    if (!display)
    {
        state.SkipWithError("no X display");
        return;
    }
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window parent =
        XCreateWindow(display, DefaultRootWindow(display), 0, 0, 660, 250, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XMapWindow(display, parent);
    XSync(display, False);
    void* window = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
    for (auto _ : state)
    {
        auto instance = PluginInstance::create(*library, {}, &error);
        if (!instance)
        {
            state.SkipWithError(error.c_str());
            break;
        }
        if (instance->dispatch(effEditOpen, 0, 0, window) != 1)
        {
            state.SkipWithError("effEditOpen failed");
            break;
        }
        instance->dispatch(effEditClose);
        instance->close();
    }
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
}
BENCHMARK(BM_instanceEditorOpenClose)->Unit(benchmark::kMicrosecond);

} // namespace
