// SPDX-License-Identifier: GPL-3.0-or-later
// vorla-live against a real JACK server (jackd, dummy driver, a server of
// the test's own): a player feeds it audio and MIDI and records what comes
// back, and the result is held against vorla-render and against a plain
// convolution; the errors a player meets; the settings it remembers.
#include "host/sound_files.h"
#include "live/jack_harness.h"
#include "rig/impulse_response.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

namespace fs = std::filesystem;
using namespace vorla::test;

constexpr int kRate = 44100;
const std::string kLive = VORLA_LIVE_PATH;
const std::string kRender = VORLA_RENDER_PATH;

/// A guitar-like part: plucked notes with -66 dBFS hiss between them, after
/// `lead` seconds of silence; whole periods of 64 frames long (a shorter
/// last block would be processed as one, in vorla-render).
std::vector<float> guitarPart(double seconds, double lead = 0.0)
{
    std::vector<float> x(size_t(seconds * kRate) / 64 * 64, 0.0f);
    uint32_t state = 7;
    for (size_t n = size_t(lead * kRate); n < x.size(); ++n)
    {
        state = state * 1664525u + 1013904223u;
        const double t = double(n) / kRate - lead;
        const double noteTime = std::fmod(t, 0.5);
        const double f = 82.41 * (1 + int(t / 0.5) % 3);
        double v = 0.0005 * (double(state >> 8) / double(1 << 24) - 0.5);
        if (noteTime < 0.25)
            v += 0.3 * std::exp(-noteTime / 0.08) *
                 (std::sin(2 * M_PI * f * t) + 0.4 * std::sin(4 * M_PI * f * t + 0.3));
        x[n] = float(v);
    }
    return x;
}

bool writeMono(const std::string& path, const std::vector<float>& x)
{
    return writeSound(path, {x}, kRate);
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

double rms(const std::vector<float>& x, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(to - from));
}

/// The RMS of the sample-to-sample differences: hiss, not slow drift.
double hiss(const std::vector<float>& x, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from + 1; i < to; ++i)
        sum += double(x[i] - x[i - 1]) * double(x[i] - x[i - 1]);
    return std::sqrt(sum / double(to - from - 1));
}

/// The first index where the two differ, or -1.
long firstDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0)
            return long(i);
    return a.size() == b.size() ? -1 : long(std::min(a.size(), b.size()));
}

/// `got` is `dry` convolved with response `h` as the cabinet prepares it
/// (levelled; at the same rate, so not resampled), within float rounding.
void expectConvolution(const std::vector<float>& dry, const std::vector<float>& h,
                       const std::vector<float>& got)
{
    vorla::ImpulseResponse source, prepared;
    source.rate = kRate;
    source.channels = {h};
    std::string error;
    ASSERT_TRUE(vorla::prepareImpulse(source, kRate, prepared, error)) << error;
    const auto& response = prepared.channels[0];
    ASSERT_EQ(dry.size(), got.size());
    double worst = 0.0, peak = 0.0;
    for (size_t n = 0; n < dry.size(); ++n)
    {
        double y = 0.0;
        for (size_t k = 0; k < response.size() && k <= n; ++k)
            y += double(dry[n - k]) * response[k];
        worst = std::max(worst, std::fabs(y - double(got[n])));
        peak = std::max(peak, std::fabs(y));
    }
    EXPECT_GT(peak, 0.05);
    EXPECT_LT(worst, 1e-4 * peak);
}

/// All Sound Off at the first frame: the amplifier starts the part from
/// rest, as a freshly made one does in vorla-render.
const std::vector<MidiMessage> kFromRest = {{0, {0xB0, 120, 0}}};

class LiveOnJack : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vorla-live-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        live.reset();
        server.reset();
        fs::remove_all(dir);
    }

    void startServer(int period)
    {
        server = std::make_unique<JackServer>(period);
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
    }

    using Client = std::unique_ptr<jack_client_t, decltype(&jack_client_close)>;

    /// A client of the test's own on its server, to look at vorla-live's
    /// ports from outside; null when the server does not answer.
    Client openProbe()
    {
        return Client(jack_client_open("vt-probe", JackOptions(JackNoStartServer | JackServerName),
                                       nullptr, server->name().c_str()),
                      &jack_client_close);
    }

    /// The latency vorla-live reports on its port `port` (e.g. "out_1").
    jack_latency_range_t latencyOf(const char* port, jack_latency_callback_mode_t mode)
    {
        jack_latency_range_t range{};
        const Client probe = openProbe();
        EXPECT_NE(probe, nullptr);
        if (probe)
            jack_port_get_latency_range(
                jack_port_by_name(probe.get(), (std::string("vt-live:") + port).c_str()), mode,
                &range);
        return range;
    }

    std::vector<std::string> environment() const
    {
        return {"JACK_DEFAULT_SERVER=" + (server ? server->name() : std::string("none")),
                "XDG_CONFIG_HOME=" + dir + "/config", "DISPLAY="};
    }

    /// Starts vorla-live as client `vt-live` and waits for its ports.
    void startLive(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--name", "vt-live", "--no-gui"});
        live = std::make_unique<ChildProcess>();
        ASSERT_TRUE(live->start(kLive, args, environment(), dir));
        const Client probe = openProbe();
        ASSERT_NE(probe, nullptr);
        const int64_t end = nowMs() + 10000;
        bool ready = false;
        while (!ready && nowMs() < end && live->running())
        {
            ready = jack_port_by_name(probe.get(), "vt-live:midi_in") != nullptr &&
                    live->standardOutput().find("playing") != std::string::npos;
            if (!ready)
                usleep(20000);
        }
        ASSERT_TRUE(ready) << live->standardError();
    }

    /// Plays `x` into in_1 (and in_2) and records out_1 and out_2.
    void play(const std::vector<float>& x, const std::vector<MidiMessage>& midi,
              std::vector<float>& left, std::vector<float>& right)
    {
        Player player(server->name());
        std::string error;
        ASSERT_TRUE(player.open(error)) << error;
        ASSERT_TRUE(player.connectTo("vt-live", error)) << error;
        ASSERT_TRUE(player.play(x, x, midi, left, right));
    }

    /// SIGTERM, then the exit status.
    int stopLive()
    {
        live->signal(SIGTERM);
        return live->wait(5000);
    }

    std::vector<float> render(const std::vector<float>& x, std::vector<std::string> args)
    {
        const std::string in = dir + "/in.wav", out = dir + "/out.wav";
        EXPECT_TRUE(writeMono(in, x));
        args.insert(args.end(), {"--quiet", in, out});
        std::string error;
        EXPECT_EQ(runProgram(kRender, args, environment(), dir, 60000, &error), 0) << error;
        return readFirstChannel(out);
    }

    std::string dir;
    std::unique_ptr<JackServer> server;
    std::unique_ptr<ChildProcess> live;
};

TEST_F(LiveOnJack, EqualsTheRendererBitForBitAtTheSamePeriod)
{
    ASSERT_NO_FATAL_FAILURE(startServer(64));
    const std::vector<std::string> settings = {"--channel",  "crunch", "--set",
                                               "Drive1=0.7", "--set",  "Power Amp=0.6"};
    std::vector<std::string> args = {"--fresh", "--no-connect", "--mute", "off"};
    args.insert(args.end(), settings.begin(), settings.end());
    ASSERT_NO_FATAL_FAILURE(startLive(args));
    const auto x = guitarPart(1.5);
    std::vector<float> left, right;
    ASSERT_NO_FATAL_FAILURE(play(x, kFromRest, left, right));
    EXPECT_EQ(stopLive(), 0);

    std::vector<std::string> renderArgs = {"--block", "64"};
    renderArgs.insert(renderArgs.end(), settings.begin(), settings.end());
    const auto rendered = render(x, renderArgs);
    ASSERT_EQ(rendered.size(), x.size());
    EXPECT_EQ(firstDifference(left, rendered), -1);
    EXPECT_EQ(firstDifference(right, rendered), -1) << "mono: both outputs the same";
    EXPECT_GT(rms(left, 0, left.size()), 0.01) << "the amplifier played";
}

TEST_F(LiveOnJack, TheGateSilencesTheHissBetweenNotesAsTheRendererDoes)
{
    ASSERT_NO_FATAL_FAILURE(startServer(64));
    ASSERT_NO_FATAL_FAILURE(startLive(
        {"--fresh", "--no-connect", "--mute", "off", "--channel", "overdrive", "--gate", "-45"}));
    // Silence first, so both gates start closed and at rest.
    const auto x = guitarPart(1.7, 0.2);
    std::vector<float> left, right;
    ASSERT_NO_FATAL_FAILURE(play(x, kFromRest, left, right));
    EXPECT_EQ(stopLive(), 0);

    const auto gated = render(x, {"--block", "64", "--channel", "overdrive", "--gate", "-45"});
    EXPECT_EQ(firstDifference(left, gated), -1);
    // Between the notes (the last 150 ms of each gap) the hiss is gone: 40 dB
    // below what the ungated amplifier makes of it.  (What stays is the
    // amplifier's slow settle after the note, far below the hiss's band.)
    const auto open = render(x, {"--block", "64", "--channel", "overdrive"});
    for (double gap : {0.2 + 0.35, 0.2 + 0.85})
    {
        const size_t from = size_t(gap * kRate), to = size_t((gap + 0.15) * kRate);
        EXPECT_LT(hiss(left, from, to), hiss(open, from, to) * 0.01) << "gap at " << gap;
    }
    // And the notes are there.
    EXPECT_GT(rms(left, size_t(0.2 * kRate), size_t(0.45 * kRate)), 0.01);
}

TEST_F(LiveOnJack, TheCabinetIsAPlainConvolutionAndAddsNoLatencyAtPeriod64)
{
    ASSERT_NO_FATAL_FAILURE(startServer(64));
    // A response of our own, at the server's rate (nothing to resample).
    std::vector<float> h(2048);
    for (size_t n = 0; n < h.size(); ++n)
        h[n] = float(std::exp(-double(n) / 200.0) * std::cos(0.3 * double(n)));
    const std::string cab = dir + "/test-cab.wav";
    ASSERT_TRUE(writeMono(cab, h));
    ASSERT_NO_FATAL_FAILURE(startLive({"--fresh", "--no-connect", "--mute", "off", "--cab", cab}));

    // The latency vorla-live reports on its outputs: none at this period.
    EXPECT_EQ(latencyOf("out_1", JackCaptureLatency).max, 0u);

    const auto x = guitarPart(1.0);
    std::vector<float> left, right;
    ASSERT_NO_FATAL_FAILURE(play(x, kFromRest, left, right));
    EXPECT_EQ(stopLive(), 0);

    // The amplifier alone (as vorla-render makes it), convolved here with
    // the response as vorla-live prepares it.
    expectConvolution(render(x, {"--block", "64"}), h, left);
}

TEST_F(LiveOnJack, TheRendererRunsTheSameCabinetAlignedWithItsInput)
{
    // No server needed: vorla-render --cab, in blocks of any length, takes
    // the cabinet's latency out.
    std::vector<float> h(1500);
    for (size_t n = 0; n < h.size(); ++n)
        h[n] = float(std::exp(-double(n) / 150.0) * std::sin(0.2 * double(n) + 0.5));
    const std::string cab = dir + "/render-cab.wav";
    ASSERT_TRUE(writeMono(cab, h));
    const auto x = guitarPart(0.5);
    const auto dry = render(x, {"--block", "100", "--channel", "crunch"});
    const auto wet = render(x, {"--block", "100", "--channel", "crunch", "--cab", cab});
    ASSERT_EQ(wet.size(), x.size());
    expectConvolution(dry, h, wet);
}

TEST_F(LiveOnJack, ASmallPeriodReportsTheCabinetsLatency)
{
    ASSERT_NO_FATAL_FAILURE(startServer(32));
    ASSERT_NO_FATAL_FAILURE(startLive({"--fresh", "--no-connect", "--cab", "closed-2x12"}));
    const auto out = latencyOf("out_1", JackCaptureLatency);
    EXPECT_EQ(out.min, 64u);
    EXPECT_EQ(out.max, 64u);
    EXPECT_EQ(latencyOf("in_1", JackPlaybackLatency).max, 64u);
    EXPECT_EQ(stopLive(), 0);
}

TEST_F(LiveOnJack, MidiSelectsProgramsAndMovesParameters)
{
    ASSERT_NO_FATAL_FAILURE(startServer(64));
    ASSERT_NO_FATAL_FAILURE(startLive({"--fresh", "--no-connect", "--mute", "off"}));
    const auto x = guitarPart(1.0);
    // Program Change 3, then (in a later period) CC 32 = Volume to 0: the
    // amplifier falls silent.  Program Change 12 is not a program: ignored.
    std::vector<float> left, right;
    ASSERT_NO_FATAL_FAILURE(
        play(x, {{0, {0xC0, 3}}, {64, {0xC5, 12}}, {22050, {0xB2, 32, 0}}}, left, right));
    EXPECT_GT(rms(left, 0, 20000), 0.01);
    EXPECT_LT(rms(left, 24000, left.size()), 1e-5);
    EXPECT_EQ(stopLive(), 0);
    const std::string saved = slurp(dir + "/config/vorla/live.conf");
    EXPECT_NE(saved.find("program=3\n"), std::string::npos) << saved;
}

TEST_F(LiveOnJack, MuteByMidiAndTheFirstStartIsMuted)
{
    ASSERT_NO_FATAL_FAILURE(startServer(64));
    // No settings yet and no --mute: the first start is silent.
    ASSERT_NO_FATAL_FAILURE(startLive({"--no-connect"}));
    const auto x = guitarPart(0.6);
    std::vector<float> left, right;
    ASSERT_NO_FATAL_FAILURE(play(x, {}, left, right));
    EXPECT_EQ(rms(left, 0, left.size()), 0.0);
    // CC 89 = 0 unmutes.
    ASSERT_NO_FATAL_FAILURE(play(x, {{0, {0xB0, 89, 0}}}, left, right));
    EXPECT_GT(rms(left, 4410, left.size()), 0.01);
    EXPECT_EQ(stopLive(), 0);
    EXPECT_NE(slurp(dir + "/config/vorla/live.conf").find("muted=0"), std::string::npos);
}

TEST_F(LiveOnJack, RemembersItsSettingsAndPortsAndStartsFreshOnRequest)
{
    ASSERT_NO_FATAL_FAILURE(startServer(64));
    ASSERT_NO_FATAL_FAILURE(
        startLive({"--fresh", "--program", "2", "--set", "Drive1=0.8", "--gate", "-47", "--cab",
                   "open-1x12", "--mute", "off", "--input", "system:capture_2"}));
    EXPECT_EQ(stopLive(), 0);
    const std::string path = dir + "/config/vorla/live.conf";
    const std::string first = slurp(path);
    for (const char* line :
         {"program=2\n", "input=system:capture_2\n", "output=system:playback_1\n", "gate=1\n",
          "gate_db=-47.0\n", "cabinet=1\n", "cabinet_name=open-1x12\n", "muted=0\n"})
        EXPECT_NE(first.find(line), std::string::npos) << line << first;

    // Started again with no options, it plays with what it remembered, and
    // is connected where it was.
    ASSERT_NO_FATAL_FAILURE(startLive({}));
    const Client probe = openProbe();
    ASSERT_NE(probe, nullptr);
    const char** connected =
        jack_port_get_all_connections(probe.get(), jack_port_by_name(probe.get(), "vt-live:in_1"));
    ASSERT_NE(connected, nullptr);
    EXPECT_STREQ(connected[0], "system:capture_2");
    jack_free(connected);
    EXPECT_EQ(stopLive(), 0);
    EXPECT_EQ(slurp(path), first);

    // --fresh starts from defaults (and muted, as a first start).
    ASSERT_NO_FATAL_FAILURE(startLive({"--fresh"}));
    EXPECT_EQ(stopLive(), 0);
    const std::string fresh = slurp(path);
    EXPECT_NE(fresh.find("program=0\n"), std::string::npos);
    EXPECT_NE(fresh.find("gate=0\n"), std::string::npos);
    EXPECT_NE(fresh.find("muted=1\n"), std::string::npos);

    // A damaged file: one line, then defaults, and a normal end.
    std::ofstream(path) << "# vorla-live settings, version 1\nprogram=eleven\n";
    ASSERT_NO_FATAL_FAILURE(startLive({}));
    EXPECT_EQ(stopLive(), 0);
    const std::string said = live->standardError();
    EXPECT_NE(said.find("cannot be read; starting from defaults"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

TEST_F(LiveOnJack, TheServerGoingAwayEndsItInOneLine)
{
    ASSERT_NO_FATAL_FAILURE(startServer(64));
    ASSERT_NO_FATAL_FAILURE(startLive({"--fresh", "--no-connect"}));
    server->stop();
    const int64_t started = nowMs();
    const int status = live->wait(5000);
    EXPECT_EQ(status, 1);
    EXPECT_LT(nowMs() - started, 5000);
    const std::string said = live->standardError();
    EXPECT_NE(said.find("the JACK server went away"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

TEST(LiveErrors, NoServerOneLineAndStatus2Quickly)
{
    char pattern[] = "/tmp/vorla-live-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::string said;
    const int64_t started = nowMs();
    const int status = runProgram(
        kLive, {"--no-gui"}, {"JACK_DEFAULT_SERVER=vorla-no-such-server", "XDG_CONFIG_HOME=" + dir},
        dir, 10000, &said);
    EXPECT_EQ(status, 2);
    EXPECT_LT(nowMs() - started, 5000);
    EXPECT_NE(said.find("no JACK server is running"), std::string::npos) << said;
    EXPECT_NE(said.find("start one"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_FALSE(fs::exists(dir + "/vorla/live.conf")) << "nothing played, nothing saved";

    // A bad option: one line, then the usage.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--gate", "loud"}, {"--frobnicate"}, {"--set", "Drive9=1"}, {"--program", "10"}})
    {
        const int bad = runProgram(kLive, args, {"XDG_CONFIG_HOME=" + dir}, dir, 10000, &said);
        if (args[0] == "--set")
        {
            // A name is checked against the amplifier's: a setting that
            // cannot be used, status 1, in one line naming the parameters.
            EXPECT_EQ(bad, 1);
            EXPECT_NE(said.find("unknown parameter 'Drive9'"), std::string::npos) << said;
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
            continue;
        }
        EXPECT_EQ(bad, 2) << args[0];
        EXPECT_NE(said.find("vorla-live: "), std::string::npos);
        EXPECT_NE(said.find("usage: vorla-live"), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
    }
    fs::remove_all(dir);
}

TEST(LiveErrors, HelpPrintsTheMidiMapAndTheFolders)
{
    std::string said;
    char pattern[] = "/tmp/vorla-live-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    ChildProcess help;
    ASSERT_TRUE(help.start(kLive, {"--help"}, {"XDG_CONFIG_HOME=/home/player/.cfg"}, dir));
    EXPECT_EQ(help.wait(5000), 0);
    const std::string text = help.standardOutput();
    for (const char* part :
         {"CC 20-34", "Program Change 0-9", "CC 85", "CC 89", "/home/player/.cfg/vorla/live.conf",
          "/home/player/.cfg/vorla/cabinets", "--input PORT", "--no-gui", "--gate off|DB",
          "--cab off|NAME|FILE"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    fs::remove_all(dir);
}

} // namespace
