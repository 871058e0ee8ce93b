// SPDX-License-Identifier: GPL-3.0-or-later
// vorla-render - offline renderer: runs an audio file through the amplifier
// plug-in the way a DAW renders a track.
//
// The plug-in is reached only through its exported entry and the AEffect
// record (tools/hostlib), never linked: what this tool hears is what a host
// hears.  Host sequence: create, effOpen, effSetSampleRate (file rate),
// effSetBlockSize, settings, effMainsChanged 1, processReplacing in blocks of
// the chosen size (the last one shorter), effMainsChanged 0, effClose.
//
// Settings are applied in a fixed order: --chunk, --program, --channel,
// --quality, --stereo, then every --set in the order given.  The later ones
// win: a --set Channel=... after --channel decides the channel.

#include "cli/user_folders.h"
#include "hostlib/plugin_host.h"
#include "render_options.h"
#include "rig/cabinet_catalog.h"
#include "rig/rig.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace vorla::render;
using vorla::host::HostCall;
using vorla::host::PluginInstance;
using vorla::host::PluginLibrary;

namespace {

/// CPU time the calling thread has used, in seconds.
double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr int kBankChunkSize = 3360;  // ten 336-byte program records
constexpr int kPresetChunkSize = 336; // one program record
constexpr intptr_t kProcessLevelOffline = 4;

/// Any failure: one line for the user, exit status 1.
struct RenderError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

struct SndFileCloser
{
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

std::string defaultPluginPath()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "vorla.so";
    return (self.parent_path() / "vorla.so").string();
}

std::string decibels(double linear)
{
    if (!(linear > 0.0))
        return "  -inf";
    char text[32];
    std::snprintf(text, sizeof text, "%6.2f", 20.0 * std::log10(linear));
    return text;
}

/// Peak and RMS of everything that passes through.
struct Levels
{
    double peak = 0.0;
    double sumSquares = 0.0;
    int64_t count = 0;

    void add(float sample)
    {
        const double value = sample;
        peak = std::max(peak, std::fabs(value));
        sumSquares += value * value;
        ++count;
    }
    double rms() const { return count > 0 ? std::sqrt(sumSquares / double(count)) : 0.0; }
    std::string text() const
    {
        return "peak " + decibels(peak) + " dBFS, RMS " + decibels(rms()) + " dBFS";
    }
};

std::vector<char> readChunkFile(const std::string& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        throw RenderError("cannot read chunk file '" + path + "': no such file");
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw RenderError("cannot read chunk file '" + path + "'");
    if (bytes.size() != kBankChunkSize && bytes.size() != kPresetChunkSize)
        throw RenderError("chunk file '" + path + "' is " + std::to_string(bytes.size()) +
                          " bytes; expected " + std::to_string(kBankChunkSize) + " (bank) or " +
                          std::to_string(kPresetChunkSize) + " (preset)");
    return bytes;
}

/// The plug-in's parameter names (effGetParamName), used to resolve --set.
class ParameterNames
{
public:
    explicit ParameterNames(PluginInstance& plugin)
    {
        const int count = std::max(0, plugin.effect()->numParams);
        for (int index = 0; index < count; ++index)
        {
            char text[256] = {};
            plugin.dispatch(effGetParamName, index, 0, text);
            text[sizeof text - 1] = '\0';
            names_.emplace_back(text);
        }
    }

    /// The parameter a --set name stands for; -1 when unknown.
    int find(const std::string& nameOrIndex) const
    {
        return vorla::cli::findParameter(names_, nameOrIndex);
    }

    /// Index of a parameter the renderer itself needs, or an error.
    int require(const std::string& name) const
    {
        const int index = find(name);
        if (index < 0)
            throw RenderError("the plug-in has no parameter named '" + name + "'");
        return index;
    }

    std::string list() const { return vorla::cli::parameterList(names_); }

private:
    std::vector<std::string> names_;
};

int outputFormatCode(const std::string& path, std::optional<SampleFormat>& format)
{
    const std::string extension = lowered(fs::path(path).extension().string());
    int container = SF_FORMAT_WAV;
    if (extension == ".flac")
    {
        container = SF_FORMAT_FLAC;
        if (!format)
            format = SampleFormat::Pcm24;
        if (*format == SampleFormat::Float)
            throw RenderError("FLAC cannot hold float samples; use --format pcm16 or pcm24 for '" +
                              path + "'");
    }
    else if (extension == ".aif" || extension == ".aiff")
        container = SF_FORMAT_AIFF;
    if (!format)
        format = SampleFormat::Float;
    switch (*format)
    {
    case SampleFormat::Pcm16: return container | SF_FORMAT_PCM_16;
    case SampleFormat::Pcm24: return container | SF_FORMAT_PCM_24;
    case SampleFormat::Float: break;
    }
    return container | SF_FORMAT_FLOAT;
}

const char* formatName(SampleFormat format)
{
    switch (format)
    {
    case SampleFormat::Pcm16: return "PCM 16";
    case SampleFormat::Pcm24: return "PCM 24";
    case SampleFormat::Float: break;
    }
    return "float32";
}

/// Percent on stderr, updated in place; only on a terminal and only once the
/// render has taken long enough for it to matter.
class Progress
{
public:
    Progress(bool enabled, int64_t totalFrames) : enabled_(enabled), total_(totalFrames) {}
    ~Progress() { finish(); }

    void update(int64_t done)
    {
        if (!enabled_ || total_ <= 0)
            return;
        if (!shown_ && std::chrono::steady_clock::now() - start_ < std::chrono::milliseconds(200))
            return;
        const int percent = int(std::min<int64_t>(100, done * 100 / total_));
        if (percent == lastPercent_)
            return;
        lastPercent_ = percent;
        shown_ = true;
        std::fprintf(stderr, "\rvorla-render: rendering %3d%%", percent);
        std::fflush(stderr);
    }

    void finish()
    {
        if (shown_)
            std::fprintf(stderr, "\r\033[K");
        shown_ = false;
    }

private:
    bool enabled_;
    int64_t total_;
    int lastPercent_ = -1;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

int render(Options options)
{
    // --- Input ----------------------------------------------------------
    std::error_code ec;
    if (!fs::exists(options.input, ec))
        throw RenderError("cannot read input '" + options.input + "': no such file");
    if (fs::is_directory(options.input, ec))
        throw RenderError("cannot read input '" + options.input + "': it is a directory");
    SF_INFO inInfo{};
    SndFilePtr input(sf_open(options.input.c_str(), SFM_READ, &inInfo));
    if (!input)
        throw RenderError("cannot read input '" + options.input + "': " + sf_strerror(nullptr));
    if (inInfo.channels < 1 || inInfo.channels > 2)
        throw RenderError("input '" + options.input + "' has " + std::to_string(inInfo.channels) +
                          " channels; vorla-render takes mono or stereo input");
    if (inInfo.samplerate <= 0)
        throw RenderError("input '" + options.input + "' has no usable sample rate");
    if (fs::exists(options.output, ec) && fs::equivalent(options.input, options.output, ec))
        throw RenderError("output '" + options.output + "' is the input file; choose another name");
    const int outFormat = outputFormatCode(options.output, options.format);

    std::vector<char> chunk;
    if (!options.amp.chunkFile.empty())
        chunk = readChunkFile(options.amp.chunkFile);

    const double rate = inInfo.samplerate;
    const int block = options.blockSize;

    // --- Plug-in ----------------------------------------------------------
    const std::string pluginPath =
        options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
    std::string error;
    auto library = PluginLibrary::open(pluginPath, error);
    if (!library)
        throw RenderError(error);
    // Answers of an offline host: our rate and block size, offline process level.
    auto hostAnswer = [rate, block](const HostCall& call) -> intptr_t {
        switch (call.opcode)
        {
        case audioMasterGetSampleRate: return intptr_t(rate);
        case audioMasterGetBlockSize: return block;
        case audioMasterGetCurrentProcessLevel: return kProcessLevelOffline;
        default: return PluginInstance::defaultAnswer(call);
        }
    };
    auto plugin = PluginInstance::create(*library, hostAnswer, &error);
    if (!plugin)
        throw RenderError(error);
    AEffect* effect = plugin->effect();
    if (effect->processReplacing == nullptr)
        throw RenderError("plug-in '" + pluginPath + "' has no processReplacing");

    plugin->dispatch(effOpen);
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, float(rate));
    plugin->dispatch(effSetBlockSize, 0, block);

    // --- Settings, in their fixed order -----------------------------------
    const ParameterNames names(*plugin);
    if (!chunk.empty())
    {
        const bool preset = chunk.size() == kPresetChunkSize;
        if (plugin->dispatch(effSetChunk, preset ? 1 : 0, intptr_t(chunk.size()), chunk.data()) ==
            0)
            throw RenderError("the plug-in refused the " + std::string(preset ? "preset" : "bank") +
                              " chunk '" + options.amp.chunkFile + "'");
    }
    if (options.amp.program)
    {
        if (*options.amp.program >= effect->numPrograms)
            throw RenderError("--program " + std::to_string(*options.amp.program) +
                              ": the plug-in has " + std::to_string(effect->numPrograms) +
                              " programs");
        plugin->dispatch(effSetProgram, 0, *options.amp.program);
    }
    const int channelIndex = names.require("Channel");
    const int crunchIndex = names.require("Clean/Crunch");
    const int stereoIndex = names.require("Mono/Stereo");
    const int qualityIndex = names.require("LowQ/HighQ");
    if (options.amp.voicing)
    {
        // Clean/Crunch first: on the Overdrive channel it changes only the
        // flag, and the Channel write that follows recalls the knob memory of
        // the voicing that is then selected.
        switch (*options.amp.voicing)
        {
        case Voicing::Clean:
            plugin->setParameter(crunchIndex, 0.0f);
            plugin->setParameter(channelIndex, 0.0f);
            break;
        case Voicing::Crunch:
            plugin->setParameter(crunchIndex, 1.0f);
            plugin->setParameter(channelIndex, 0.0f);
            break;
        case Voicing::Overdrive: plugin->setParameter(channelIndex, 1.0f); break;
        }
    }
    if (options.amp.highQuality)
        plugin->setParameter(qualityIndex, *options.amp.highQuality ? 1.0f : 0.0f);
    if (options.amp.stereo)
        plugin->setParameter(stereoIndex, 1.0f);
    for (const ParameterSetting& setting : options.amp.settings)
    {
        const int index = names.find(setting.name);
        if (index < 0)
            throw RenderError("unknown parameter '" + setting.name +
                              "'; the plug-in has: " + names.list());
        plugin->setParameter(index, setting.value);
    }

    // What the plug-in now runs, read back the way a host reads it.
    const bool overdrive = plugin->getParameter(channelIndex) >= 0.5f;
    const bool crunch = plugin->getParameter(crunchIndex) >= 0.5f;
    const bool highQuality = plugin->getParameter(qualityIndex) >= 0.5f;
    const bool stereoMode = plugin->getParameter(stereoIndex) >= 0.5f;
    const char* voicingName = overdrive ? "Overdrive" : crunch ? "Crunch" : "Clean";
    const int oversampling = (rate < 50000.0 ? 4 : 2) * (highQuality ? 2 : 1);
    const int program = int(plugin->dispatch(effGetProgram));

    // --- Gate and cabinet: the same code as vorla-live's ------------------
    // The cabinet runs in its buffered form (blocks of any length), which
    // delays it by its latency: that many more frames are processed at the
    // end and as many dropped at the start, so the output stays aligned.
    auto rig = std::make_unique<vorla::Rig>();
    const int span = block * std::max(1, 16384 / block);
    rig->prepare(rate, span);
    const bool gateOn = options.rig.gateOn.value_or(false);
    rig->setGate(gateOn, options.rig.gateDb.value_or(-60.0f));
    std::string cabinetName;
    if (options.rig.cab && !options.rig.cab->empty())
    {
        vorla::CabinetChoice choice;
        std::string reason;
        if (!vorla::findCabinet(*options.rig.cab, vorla::cli::cabinetFolder(), choice, reason))
            throw RenderError(reason);
        auto engine =
            vorla::buildCabinet(choice, rate, vorla::ConvolutionEngine::kAnyBlocks, reason);
        if (!engine)
            throw RenderError(reason);
        rig->cabinet().install(std::move(engine), true);
        cabinetName = choice.name;
    }
    const int64_t cabinetLatency = cabinetName.empty() ? 0 : rig->cabinet().latency();

    if (!options.saveChunkFile.empty())
    {
        void* data = nullptr;
        const intptr_t size = plugin->dispatch(effGetChunk, 0, 0, &data);
        if (size <= 0 || data == nullptr)
            throw RenderError("the plug-in gave no bank chunk to save");
        std::ofstream out(options.saveChunkFile, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), std::streamsize(size));
        out.close();
        if (!out)
            throw RenderError("cannot write chunk file '" + options.saveChunkFile + "'");
    }

    // --- Output -----------------------------------------------------------
    const int outChannels = (inInfo.channels == 2 || stereoMode) ? 2 : 1;
    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = outChannels;
    outInfo.format = outFormat;
    if (!sf_format_check(&outInfo))
        throw RenderError("cannot write output '" + options.output +
                          "': libsndfile does not support this format and rate");
    SndFilePtr output(sf_open(options.output.c_str(), SFM_WRITE, &outInfo));
    if (!output)
        throw RenderError("cannot write output '" + options.output + "': " + sf_strerror(nullptr));
    // A render that fails after this point leaves no truncated file behind.
    struct RemoveUnlessKept
    {
        std::string path;
        bool keep = false;
        ~RemoveUnlessKept()
        {
            std::error_code ignored;
            if (!keep && fs::is_regular_file(fs::symlink_status(path, ignored)))
                fs::remove(path, ignored);
        }
    } outputFile{options.output};
    const bool pcm = *options.format != SampleFormat::Float;
    if (pcm) // saturate instead of wrapping around when a sample exceeds full scale
        sf_command(output.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

    // --- Processing -------------------------------------------------------
    const int pluginInputs = std::max(2, effect->numInputs);
    const int pluginOutputs = std::max(2, effect->numOutputs);
    // File I/O runs in spans of whole blocks (at least 16384 frames, `span`
    // above) so that a small host block does not turn into one read and one
    // write per block.
    const std::vector<float> silentBlock(static_cast<size_t>(span), 0.0f);
    std::vector<std::vector<float>> inBuffers(static_cast<size_t>(pluginInputs), silentBlock);
    std::vector<std::vector<float>> outBuffers(static_cast<size_t>(pluginOutputs), silentBlock);
    std::vector<float*> inPointers(inBuffers.size()), outPointers(outBuffers.size());
    std::vector<float> interleavedIn(size_t(span) * size_t(inInfo.channels));
    std::vector<float> interleavedOut(size_t(span) * size_t(outChannels));

    const int64_t tailFrames = std::llround(options.tailSeconds * rate);
    // What runs after the input: the tail asked for, and the cabinet's latency.
    const int64_t silentFrames = tailFrames + cabinetLatency;
    int64_t framesToDrop = cabinetLatency;
    Progress progress(!options.quiet && isatty(STDERR_FILENO), int64_t(inInfo.frames) + tailFrames);
    Levels inLevels, outLevels;
    int64_t inputFrames = 0, tailDone = 0, written = 0, nonFinite = 0, overFullScale = 0;
    // The processing's CPU time: on a shared machine the time another
    // process holds the core would otherwise count as ours.  Taken around
    // each file span's blocks, so the clock is read rarely.
    double processSeconds = 0.0;
    bool inputEnded = false;

    plugin->dispatch(effMainsChanged, 0, 1);
    while (true)
    {
        int frames = 0;
        if (!inputEnded)
        {
            frames = int(sf_readf_float(input.get(), interleavedIn.data(), span));
            if (frames < span)
                inputEnded = true;
            if (sf_error(input.get()) != SF_ERR_NO_ERROR)
            {
                plugin->dispatch(effMainsChanged, 0, 0);
                throw RenderError("cannot read input '" + options.input +
                                  "': " + sf_strerror(input.get()));
            }
            for (int i = 0; i < frames; ++i)
            {
                const float left = interleavedIn[size_t(i * inInfo.channels)];
                const float right = inInfo.channels == 2 ? interleavedIn[size_t(i * 2 + 1)] : left;
                inBuffers[0][size_t(i)] = left;
                inBuffers[1][size_t(i)] = right;
                inLevels.add(left);
                if (inInfo.channels == 2)
                    inLevels.add(right);
            }
            inputFrames += frames;
        }
        if (frames < span && tailDone < silentFrames)
        {
            // The amplifier rings out on silence.
            const int silent = int(std::min<int64_t>(span - frames, silentFrames - tailDone));
            for (int i = frames; i < frames + silent; ++i)
                inBuffers[0][size_t(i)] = inBuffers[1][size_t(i)] = 0.0f;
            frames += silent;
            tailDone += silent;
        }
        if (frames == 0)
            break;

        // Host blocks of `block` frames; only the very last one of the file is shorter.
        const double started = threadCpuSeconds();
        for (int offset = 0; offset < frames; offset += block)
        {
            for (size_t c = 0; c < inBuffers.size(); ++c)
                inPointers[c] = inBuffers[c].data() + offset;
            for (size_t c = 0; c < outBuffers.size(); ++c)
                outPointers[c] = outBuffers[c].data() + offset;
            const int count = std::min(block, frames - offset);
            rig->gate(inPointers.data(), stereoMode ? 2 : 1, count);
            plugin->processReplacing(inPointers.data(), outPointers.data(), count);
            if (!cabinetName.empty())
                rig->cabinet().process(outPointers.data(), count);
        }
        processSeconds += threadCpuSeconds() - started;

        // The first frames of a cabinet's output are its latency.
        const int dropped = int(std::min<int64_t>(framesToDrop, frames));
        framesToDrop -= dropped;
        const int kept = frames - dropped;
        for (int i = 0; i < kept; ++i)
            for (int c = 0; c < outChannels; ++c)
            {
                float sample = outBuffers[size_t(c)][size_t(i + dropped)];
                if (!std::isfinite(sample))
                {
                    ++nonFinite;
                    sample = 0.0f;
                }
                if (std::fabs(sample) > 1.0f)
                    ++overFullScale;
                outLevels.add(sample);
                interleavedOut[size_t(i * outChannels + c)] = sample;
            }
        if (sf_writef_float(output.get(), interleavedOut.data(), kept) != kept)
        {
            plugin->dispatch(effMainsChanged, 0, 0);
            throw RenderError("cannot write output '" + options.output +
                              "': " + sf_strerror(output.get()));
        }
        written += kept;
        progress.update(written);
    }
    plugin->dispatch(effMainsChanged, 0, 0);
    progress.finish();
    plugin->close();
    if (sf_close(output.release()) != 0)
        throw RenderError("cannot finish output '" + options.output + "'");
    outputFile.keep = true;

    // --- Summary ------------------------------------------------------------
    const double seconds = double(written) / rate;
    const double cpuSeconds = processSeconds;
    if (!options.quiet)
    {
        std::printf("vorla-render: %s -> %s\n", options.input.c_str(), options.output.c_str());
        std::printf("  input    %d Hz, %s, %.3f s, %s\n", inInfo.samplerate,
                    inInfo.channels == 2 ? "stereo" : "mono", double(inputFrames) / rate,
                    inLevels.text().c_str());
        char tail[48] = "";
        if (tailFrames > 0)
            std::snprintf(tail, sizeof tail, ", %.3f s tail", double(tailFrames) / rate);
        std::printf("  output   %d Hz, %s, %.3f s, %s (%s%s)\n", inInfo.samplerate,
                    outChannels == 2 ? "stereo" : "mono", seconds, outLevels.text().c_str(),
                    formatName(*options.format), tail);
        std::printf("  amp      %s, %s, %s, program %d, oversampling %dx (%.0f Hz)\n", voicingName,
                    highQuality ? "HighQ" : "LowQ", stereoMode ? "stereo" : "mono", program,
                    oversampling, rate * oversampling);
        if (gateOn || !cabinetName.empty())
        {
            char gateText[32] = "off";
            if (gateOn)
                std::snprintf(gateText, sizeof gateText, "%.1f dBFS", double(rig->gateThreshold()));
            std::printf("  rig      gate %s, cabinet %s\n", gateText,
                        cabinetName.empty() ? "off" : cabinetName.c_str());
        }
        if (cpuSeconds > 0.0)
            std::printf("  speed    %.*fx real time (%.3f CPU s in processReplacing for %.3f s of "
                        "audio, block %d)\n",
                        seconds / cpuSeconds < 100.0 ? 1 : 0, seconds / cpuSeconds, cpuSeconds,
                        seconds, block);
        if (inInfo.channels == 2 && !stereoMode)
            std::printf("  note     mono mode: the amplifier ran on the left input only and "
                        "copied it to both outputs (use --stereo)\n");
        if (pcm && overFullScale > 0)
            std::printf("  note     %lld samples above full scale were clipped by the %s output\n",
                        static_cast<long long>(overFullScale), formatName(*options.format));
    }
    if (nonFinite > 0)
        throw RenderError("the plug-in produced " + std::to_string(nonFinite) +
                          " non-finite output samples (written as 0 to '" + options.output + "')");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error))
    {
        std::fprintf(stderr, "vorla-render: %s\n", error.c_str());
        return 1;
    }
    if (options.help)
    {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    try
    {
        return render(std::move(options));
    }
    catch (const RenderError& failure)
    {
        std::fflush(stdout);
        std::fprintf(stderr, "vorla-render: %s\n", failure.what());
    }
    catch (const std::exception& failure)
    {
        std::fflush(stdout);
        std::fprintf(stderr, "vorla-render: unexpected failure: %s\n", failure.what());
    }
    return 1;
}
