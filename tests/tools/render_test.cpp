// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of vorla-render, run as a user runs it: the built executable in a
// child process, with small audio files made here with libsndfile.  Most
// cases host the fake plug-in (a gain of 2 x Volume that turns its output to
// NaN when the host sequence is wrong), so settings can be heard and the
// host sequence is checked on every render; a few render the real amplifier.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct RunResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Audio
{
    SF_INFO info{};
    std::vector<float> samples; // interleaved

    float at(sf_count_t frame, int channel) const
    {
        return samples[size_t(frame * info.channels + channel)];
    }
    double peak(int channel) const
    {
        double peak = 0.0;
        for (sf_count_t i = 0; i < info.frames; ++i)
            peak = std::max(peak, double(std::fabs(at(i, channel))));
        return peak;
    }
    bool allFinite() const
    {
        for (float s : samples)
            if (!std::isfinite(s))
                return false;
        return true;
    }
};

Audio readAudio(const fs::path& path)
{
    Audio audio;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &audio.info);
    if (file == nullptr)
    {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return audio;
    }
    audio.samples.resize(size_t(audio.info.frames * audio.info.channels));
    sf_readf_float(file, audio.samples.data(), audio.info.frames);
    sf_close(file);
    return audio;
}

/// A sine of amplitude 0.25 on the first channel, 0.125 on the others.
void writeTone(const fs::path& path, int rate, int channels, sf_count_t frames,
               int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(size_t(frames * channels));
    for (sf_count_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[size_t(i * channels + c)] =
                float((c == 0 ? 0.25 : 0.125) * std::sin(2.0 * M_PI * 440.0 * double(i) / rate));
    ASSERT_EQ(sf_writef_float(file, samples.data(), frames), frames);
    sf_close(file);
}

class RenderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("vorla-render-" + std::to_string(getpid()) + "-" + test->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path path(const std::string& name) const { return dir_ / name; }

    /// Runs a program with the given arguments; stdout and stderr are captured.
    /// A non-zero `fileSizeLimit` caps the size of files the program writes
    /// (RLIMIT_FSIZE, with SIGXFSZ ignored so a write fails instead).
    RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         rlim_t fileSizeLimit = 0) const
    {
        const fs::path outFile = dir_ / "stdout.txt", errFile = dir_ / "stderr.txt";
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        RunResult result;
        const pid_t pid = fork();
        if (pid == 0)
        {
            const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
                _exit(126);
            if (fileSizeLimit > 0)
            {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{fileSizeLimit, fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        if (pid > 0)
        {
            int status = 0;
            waitpid(pid, &status, 0);
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        result.out = slurp(outFile);
        result.err = slurp(errFile);
        return result;
    }

    /// vorla-render with the fake plug-in unless the arguments name another.
    RunResult render(std::vector<std::string> args,
                     const std::string& plugin = VORLA_FAKE_PLUGIN) const
    {
        if (!plugin.empty())
            args.insert(args.begin(), {"--plugin", plugin});
        return runProgram(VORLA_RENDER_PATH, args);
    }

    /// A failed run: non-zero exit, one line on stderr with our prefix,
    /// containing `expected`, and no output file left behind.
    void expectFailure(const RunResult& result, const std::string& expected,
                       const fs::path& output = {}) const
    {
        EXPECT_NE(result.exitCode, 0);
        EXPECT_EQ(result.err.rfind("vorla-render: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(expected), std::string::npos)
            << "expected '" << expected << "' in: " << result.err;
        ASSERT_FALSE(result.err.empty());
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "not one line: " << result.err;
        if (!output.empty())
        {
            EXPECT_FALSE(fs::exists(output)) << output << " was left behind";
        }
    }

    fs::path dir_;
};

// --- Errors -----------------------------------------------------------------

TEST_F(RenderTest, MissingOrUnreadableInputIsAnError)
{
    const auto out = path("out.wav");
    expectFailure(render({path("absent.wav"), out}), "no such file", out);

    std::ofstream(path("text.wav")) << "this is not audio";
    expectFailure(render({path("text.wav"), out}), "cannot read input", out);

    writeTone(path("six.wav"), 44100, 6, 100);
    expectFailure(render({path("six.wav"), out}), "6 channels", out);
}

TEST_F(RenderTest, UnwritableOutputIsAnError)
{
    writeTone(path("in.wav"), 44100, 1, 1000);
    expectFailure(render({path("in.wav"), path("no/such/folder/out.wav")}), "cannot write output");
    expectFailure(render({path("in.wav"), path("in.wav")}), "is the input file");
    EXPECT_EQ(readAudio(path("in.wav")).info.frames, 1000) << "the input was damaged";
    expectFailure(render({"--format", "float", path("in.wav"), path("out.flac")}),
                  "FLAC cannot hold float", path("out.flac"));
}

TEST_F(RenderTest, FailedWriteLeavesNoTruncatedOutput)
{
    writeTone(path("in.wav"), 44100, 1, 200000); // 800 kB of float samples to write
    const auto result =
        runProgram(VORLA_RENDER_PATH,
                   {"--plugin", VORLA_FAKE_PLUGIN, path("in.wav"), path("out.wav")}, 100000);
    expectFailure(result, "cannot write output", path("out.wav"));
}

TEST_F(RenderTest, BadParameterSettingsAreErrors)
{
    writeTone(path("in.wav"), 44100, 1, 1000);
    const auto in = path("in.wav"), out = path("out.wav");
    expectFailure(render({"--set", "Gain=0.5", in, out}), "unknown parameter 'Gain'", out);
    expectFailure(render({"--set", "15=0.5", in, out}), "unknown parameter '15'", out);
    // A beginning that two names share (Drive1, Drive2) names neither.
    expectFailure(render({"--set", "drive=0.5", in, out}), "unknown parameter 'drive'", out);
    expectFailure(render({"--set", "Volume=1.5", in, out}), "outside 0..1", out);
    expectFailure(render({"--set", "Volume=-0.1", in, out}), "outside 0..1", out);
    expectFailure(render({"--set", "Volume=loud", in, out}), "not a number", out);
    expectFailure(render({"--set", "Volume=nan", in, out}), "not a number", out);
    expectFailure(render({"--set", "Volume=", in, out}), "not a number", out);
    expectFailure(render({"--set", "Volume", in, out}), "NAME=VALUE", out);
}

TEST_F(RenderTest, BadOptionValuesAreErrors)
{
    writeTone(path("in.wav"), 44100, 1, 1000);
    const std::string in = path("in.wav"), out = path("out.wav");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--block", "0", in, out}, "--block"},
        {{"--block", "65537", in, out}, "--block"},
        {{"--block", "12x", in, out}, "--block"},
        {{"--program", "10", in, out}, "--program"},
        {{"--program", "-1", in, out}, "--program"},
        {{"--channel", "metal", in, out}, "--channel"},
        {{"--quality", "ultra", in, out}, "--quality"},
        {{"--format", "pcm8", in, out}, "--format"},
        {{"--tail", "-1", in, out}, "--tail"},
        {{"--tail", "inf", in, out}, "--tail"},
        {{"--frobnicate", in, out}, "unknown option"},
        {{in}, "expected INPUT and OUTPUT"},
        {{in, out, "extra"}, "too many"},
        {{in, out, "--block"}, "needs a value"},
    };
    for (const auto& [args, expected] : cases)
    {
        SCOPED_TRACE(args.front());
        expectFailure(render(args), expected, out);
    }
}

TEST_F(RenderTest, ChunkFilesOfTheWrongSizeOrRefusedAreErrors)
{
    writeTone(path("in.wav"), 44100, 1, 1000);
    const auto in = path("in.wav"), out = path("out.wav");
    for (size_t size : {0u, 335u, 337u, 3359u, 3361u})
    {
        std::ofstream(path("bad.chunk"), std::ios::binary) << std::string(size, '\0');
        expectFailure(render({"--chunk", path("bad.chunk"), in, out}),
                      "is " + std::to_string(size) + " bytes; expected 3360 (bank) or 336 (preset)",
                      out);
    }
    expectFailure(render({"--chunk", path("absent.chunk"), in, out}), "no such file", out);

    std::ofstream(path("refused.chunk"), std::ios::binary) << std::string(3360, '\xff');
    expectFailure(render({"--chunk", path("refused.chunk"), in, out}), "refused the bank chunk",
                  out);
}

TEST_F(RenderTest, PluginThatDoesNotLoadOrCreatesNoEffectIsAnError)
{
    writeTone(path("in.wav"), 44100, 1, 1000);
    const auto in = path("in.wav"), out = path("out.wav");
    expectFailure(render({in, out}, path("absent.so")), "cannot load plug-in", out);
    std::ofstream(path("bogus.so")) << "not a library";
    expectFailure(render({in, out}, path("bogus.so")), "cannot load plug-in", out);
    expectFailure(render({in, out}, VORLA_FAKE_NULL_PLUGIN), "refused to create an effect", out);
    // A library without the entry point.
    expectFailure(render({in, out}, "libsndfile.so.1"), "no VSTPluginMain", out);
}

TEST_F(RenderTest, NonFiniteOutputIsCountedAndFails)
{
    writeTone(path("in.wav"), 44100, 1, 1000);
    const auto result = render({path("in.wav"), path("out.wav")}, VORLA_FAKE_NAN_PLUGIN);
    // Blocks of 512 and 488 frames, a NaN at every 100th frame of each: 6 + 5.
    expectFailure(result, "produced 11 non-finite output samples");
    // The file is kept, with the bad samples written as silence.
    const Audio audio = readAudio(path("out.wav"));
    EXPECT_EQ(audio.info.frames, 1000);
    EXPECT_TRUE(audio.allFinite());
}

// --- What is written ---------------------------------------------------------

TEST_F(RenderTest, OutputLengthIsInputLengthPlusTailForAnyBlockSize)
{
    writeTone(path("in.wav"), 44100, 1, 10007);
    for (const char* block : {"1", "64", "333", "512", "10007", "65536"})
    {
        SCOPED_TRACE(block);
        const auto result = render({"--block", block, path("in.wav"), path("out.wav")});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const Audio audio = readAudio(path("out.wav"));
        EXPECT_EQ(audio.info.frames, 10007);
        EXPECT_TRUE(audio.allFinite()) << "the fake plug-in saw a wrong host sequence";
        // The fake is a gain of 2 x Volume (0.5 by default): the tone comes out as it went in.
        EXPECT_NEAR(audio.peak(0), 0.25, 1e-3);
    }
    const auto result = render({"--tail", "0.5", path("in.wav"), path("tail.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Audio audio = readAudio(path("tail.wav"));
    EXPECT_EQ(audio.info.frames, 10007 + 22050);
    EXPECT_TRUE(audio.allFinite());
    EXPECT_EQ(audio.at(audio.info.frames - 1, 0), 0.0f);
}

TEST_F(RenderTest, OutputRateFollowsInputAndSummaryNamesOversampling)
{
    struct Case
    {
        int rate;
        const char* quality;
        const char* oversampling;
    };
    for (const Case& c : {Case{44100, "low", "oversampling 4x (176400 Hz)"},
                          Case{44100, "high", "oversampling 8x (352800 Hz)"},
                          Case{48000, "low", "oversampling 4x (192000 Hz)"},
                          Case{48000, "high", "oversampling 8x (384000 Hz)"},
                          Case{96000, "low", "oversampling 2x (192000 Hz)"},
                          Case{96000, "high", "oversampling 4x (384000 Hz)"}})
    {
        SCOPED_TRACE(std::to_string(c.rate) + " " + c.quality);
        writeTone(path("in.wav"), c.rate, 1, c.rate / 10);
        const auto result = render({"--quality", c.quality, path("in.wav"), path("out.wav")});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const Audio audio = readAudio(path("out.wav"));
        EXPECT_EQ(audio.info.samplerate, c.rate);
        EXPECT_EQ(audio.info.frames, c.rate / 10);
        EXPECT_TRUE(audio.allFinite());
        EXPECT_NE(result.out.find(c.oversampling), std::string::npos) << result.out;
        EXPECT_NE(result.out.find(std::string(c.quality) == "high" ? "HighQ" : "LowQ"),
                  std::string::npos);
    }
}

TEST_F(RenderTest, ChannelCountFollowsInputAndStereoMode)
{
    writeTone(path("mono.wav"), 44100, 1, 2000);
    writeTone(path("stereo.wav"), 44100, 2, 2000);

    ASSERT_EQ(render({path("mono.wav"), path("a.wav")}).exitCode, 0);
    EXPECT_EQ(readAudio(path("a.wav")).info.channels, 1);

    for (const auto& option : {std::vector<std::string>{"--stereo"},
                               std::vector<std::string>{"--set", "mono/stereo=on"}})
    {
        auto args = option;
        args.insert(args.end(), {path("mono.wav"), path("b.wav")});
        ASSERT_EQ(render(args).exitCode, 0);
        const Audio audio = readAudio(path("b.wav"));
        EXPECT_EQ(audio.info.channels, 2);
        EXPECT_NEAR(audio.peak(1), 0.25, 1e-3) << "a mono input feeds both sides";
    }

    // Stereo input in mono mode: the first side is copied to both outputs.
    const auto monoMode = render({path("stereo.wav"), path("c.wav")});
    ASSERT_EQ(monoMode.exitCode, 0);
    EXPECT_NE(monoMode.out.find("mono mode"), std::string::npos);
    const Audio copied = readAudio(path("c.wav"));
    ASSERT_EQ(copied.info.channels, 2);
    EXPECT_NEAR(copied.peak(1), 0.25, 1e-3);

    // Stereo mode: each side its own.
    ASSERT_EQ(render({"--stereo", path("stereo.wav"), path("d.wav")}).exitCode, 0);
    const Audio separate = readAudio(path("d.wav"));
    ASSERT_EQ(separate.info.channels, 2);
    EXPECT_NEAR(separate.peak(0), 0.25, 1e-3);
    EXPECT_NEAR(separate.peak(1), 0.125, 1e-3);
    EXPECT_TRUE(separate.allFinite());
}

TEST_F(RenderTest, SampleFormatsAndContainers)
{
    writeTone(path("in.wav"), 44100, 1, 4410);
    struct Case
    {
        std::vector<std::string> options;
        const char* output;
        int format;
    };
    for (const Case& c :
         {Case{{}, "f.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
          Case{{"--format", "float"}, "f2.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
          Case{{"--format", "pcm16"}, "p16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
          Case{{"--format=pcm24"}, "p24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
          Case{{}, "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
          Case{{"--format", "pcm16"}, "out.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16}})
    {
        SCOPED_TRACE(c.output);
        auto args = c.options;
        args.insert(args.end(), {path("in.wav"), path(c.output)});
        const auto result = render(args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const Audio audio = readAudio(path(c.output));
        EXPECT_EQ(audio.info.format, c.format);
        EXPECT_EQ(audio.info.frames, 4410);
        EXPECT_NEAR(audio.peak(0), 0.25, 1e-3);
    }
}

TEST_F(RenderTest, FlacAndAiffInputsAreRead)
{
    writeTone(path("in.flac"), 48000, 1, 4800, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    writeTone(path("in.aiff"), 44100, 2, 4410, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    ASSERT_EQ(render({path("in.flac"), path("a.wav")}).exitCode, 0);
    ASSERT_EQ(render({path("in.aiff"), path("b.wav")}).exitCode, 0);
    const Audio a = readAudio(path("a.wav")), b = readAudio(path("b.wav"));
    EXPECT_EQ(a.info.samplerate, 48000);
    EXPECT_EQ(a.info.frames, 4800);
    EXPECT_EQ(b.info.channels, 2);
    EXPECT_EQ(b.info.frames, 4410);
    EXPECT_NEAR(a.peak(0), 0.25, 1e-3);
}

// --- Settings ----------------------------------------------------------------

TEST_F(RenderTest, SetFindsParametersByNameInAnyCaseOrByIndex)
{
    writeTone(path("in.wav"), 44100, 1, 2000);
    // Volume 0.25 makes the fake's gain 0.5.  Separators do not count, and a
    // beginning that only one name has will do.
    for (const char* setting :
         {"Volume=0.25", "vOlUmE=0.25", "12=0.25", "VOLUME=.25", "vol=0.25", "vo-lume=0.25"})
    {
        SCOPED_TRACE(setting);
        const auto result = render({"--set", setting, path("in.wav"), path("out.wav")});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NEAR(readAudio(path("out.wav")).peak(0), 0.125, 1e-3);
    }
    // Names with spaces and slashes, switches as on/off.
    const auto result = render({"--set", "power amp=0.7", "--set", "lowq/highq=on", "--set",
                                "Overdrive Boost=off", path("in.wav"), path("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("HighQ"), std::string::npos);
    // The last --set of a parameter wins.
    ASSERT_EQ(render({"--set", "Volume=1", "--set", "Volume=0.25", path("in.wav"), path("o.wav")})
                  .exitCode,
              0);
    EXPECT_NEAR(readAudio(path("o.wav")).peak(0), 0.125, 1e-3);
}

TEST_F(RenderTest, SettingsApplyInTheirFixedOrder)
{
    writeTone(path("in.wav"), 44100, 1, 1000);
    const auto in = path("in.wav"), out = path("out.wav");
    auto voicing = [&](std::vector<std::string> args) {
        args.insert(args.end(), {in, out});
        const auto result = render(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        for (const char* name : {"Clean,", "Crunch,", "Overdrive,"})
            if (result.out.find(std::string("amp      ") + name) != std::string::npos)
                return std::string(name, std::strlen(name) - 1);
        return std::string("?");
    };
    EXPECT_EQ(voicing({}), "Clean");
    EXPECT_EQ(voicing({"--channel", "crunch"}), "Crunch");
    EXPECT_EQ(voicing({"--channel", "overdrive"}), "Overdrive");
    // --set comes after --channel whatever the command-line order.
    EXPECT_EQ(voicing({"--set", "Channel=0", "--channel", "overdrive"}), "Clean");
    // --quality comes before --set, --chunk before everything.
    const auto result = render({"--set", "LowQ/HighQ=0", "--quality", "high", in, out});
    EXPECT_NE(result.out.find("LowQ"), std::string::npos) << result.out;
}

TEST_F(RenderTest, SavedBankChunkIs3360BytesAndLoadsBack)
{
    writeTone(path("in.wav"), 44100, 1, 2000);
    auto result = render({"--set", "Volume=0.25", "--save-chunk", path("bank.chunk"),
                          path("in.wav"), path("a.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(fs::file_size(path("bank.chunk")), 3360u);

    // Loading it restores Volume 0.25 (gain 0.5) with no other setting.
    result = render({"--chunk", path("bank.chunk"), path("in.wav"), path("b.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NEAR(readAudio(path("b.wav")).peak(0), 0.125, 1e-3);

    // One 336-byte program record is accepted as a preset.
    std::string bank = slurp(path("bank.chunk"));
    std::ofstream(path("preset.chunk"), std::ios::binary) << bank.substr(0, 336);
    result = render({"--chunk", path("preset.chunk"), path("in.wav"), path("c.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NEAR(readAudio(path("c.wav")).peak(0), 0.125, 1e-3);

    // An unwritable chunk path is an error before any audio is written.
    expectFailure(
        render({"--save-chunk", path("no/dir/bank.chunk"), path("in.wav"), path("d.wav")}),
        "cannot write chunk file", path("d.wav"));
}

TEST_F(RenderTest, QuietPrintsNothingAndHelpSucceeds)
{
    writeTone(path("in.wav"), 44100, 1, 1000);
    const auto quiet = render({"--quiet", path("in.wav"), path("out.wav")});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_TRUE(quiet.out.empty()) << quiet.out;
    EXPECT_TRUE(quiet.err.empty()) << quiet.err;

    const auto loud = render({path("in.wav"), path("out.wav")});
    EXPECT_NE(loud.out.find("input    44100 Hz, mono"), std::string::npos) << loud.out;
    EXPECT_NE(loud.out.find("real time"), std::string::npos) << loud.out;
    EXPECT_TRUE(loud.err.empty()) << "no progress when stderr is not a terminal: " << loud.err;

    const auto help = render({"--help"}, "");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: vorla-render"), std::string::npos);
}

// --- The demo clip --------------------------------------------------------------

TEST_F(RenderTest, DemoClipIsReproducibleDiLevelGuitar)
{
    const auto result = runProgram(VORLA_MAKE_DEMO_PATH, {path("demo.wav").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(slurp(path("demo.wav")), slurp(VORLA_DEMO_CLIP)) << "not bit-reproducible";
    const Audio clip = readAudio(path("demo.wav"));
    EXPECT_EQ(clip.info.samplerate, 44100);
    EXPECT_EQ(clip.info.channels, 1);
    EXPECT_GE(clip.info.frames, 6 * 44100);
    EXPECT_LE(clip.info.frames, 8 * 44100);
    EXPECT_NEAR(20.0 * std::log10(clip.peak(0)), -6.0, 0.1);
    EXPECT_EQ(clip.at(clip.info.frames - 1, 0), 0.0f) << "ends in silence";
}

// --- The real amplifier -----------------------------------------------------------

#ifdef VORLA_PLUGIN_PATH
constexpr const char* kAmp = VORLA_PLUGIN_PATH;
#else
constexpr const char* kAmp = nullptr;
#endif

TEST_F(RenderTest, AmplifierRendersEveryVoicingFinitely)
{
    if (kAmp == nullptr)
        GTEST_SKIP() << "the plug-in target is not part of this build";
    for (int rate : {48000, 96000})
    {
        writeTone(path("in.wav"), rate, 1, rate / 10);
        for (const char* voicing : {"clean", "crunch", "overdrive"})
            for (const char* quality : {"low", "high"})
            {
                SCOPED_TRACE(std::to_string(rate) + " " + voicing + " " + quality);
                const auto result =
                    render({"--channel", voicing, "--quality", quality, "--block", "300", "--tail",
                            "0.05", path("in.wav"), path("out.wav")},
                           kAmp);
                ASSERT_EQ(result.exitCode, 0) << result.err;
                const Audio audio = readAudio(path("out.wav"));
                EXPECT_EQ(audio.info.samplerate, rate);
                EXPECT_EQ(audio.info.frames, rate / 10 + rate / 20);
                EXPECT_TRUE(audio.allFinite());
            }
    }
}

TEST_F(RenderTest, AmplifierInMonoModeGivesEqualSides)
{
    if (kAmp == nullptr)
        GTEST_SKIP() << "the plug-in target is not part of this build";
    writeTone(path("in.wav"), 44100, 2, 4410);
    const auto result = render({"--channel", "crunch", path("in.wav"), path("out.wav")}, kAmp);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Audio audio = readAudio(path("out.wav"));
    ASSERT_EQ(audio.info.channels, 2);
    for (sf_count_t i = 0; i < audio.info.frames; ++i)
        ASSERT_EQ(audio.at(i, 0), audio.at(i, 1)) << "frame " << i;
    EXPECT_TRUE(audio.allFinite());
}

TEST_F(RenderTest, AmplifierBankChunkRoundTrips)
{
    if (kAmp == nullptr)
        GTEST_SKIP() << "the plug-in target is not part of this build";
    writeTone(path("in.wav"), 44100, 2, 2000);
    auto result =
        render({"--channel", "overdrive", "--set", "drive2=0.8", "--set", "Power Amp=0.3",
                "--stereo", "--save-chunk", path("bank.chunk"), path("in.wav"), path("a.wav")},
               kAmp);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(fs::file_size(path("bank.chunk")), 3360u);

    // Loading the bank and saving it again gives the same bytes: the state came back.
    result = render({"--chunk", path("bank.chunk"), "--save-chunk", path("again.chunk"),
                     path("in.wav"), path("b.wav")},
                    kAmp);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(slurp(path("again.chunk")), slurp(path("bank.chunk")));
    EXPECT_NE(result.out.find("Overdrive, LowQ, stereo"), std::string::npos) << result.out;
    EXPECT_EQ(readAudio(path("b.wav")).info.channels, 2);
    EXPECT_TRUE(readAudio(path("b.wav")).allFinite());
}

} // namespace
