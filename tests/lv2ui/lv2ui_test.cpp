// SPDX-License-Identifier: GPL-3.0-or-later
// The LV2 UI (vorla.lv2/vorla_ui.so) in a real X server, driven the way an
// LV2 host drives an X11 UI in another process than the plug-in: the test
// loads the library, instantiates its descriptor with a parent window, the
// URID map and (mostly) ui:touch, passes port values and the plug-in's
// messages through port_event, calls the idle interface from its "UI
// thread" and records every write_function and touch call.  The user's hand
// is XTest.  Skipped when no display can be opened (scripts/test.sh starts
// Xvfb when DISPLAY is unset).
#include "editor/click_targets.h"
#include "lv2/lv2_support.h"

// Xlib last: its macros (Bool, None) would break the LV2 and test headers.
#include "editor/x11_support.h"

#include <lv2/ui/ui.h>

#include <dlfcn.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

using namespace vorla::test;
namespace lv2 = vorla::lv2;

namespace {

/// The UI library, loaded once.
const LV2UI_Descriptor* uiDescriptor()
{
    static const LV2UI_Descriptor* descriptor = [] {
        const std::string path = std::string(VORLA_LV2_BUNDLE) + "/vorla_ui.so";
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
        {
            ADD_FAILURE() << dlerror();
            return static_cast<const LV2UI_Descriptor*>(nullptr);
        }
        using Entry = const LV2UI_Descriptor* (*)(uint32_t);
        auto entry = reinterpret_cast<Entry>(dlsym(library, "lv2ui_descriptor"));
        return entry != nullptr ? entry(0) : nullptr;
    }();
    return descriptor;
}

/// What the UI asked of its host, in order.
struct Call
{
    enum Kind
    {
        Write,
        Grab,
        Release,
        Resize,
    };
    Call(Kind k, uint32_t p) : kind(k), port(p) {}
    Kind kind;
    uint32_t port = 0;
    float value = 0.0f;         // a control write
    uint32_t format = 0;        // a write's format
    std::vector<uint8_t> bytes; // a message write
};

/// What the host offers the UI.
struct Options
{
    bool withParent = true;
    bool withMap = true;
    bool withTouch = true;
    void* parentWindow = nullptr; // another parent than ours
    const char* pluginUri = lv2::kPluginUri;
};

class Lv2Ui : public vorla::test::EditorWindowTest
{
protected:
    void SetUp() override
    {
        EditorWindowTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_NE(uiDescriptor(), nullptr);
        touch.handle = this;
        touch.touch = [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
            static_cast<Lv2Ui*>(h)->calls.push_back({grabbed ? Call::Grab : Call::Release, port});
        };
        resize.handle = this;
        resize.ui_resize = [](LV2UI_Feature_Handle h, int width, int height) {
            Call c{Call::Resize, 0};
            c.bytes = {static_cast<uint8_t>(width / 10), static_cast<uint8_t>(height / 10)};
            static_cast<Lv2Ui*>(h)->calls.push_back(c);
            return 0;
        };
    }

    void TearDown() override
    {
        closeUi();
        EditorWindowTest::TearDown();
    }

    /// The LV2 host's idle call (ui:idleInterface): non-zero once the
    /// editor's window is gone.
    int idleOnce() override { return idle->idle(ui); }

    LV2UI_Handle instantiate() { return instantiate(Options{}); }
    LV2UI_Handle instantiate(const Options& options)
    {
        Lv2World& world = Lv2World::get();
        void* window = options.parentWindow != nullptr
                           ? options.parentWindow
                           : reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
        LV2_Feature parentFeature{LV2_UI__parent, window};
        LV2_Feature mapFeature{LV2_URID__map, &world.urids.map};
        LV2_Feature touchFeature{LV2_UI__touch, &touch};
        LV2_Feature resizeFeature{LV2_UI__resize, &resize};
        LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
        std::vector<const LV2_Feature*> features{&resizeFeature, &idleFeature};
        if (options.withParent)
            features.push_back(&parentFeature);
        if (options.withMap)
            features.push_back(&mapFeature);
        if (options.withTouch)
            features.push_back(&touchFeature);
        features.push_back(nullptr);
        const LV2UI_Descriptor* d = uiDescriptor();
        widget = nullptr;
        return d->instantiate(d, options.pluginUri, VORLA_LV2_BUNDLE, &Lv2Ui::write, this, &widget,
                              features.data());
    }

    bool openUi() { return openUi(Options{}); }
    bool openUi(const Options& options)
    {
        ui = instantiate(options);
        if (ui == nullptr)
            return false;
        idle = static_cast<const LV2UI_Idle_Interface*>(
            uiDescriptor()->extension_data(LV2_UI__idleInterface));
        return idle != nullptr;
    }

    void closeUi()
    {
        if (ui != nullptr)
            uiDescriptor()->cleanup(ui);
        ui = nullptr;
    }

    static void write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format,
                      const void* buffer)
    {
        auto* self = static_cast<Lv2Ui*>(controller);
        Call c{Call::Write, port};
        c.format = format;
        if (format == 0 && size == sizeof(float))
            std::memcpy(&c.value, buffer, sizeof(float));
        else
            c.bytes.assign(static_cast<const uint8_t*>(buffer),
                           static_cast<const uint8_t*>(buffer) + size);
        self->calls.push_back(std::move(c));
    }

    void portEvent(uint32_t port, float value)
    {
        uiDescriptor()->port_event(ui, port, sizeof value, 0, &value);
    }

    /// The control writes and touch calls recorded (messages and resizes
    /// left out).
    std::vector<Call> controlCalls() const
    {
        std::vector<Call> out;
        for (const Call& c : calls)
            if ((c.kind == Call::Write && c.format == 0) || c.kind == Call::Grab ||
                c.kind == Call::Release)
                out.push_back(c);
        return out;
    }

    bool released(uint32_t port) const
    {
        for (const Call& c : calls)
            if (c.kind == Call::Release && c.port == port)
                return true;
        return false;
    }

    LV2UI_Handle ui = nullptr;
    LV2UI_Widget widget = nullptr;
    const LV2UI_Idle_Interface* idle = nullptr;
    LV2UI_Touch touch{};
    LV2UI_Resize resize{};
    std::vector<Call> calls;
};

} // namespace

TEST_F(Lv2Ui, OpensInItsParentAtItsSizeAndDrawsWhatThePortsSay)
{
    ASSERT_TRUE(openUi());
    const Window child = editorWindow();
    ASSERT_NE(child, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(widget), static_cast<uintptr_t>(child));
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display, child, &attributes));
    EXPECT_EQ(attributes.width, kWidth);
    EXPECT_EQ(attributes.height, kHeight);

    // It told the host its size and asked the plug-in for the memories.
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, Call::Resize);
    EXPECT_EQ(calls[0].bytes, (std::vector<uint8_t>{66, 25}));
    EXPECT_EQ(calls[1].kind, Call::Write);
    EXPECT_EQ(calls[1].port, lv2::kControlIn);
    Lv2World& world = Lv2World::get();
    EXPECT_EQ(calls[1].format, world.known.atomEventTransfer);
    ASSERT_GE(calls[1].bytes.size(), sizeof(LV2_Atom_Object));
    EXPECT_TRUE(lv2::isObjectOf(world.known,
                                reinterpret_cast<const LV2_Atom*>(calls[1].bytes.data()),
                                world.known.patchGet));

    EXPECT_EQ(settleOn(snapshotImage("")), 0);
    portEvent(kVolume, 0.25f);
    EXPECT_EQ(settleOn(snapshotImage("--set 12=0.25")), 0);
    // A voicing change from the host recalls nothing: the knobs stay.
    portEvent(kChannel, 1.0f);
    EXPECT_EQ(settleOn(snapshotImage("--set 1=1 --set 12=0.25")), 0);
    // Hostile values change nothing.
    portEvent(kLow, std::nanf(""));
    portEvent(kHigh, INFINITY);
    portEvent(99, 0.3f);
    EXPECT_EQ(settleOn(snapshotImage("--set 1=1 --set 12=0.25")), 0);
    EXPECT_TRUE(controlCalls().empty()) << "values from the host are not written back";
}

TEST_F(Lv2Ui, AKnobDragWritesItsPortInsideATouchGesture)
{
    ASSERT_TRUE(openUi());
    portEvent(kInput, 0.2f);
    idleFor(50);
    playWhileIdling([](Hand& h) { h.dragUp(61, 192); }); // the Input knob

    const auto drag = controlCalls();
    ASSERT_GE(drag.size(), 3u);
    EXPECT_EQ(drag.front().kind, Call::Grab);
    EXPECT_EQ(drag.back().kind, Call::Release);
    for (size_t i = 0; i < drag.size(); ++i)
    {
        EXPECT_EQ(drag[i].port, static_cast<uint32_t>(kInput));
        if (i > 0 && i + 1 < drag.size())
        {
            EXPECT_EQ(drag[i].kind, Call::Write);
            if (i > 1)
            {
                EXPECT_GT(drag[i].value, drag[i - 1].value);
            }
        }
    }
    EXPECT_NEAR(drag[drag.size() - 2].value, 0.6f, 1e-5f); // 80 px, 200 px the whole range
}

TEST_F(Lv2Ui, AVoicingChangeInTheEditorWritesTheKnobsTheVoicingRemembers)
{
    // The plug-in, in its own instance: Crunch with Drive1 0.8 and Low 0.3,
    // then Clean with Low 0.6 and Drive1 back at 0.5 (Clean does not read
    // it, so Crunch keeps its 0.8).
    Lv2Instance dsp;
    dsp.activate();
    const auto in = guitarSignal(256, 44100.0f, 0);
    Stereo sink;
    dsp.controls[kCleanCrunch] = 1.0f;
    dsp.controls[kDrive1] = 0.8f;
    dsp.controls[kLow] = 0.3f;
    runBlock(dsp, in.data(), in.data(), 256, sink);
    dsp.controls[kCleanCrunch] = 0.0f;
    dsp.controls[kDrive1] = 0.5f;
    dsp.controls[kLow] = 0.6f;
    runBlock(dsp, in.data(), in.data(), 256, sink);
    ASSERT_FALSE(dsp.lastMessage.empty());

    // The UI opens; the host gives it the ports and the plug-in's message.
    ASSERT_TRUE(openUi());
    for (uint32_t i = 0; i < kNumParams; ++i)
        portEvent(i, dsp.controls[i]);
    uiDescriptor()->port_event(ui, lv2::kNotifyOut, static_cast<uint32_t>(dsp.lastMessage.size()),
                               Lv2World::get().known.atomEventTransfer, dsp.lastMessage.data());
    idleFor(50);

    // The user clicks the Crunch button.
    const ClickTarget crunch = kClickTargets[0];
    ASSERT_EQ(crunch.tag, kCleanCrunch);
    click(crunch.x, crunch.y);
    EXPECT_TRUE(idleUntil([&] { return released(kCleanCrunch); }));

    // The switch first, then each recalled knob in a gesture of its own,
    // all inside the switch's gesture.
    const auto written = controlCalls();
    ASSERT_GE(written.size(), 3u);
    EXPECT_EQ(written[0].kind, Call::Grab);
    EXPECT_EQ(written[0].port, static_cast<uint32_t>(kCleanCrunch));
    EXPECT_EQ(written[1].kind, Call::Write);
    EXPECT_EQ(written[1].port, static_cast<uint32_t>(kCleanCrunch));
    EXPECT_EQ(written[1].value, 1.0f);
    EXPECT_EQ(written.back().kind, Call::Release);
    EXPECT_EQ(written.back().port, static_cast<uint32_t>(kCleanCrunch));
    std::vector<uint32_t> recalled;
    for (size_t i = 2; i + 1 < written.size(); i += 3)
    {
        ASSERT_EQ(written[i].kind, Call::Grab);
        ASSERT_EQ(written[i + 1].kind, Call::Write);
        ASSERT_EQ(written[i + 2].kind, Call::Release);
        EXPECT_EQ(written[i].port, written[i + 1].port);
        EXPECT_EQ(written[i + 2].port, written[i + 1].port);
        recalled.push_back(written[i + 1].port);
        dsp.controls[written[i + 1].port] = written[i + 1].value;
    }
    std::sort(recalled.begin(), recalled.end());
    EXPECT_EQ(recalled, (std::vector<uint32_t>{kDrive1, kLow})) << "only what differs";
    dsp.controls[kCleanCrunch] = 1.0f;
    EXPECT_EQ(dsp.controls[kDrive1], 0.8f);
    EXPECT_EQ(dsp.controls[kLow], 0.3f);

    // The host's ports now hold what the VST plug-in holds after the same
    // user actions, and the plug-in plays them with its memories intact.
    auto vst = createEffect();
    vst->setParameter(kCleanCrunch, 1.0f);
    vst->setParameter(kDrive1, 0.8f);
    vst->setParameter(kLow, 0.3f);
    vst->setParameter(kCleanCrunch, 0.0f);
    vst->setParameter(kLow, 0.6f);
    vst->setParameter(kCleanCrunch, 1.0f);
    for (int32_t i = 0; i < kNumParams; ++i)
        EXPECT_EQ(dsp.controls[static_cast<size_t>(i)], vst->getParameter(i)) << i;
    runBlock(dsp, in.data(), in.data(), 256, sink);
    EXPECT_EQ(dsp.records.back().cleanMemory.low, 0.6f);
    EXPECT_EQ(dsp.records.back().crunchMemory.drive1, 0.8f);
}

TEST_F(Lv2Ui, WithoutTouchAClickStillWritesThePort)
{
    Options options;
    options.withTouch = false;
    ASSERT_TRUE(openUi(options));
    idleFor(50);
    const ClickTarget bright = kClickTargets[2];
    ASSERT_EQ(bright.tag, kBright);
    click(bright.x, bright.y);
    EXPECT_TRUE(idleUntil([&] { return !controlCalls().empty(); }));
    idleFor(30);
    const auto written = controlCalls();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].port, static_cast<uint32_t>(kBright));
    EXPECT_EQ(written[0].value, 1.0f);
}

TEST_F(Lv2Ui, TheHostDestroyingItsWindowFirstEndsTheIdleCalls)
{
    ASSERT_TRUE(openUi());
    idleFor(30);
    EXPECT_EQ(idle->idle(ui), 0);
    XDestroyWindow(display, parent);
    XSync(display, False);
    parent = 0;
    EXPECT_TRUE(idleUntil([&] { return idle->idle(ui) != 0; }));
    portEvent(kVolume, 0.9f);
    EXPECT_NE(idleFor(20), 0);
    closeUi();

    // A new parent, a new UI.
    parent = makeParent();
    ASSERT_TRUE(openUi());
    EXPECT_NE(editorWindow(), 0u);
}

TEST_F(Lv2Ui, RefusedWithoutParentOrUridMapOrForAnotherPlugin)
{
    Options noParent;
    noParent.withParent = false;
    EXPECT_EQ(instantiate(noParent), nullptr);
    Options noMap;
    noMap.withMap = false;
    EXPECT_EQ(instantiate(noMap), nullptr);
    Options foreign;
    foreign.parentWindow = reinterpret_cast<void*>(uintptr_t{0x1fffff0});
    EXPECT_EQ(instantiate(foreign), nullptr);
    Options other;
    other.pluginUri = "urn:vorla-test:another-plugin";
    EXPECT_EQ(instantiate(other), nullptr);
    EXPECT_TRUE(childrenOf(display, parent).empty());
    EXPECT_TRUE(calls.empty() || calls.front().kind == Call::Resize);
}
