// SPDX-License-Identifier: GPL-3.0-or-later
// lilv_host.h - a small LV2 host for the tests, built on Debian's lilv: it
// loads the bundle from the build tree, instantiates the plug-in with a
// URID map, connects every port to buffers of its own and runs blocks, the
// way a DAW's LV2 host does.
#pragma once

#include "effect/program.h"
#include "lv2/lv2_ports.h"
#include "lv2/lv2_urids.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#ifndef VORLA_LV2_BUNDLE
#error "VORLA_LV2_BUNDLE must name the built bundle directory"
#endif

namespace vorla::test {

/// A URID map and unmap over one table (thread-safe: hosts map from
/// several threads).
class UridMap
{
public:
    UridMap()
    {
        map.handle = this;
        map.map = [](LV2_URID_Map_Handle h, const char* uri) {
            return static_cast<UridMap*>(h)->idOf(uri);
        };
        unmap.handle = this;
        unmap.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID id) {
            return static_cast<UridMap*>(h)->uriOf(id);
        };
    }
    LV2_URID idOf(const char* uri)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto found = ids.find(uri);
        if (found != ids.end())
            return found->second;
        uris.emplace_back(uri);
        const auto id = static_cast<LV2_URID>(uris.size());
        ids.emplace(uri, id);
        return id;
    }
    const char* uriOf(LV2_URID id)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return id >= 1 && id <= uris.size() ? uris[id - 1].c_str() : nullptr;
    }

    LV2_URID_Map map{};
    LV2_URID_Unmap unmap{};

private:
    std::mutex mutex;
    std::unordered_map<std::string, LV2_URID> ids;
    std::deque<std::string> uris; // stable addresses
};

/// The lilv world with the bundle loaded, once per test program.
class Lv2World
{
public:
    static Lv2World& get()
    {
        static Lv2World world;
        return world;
    }
    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
    UridMap urids;
    lv2::Urids known;

    LilvNode* uri(const char* text) { return lilv_new_uri(world, text); }

private:
    Lv2World()
    {
        world = lilv_world_new();
        const std::string bundlePath = std::string(VORLA_LV2_BUNDLE) + "/";
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, bundlePath.c_str());
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* pluginUri = uri(lv2::kPluginUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), pluginUri);
        lilv_node_free(pluginUri);
        known.mapAll(&urids.map);
    }
};

/// One instance of the plug-in with every port connected to a buffer of
/// ours.  Controls start at the ports' defaults.
class Lv2Instance
{
public:
    static constexpr uint32_t kMaxBlock = 8192;

    explicit Lv2Instance(double rate = 44100.0, bool withMap = true)
    {
        Lv2World& w = Lv2World::get();
        if (w.plugin == nullptr)
            throw std::runtime_error("the bundle holds no plug-in " + std::string(lv2::kPluginUri));
        mapFeature = {LV2_URID__map, &w.urids.map};
        unmapFeature = {LV2_URID__unmap, &w.urids.unmap};
        features = {&mapFeature, &unmapFeature, nullptr};
        if (!withMap)
            features = {nullptr, nullptr, nullptr};
        instance = lilv_plugin_instantiate(w.plugin, rate, features.data());
        if (instance == nullptr)
            return;
        for (int32_t i = 0; i < kNumParams; ++i)
            controls[static_cast<size_t>(i)] = parameterDefault(i);
        for (auto& buffer : audio)
            buffer.assign(kMaxBlock, 0.0f);
        controlIn.assign(256, 0);
        notifyOut.assign(lv2::kNotifyBufferBytes, 0);
        connectAll();
    }
    ~Lv2Instance()
    {
        if (instance != nullptr)
        {
            if (active)
                lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
    }
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    bool valid() const { return instance != nullptr; }

    void connectAll()
    {
        for (uint32_t i = 0; i < kNumParams; ++i)
            lilv_instance_connect_port(instance, i, &controls[i]);
        for (uint32_t i = 0; i < 4; ++i)
            lilv_instance_connect_port(instance, lv2::kAudioIn1 + i, audio[i].data());
        lilv_instance_connect_port(instance, lv2::kControlIn, controlIn.data());
        lilv_instance_connect_port(instance, lv2::kNotifyOut, notifyOut.data());
    }

    void activate()
    {
        lilv_instance_activate(instance);
        active = true;
    }
    void deactivate()
    {
        lilv_instance_deactivate(instance);
        active = false;
    }

    /// Runs `frames` frames (at most kMaxBlock) from `in1`/`in2` into
    /// `out1`/`out2` (appended).  The control input carries the queued
    /// messages; the notify output's messages are kept in `messages`.
    void run(const float* in1, const float* in2, uint32_t frames, std::vector<float>& out1,
             std::vector<float>& out2)
    {
        std::memcpy(audio[0].data(), in1, frames * sizeof(float));
        std::memcpy(audio[1].data(), in2, frames * sizeof(float));
        runInPlace(frames);
        out1.insert(out1.end(), audio[2].begin(), audio[2].begin() + frames);
        out2.insert(out2.end(), audio[3].begin(), audio[3].begin() + frames);
    }

    /// Runs the block already in the input buffers.
    void runInPlace(uint32_t frames)
    {
        prepareAtoms();
        lilv_instance_run(instance, frames);
        collectMessages();
    }

    /// Queues a patch:Get for the next run.
    void requestMemories() { wantsMemories = true; }

    /// The records the plug-in sent on its notify port so far, and the
    /// last message as it was sent (an atom, header and body).
    std::vector<VorlaProgram> records;
    std::vector<uint8_t> lastMessage;

    const LV2_State_Interface* stateInterface() const
    {
        return static_cast<const LV2_State_Interface*>(
            lilv_instance_get_extension_data(instance, LV2_STATE__interface));
    }
    LV2_Handle handle() const { return lilv_instance_get_handle(instance); }

    std::array<float, kNumParams> controls{};
    std::array<std::vector<float>, 4> audio; // in 1, in 2, out 1, out 2
    LilvInstance* instance = nullptr;

private:
    void prepareAtoms()
    {
        Lv2World& w = Lv2World::get();
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(controlIn.data());
        sequence->atom.type = w.known.atomSequence;
        sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
        sequence->body.unit = 0;
        sequence->body.pad = 0;
        if (wantsMemories)
        {
            wantsMemories = false;
            auto* event = reinterpret_cast<LV2_Atom_Event*>(sequence + 1);
            event->time.frames = 0;
            event->body.type = w.known.atomObject;
            event->body.size = sizeof(LV2_Atom_Object_Body);
            auto* body = reinterpret_cast<LV2_Atom_Object_Body*>(&event->body + 1);
            body->id = 0;
            body->otype = w.known.patchGet;
            sequence->atom.size += sizeof(LV2_Atom_Event) + sizeof(LV2_Atom_Object_Body);
        }
        auto* notify = reinterpret_cast<LV2_Atom_Sequence*>(notifyOut.data());
        notify->atom.type = 0;
        notify->atom.size = static_cast<uint32_t>(notifyOut.size());
    }

    void collectMessages()
    {
        Lv2World& w = Lv2World::get();
        const auto* notify = reinterpret_cast<const LV2_Atom_Sequence*>(notifyOut.data());
        if (notify->atom.type != w.known.atomSequence)
            return;
        LV2_ATOM_SEQUENCE_FOREACH(notify, event)
        {
            VorlaProgram record{};
            if (lv2::readProgramMessage(w.known, &event->body, &record, sizeof record))
            {
                records.push_back(record);
                const auto* bytes = reinterpret_cast<const uint8_t*>(&event->body);
                lastMessage.assign(bytes, bytes + sizeof(LV2_Atom) + event->body.size);
            }
        }
    }

    LV2_Feature mapFeature{};
    LV2_Feature unmapFeature{};
    std::array<const LV2_Feature*, 3> features{};
    std::vector<uint8_t> controlIn;
    std::vector<uint8_t> notifyOut;
    bool wantsMemories = false;
    bool active = false;
};

/// A state blob saved through the plug-in's state interface: what the host
/// stored (key, type, value).
struct SavedProperty
{
    uint32_t key = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    std::vector<uint8_t> value;
};

inline std::vector<SavedProperty> saveState(const Lv2Instance& fx)
{
    std::vector<SavedProperty> saved;
    const auto store = [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size,
                          uint32_t type, uint32_t flags) -> LV2_State_Status {
        auto* out = static_cast<std::vector<SavedProperty>*>(handle);
        SavedProperty p;
        p.key = key;
        p.type = type;
        p.flags = flags;
        p.value.assign(static_cast<const uint8_t*>(value),
                       static_cast<const uint8_t*>(value) + size);
        out->push_back(std::move(p));
        return LV2_STATE_SUCCESS;
    };
    const LV2_State_Status status =
        fx.stateInterface()->save(fx.handle(), store, &saved, LV2_STATE_IS_POD, nullptr);
    EXPECT_EQ(status, LV2_STATE_SUCCESS);
    return saved;
}

/// Restores `properties` through the plug-in's state interface.
inline LV2_State_Status restoreState(const Lv2Instance& fx,
                                     const std::vector<SavedProperty>& properties)
{
    const auto retrieve = [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                             uint32_t* flags) -> const void* {
        const auto* in = static_cast<const std::vector<SavedProperty>*>(handle);
        for (const SavedProperty& p : *in)
            if (p.key == key)
            {
                *size = p.value.size();
                *type = p.type;
                *flags = p.flags;
                return p.value.data();
            }
        return nullptr;
    };
    return fx.stateInterface()->restore(
        fx.handle(), retrieve, const_cast<std::vector<SavedProperty>*>(&properties), 0, nullptr);
}

} // namespace vorla::test
