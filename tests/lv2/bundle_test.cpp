// SPDX-License-Identifier: GPL-3.0-or-later
// The bundle as a host reads it with lilv: the plug-in's identity, its
// ports (indices, symbols, names, ranges, defaults, switches), features, UI
// and the ten presets - compared with what the VST 2.4 plug-in reports
// through its entry, and applied to an instance as a host applies them.
#include "lv2/lv2_support.h"

#include <lilv/lilv.h>
#include <lv2/presets/presets.h>
#include <lv2/ui/ui.h>

#include <cstring>
#include <string>
#include <vector>

using namespace vorla::test;

namespace {

/// Frees a lilv node when it goes.
struct Node
{
    explicit Node(LilvNode* n) : node(n) {}
    ~Node() { lilv_node_free(node); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    LilvNode* node;
    operator const LilvNode*() const { return node; }
};

std::string vstText(vorla::host::PluginInstance& fx, int32_t opcode, int32_t index)
{
    HostBuffer buffer;
    fx.dispatch(opcode, index, 0, buffer.data());
    return buffer.text();
}

float nodeFloat(const LilvNode* node)
{
    return node != nullptr ? lilv_node_as_float(node) : -1.0f;
}

struct PresetList
{
    std::vector<std::string> uris;
    std::vector<std::string> labels;
};

/// The presets lilv finds for the plug-in, in the order of their URIs.
PresetList presets()
{
    Lv2World& w = Lv2World::get();
    Node presetClass(w.uri(LV2_PRESETS__Preset));
    Node label(w.uri(LILV_NS_RDFS "label"));
    LilvNodes* related = lilv_plugin_get_related(w.plugin, presetClass);
    PresetList list;
    for (int program = 1; program <= 10; ++program)
    {
        const std::string uri = vorla::lv2::kPresetUriPrefix + std::to_string(program);
        Node node(w.uri(uri.c_str()));
        if (!lilv_nodes_contains(related, node))
            continue;
        lilv_world_load_resource(w.world, node);
        LilvNode* name = lilv_world_get(w.world, node, label, nullptr);
        list.uris.push_back(uri);
        list.labels.push_back(name != nullptr ? lilv_node_as_string(name) : "");
        lilv_node_free(name);
    }
    EXPECT_EQ(lilv_nodes_size(related), list.uris.size());
    lilv_nodes_free(related);
    return list;
}

} // namespace

TEST(Lv2Bundle, IdentityAsTheVstPluginsAndNoLatency)
{
    Lv2World& w = Lv2World::get();
    ASSERT_NE(w.plugin, nullptr);
    auto vst = createEffect();
    LilvNode* name = lilv_plugin_get_name(w.plugin);
    LilvNode* author = lilv_plugin_get_author_name(w.plugin);
    ASSERT_NE(name, nullptr);
    ASSERT_NE(author, nullptr);
    EXPECT_EQ(lilv_node_as_string(name), vstText(*vst, effGetEffectName, 0));
    EXPECT_EQ(lilv_node_as_string(author), vstText(*vst, effGetVendorString, 0));
    lilv_node_free(name);
    lilv_node_free(author);
    EXPECT_FALSE(lilv_plugin_has_latency(w.plugin));
    EXPECT_TRUE(lilv_plugin_verify(w.plugin));

    Node hardRt(w.uri(LV2_CORE__hardRTCapable));
    Node stateInterface(w.uri(LV2_STATE__interface));
    EXPECT_TRUE(lilv_plugin_has_feature(w.plugin, hardRt));
    EXPECT_TRUE(lilv_plugin_has_extension_data(w.plugin, stateInterface));
    LilvNodes* required = lilv_plugin_get_required_features(w.plugin);
    EXPECT_EQ(lilv_nodes_size(required), 0u) << "a plain host can run it";
    lilv_nodes_free(required);
}

TEST(Lv2Bundle, FifteenControlsInTheParameterOrderThenAudioThenMessages)
{
    Lv2World& w = Lv2World::get();
    auto vst = createEffect();
    ASSERT_EQ(lilv_plugin_get_num_ports(w.plugin), 21u);
    Node control(w.uri(LV2_CORE__ControlPort));
    Node audio(w.uri(LV2_CORE__AudioPort));
    Node input(w.uri(LV2_CORE__InputPort));
    Node output(w.uri(LV2_CORE__OutputPort));
    Node atom(w.uri(LV2_ATOM__AtomPort));
    Node toggled(w.uri(LV2_CORE__toggled));

    // Saved sessions name ports by these symbols: they stay as they are.
    const char* const symbols[] = {
        "input",        "channel", "clean_crunch", "boost",   "bright",    "drive1",  "drive2",
        "low",          "mid",     "high",         "contour", "power_amp", "volume",  "stereo",
        "high_quality", "in_1",    "in_2",         "out_1",   "out_2",     "control", "notify",
    };
    for (uint32_t i = 0; i < 21; ++i)
    {
        const LilvPort* port = lilv_plugin_get_port_by_index(w.plugin, i);
        ASSERT_NE(port, nullptr);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(w.plugin, port)), symbols[i]);
        if (i < kNumParams)
        {
            const auto index = static_cast<int32_t>(i);
            EXPECT_TRUE(lilv_port_is_a(w.plugin, port, control));
            EXPECT_TRUE(lilv_port_is_a(w.plugin, port, input));
            LilvNode* name = lilv_port_get_name(w.plugin, port);
            EXPECT_EQ(lilv_node_as_string(name), vstText(*vst, effGetParamName, index));
            lilv_node_free(name);
            LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
            lilv_port_get_range(w.plugin, port, &def, &min, &max);
            EXPECT_EQ(nodeFloat(def), vst->getParameter(index)) << i;
            EXPECT_EQ(nodeFloat(min), 0.0f);
            EXPECT_EQ(nodeFloat(max), 1.0f);
            lilv_node_free(def);
            lilv_node_free(min);
            lilv_node_free(max);
            EXPECT_EQ(lilv_port_has_property(w.plugin, port, toggled),
                      vorla::isSwitchParameter(index))
                << i;
        }
        else if (i < vorla::lv2::kControlIn)
        {
            EXPECT_TRUE(lilv_port_is_a(w.plugin, port, audio));
            EXPECT_TRUE(
                lilv_port_is_a(w.plugin, port, i < vorla::lv2::kAudioOut1 ? input : output));
        }
        else
        {
            EXPECT_TRUE(lilv_port_is_a(w.plugin, port, atom));
            EXPECT_TRUE(
                lilv_port_is_a(w.plugin, port, i == vorla::lv2::kControlIn ? input : output));
        }
    }
}

TEST(Lv2Bundle, OneX11EditorInTheBundle)
{
    Lv2World& w = Lv2World::get();
    LilvUIs* uis = lilv_plugin_get_uis(w.plugin);
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    EXPECT_STREQ(lilv_node_as_uri(lilv_ui_get_uri(ui)), vorla::lv2::kUiUri);
    Node x11(w.uri(LV2_UI__X11UI));
    EXPECT_TRUE(lilv_ui_is_a(ui, x11));
    char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
    EXPECT_EQ(std::string(path), std::string(VORLA_LV2_BUNDLE) + "/vorla_ui.so");
    lilv_free(path);
    lilv_uis_free(uis);
}

TEST(Lv2Presets, TheTenProgramsWithTheirNames)
{
    const PresetList list = presets();
    ASSERT_EQ(list.uris.size(), 10u);
    auto vst = createEffect();
    for (int32_t program = 0; program < 10; ++program)
        EXPECT_EQ(list.labels[static_cast<size_t>(program)],
                  vstText(*vst, effGetProgramNameIndexed, program))
            << program;
}

TEST(Lv2Presets, ApplyingOneSetsItsPortsAndItsMemoriesAsTheVstProgramDoes)
{
    Lv2World& w = Lv2World::get();
    const PresetList list = presets();
    ASSERT_EQ(list.uris.size(), 10u);
    for (const int32_t program : {0, 9})
    {
        // An instance far from the program: other knobs, other memories.
        Lv2Instance fx;
        fx.activate();
        const auto in = guitarSignal(128, 44100.0f, 0);
        Stereo sink;
        fx.controls[kCleanCrunch] = 1.0f;
        fx.controls[kDrive1] = 0.9f;
        runBlock(fx, in.data(), in.data(), 128, sink);
        fx.controls[kCleanCrunch] = 0.0f;
        fx.controls[kVolume] = 0.1f;
        runBlock(fx, in.data(), in.data(), 128, sink);

        Node uri(w.uri(list.uris[static_cast<size_t>(program)].c_str()));
        LilvState* preset = lilv_state_new_from_world(w.world, &w.urids.map, uri);
        ASSERT_NE(preset, nullptr);
        EXPECT_EQ(lilv_state_get_num_properties(preset), 1u);
        lilv_state_restore(preset, fx.instance, setPortValue, &fx, 0, nullptr);
        lilv_state_free(preset);
        runBlock(fx, in.data(), in.data(), 128, sink);

        auto vst = createEffect();
        vst->dispatch(effSetProgram, 0, program);
        for (int32_t i = 0; i < kNumParams; ++i)
            EXPECT_EQ(fx.controls[static_cast<size_t>(i)], vst->getParameter(i)) << i;
        void* chunk = nullptr;
        const intptr_t size = vst->dispatch(effGetChunk, 1, 0, &chunk);
        const auto saved = saveState(fx);
        ASSERT_EQ(saved.size(), 1u);
        ASSERT_EQ(static_cast<size_t>(size), saved[0].value.size());
        EXPECT_EQ(std::memcmp(chunk, saved[0].value.data(), saved[0].value.size()), 0)
            << "program " << program;
    }
}
