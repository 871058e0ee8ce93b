// SPDX-License-Identifier: GPL-3.0-or-later
// plugin_host.h - a minimal VST 2.4 host used by our tools and tests.
//
// It loads a plug-in library (dlopen on Linux, LoadLibraryA on Windows),
// calls its entry point with a host callback, and drives the resulting
// effect through the AEffect record only, exactly as a DAW would.  Every callback the effect makes
// is recorded, and a caller may install a handler to answer callbacks differently.
//
// Threads: a PluginInstance may be driven from several threads the way hosts
// do (dispatcher on one, processReplacing / setParameter on another); the
// call record is guarded by a mutex.  Creation and destruction belong to one
// thread.
#pragma once

#include "plugin/vst_interface.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vorla::host {

/// One callback the effect made to the host.
struct HostCall
{
    bool withEffect = false; // false when the effect record argument was null
    int32_t opcode = 0;
    int32_t index = 0;
    intptr_t value = 0;
    void* ptr = nullptr;
    float opt = 0.0f;
};

/// A loaded plug-in library.  Unloading happens when the object is destroyed.
class PluginLibrary
{
public:
    using EntryProc = AEffect* (*)(audioMasterCallback);

    /// Loads the library at `path` and finds `VSTPluginMain`.  On failure the
    /// result is null and `error` says why in one line.
    static std::unique_ptr<PluginLibrary> open(const std::string& path, std::string& error);
    ~PluginLibrary();

    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    EntryProc entry() const { return entry_; }
    /// Any exported symbol, or null.
    void* symbol(const char* name) const;
    const std::string& path() const { return path_; }

private:
    PluginLibrary(void* handle, EntryProc entryProc, std::string libraryPath)
        : handle_(handle), entry_(entryProc), path_(std::move(libraryPath))
    {
    }
    void* handle_;
    EntryProc entry_;
    std::string path_;
};

/// One effect instance created through the library's entry point.
class PluginInstance
{
public:
    /// Answers a callback; return value goes back to the effect.  The default
    /// handler answers audioMasterVersion with 2400 and everything else with 0.
    using Handler = std::function<intptr_t(const HostCall&)>;

    /// Calls the entry with our host callback.  Null (with `error` set) when
    /// the entry returns null or a record without the VST magic.
    static std::unique_ptr<PluginInstance>
    create(const PluginLibrary& library, Handler handler = {}, std::string* error = nullptr);
    /// Sends effClose unless close() was called already.
    ~PluginInstance();

    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    AEffect* effect() const { return effect_; }

    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    void setParameter(int32_t index, float value);
    float getParameter(int32_t index);
    void processReplacing(float** inputs, float** outputs, int32_t frames);

    /// Sends effClose; the record is invalid afterwards.  Answers what the
    /// dispatcher answered.
    intptr_t close();
    bool closed() const { return effect_ == nullptr; }

    /// Replaces the callback handler (thread-safe).
    void setHandler(Handler handler);

    /// Snapshot of the callbacks recorded so far, and clearing them.
    std::vector<HostCall> calls() const;
    void clearCalls();

    /// Default answers of a well-behaved host.
    static intptr_t defaultAnswer(const HostCall& call);

private:
    PluginInstance() = default;
    static intptr_t callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                             void* ptr, float opt);
    intptr_t handle(const HostCall& call);

    AEffect* effect_ = nullptr;
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<HostCall> calls_;
};

} // namespace vorla::host
