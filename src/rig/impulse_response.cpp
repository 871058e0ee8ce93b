// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig/impulse_response.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace vorla {

namespace {

struct SndFileCloser
{
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

/// Reads every frame of an open file into `response`.
bool readOpenFile(SNDFILE* file, const SF_INFO& info, const std::string& name,
                  ImpulseResponse& response, std::string& error)
{
    if (info.channels < 1 || info.channels > 2)
    {
        error = "cabinet '" + name + "' has " + std::to_string(info.channels) +
                " channels; a cabinet response is mono or stereo";
        return false;
    }
    if (info.samplerate <= 0 || info.frames <= 0)
    {
        error = "cabinet '" + name + "' holds no audio";
        return false;
    }
    // Anything far longer than a cabinet is not one; reading it would only cost.
    const sf_count_t limit = static_cast<sf_count_t>(info.samplerate) * 10;
    const sf_count_t frames = std::min(info.frames, limit);
    std::vector<float> interleaved(static_cast<std::size_t>(frames * info.channels));
    const sf_count_t got = sf_readf_float(file, interleaved.data(), frames);
    if (got <= 0)
    {
        error = "cannot read cabinet '" + name + "': " + sf_strerror(file);
        return false;
    }
    response.rate = info.samplerate;
    response.channels.assign(static_cast<std::size_t>(info.channels),
                             std::vector<float>(static_cast<std::size_t>(got)));
    double energy = 0.0;
    for (sf_count_t i = 0; i < got; ++i)
        for (int c = 0; c < info.channels; ++c)
        {
            const float value = interleaved[static_cast<std::size_t>(i * info.channels + c)];
            if (!std::isfinite(value))
            {
                error = "cabinet '" + name + "' holds samples that are not numbers";
                return false;
            }
            response.channels[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] = value;
            energy += double(value) * value;
        }
    if (!(energy > 1e-20))
    {
        error = "cabinet '" + name + "' holds only silence";
        return false;
    }
    return true;
}

/// A read-only libsndfile stream over bytes in memory.
struct MemoryStream
{
    const uint8_t* data;
    sf_count_t size;
    sf_count_t position;
};

sf_count_t memoryLength(void* user)
{
    return static_cast<MemoryStream*>(user)->size;
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user)
{
    auto* stream = static_cast<MemoryStream*>(user);
    sf_count_t target = offset;
    if (whence == SEEK_CUR)
        target += stream->position;
    else if (whence == SEEK_END)
        target += stream->size;
    stream->position = std::clamp<sf_count_t>(target, 0, stream->size);
    return stream->position;
}

sf_count_t memoryRead(void* buffer, sf_count_t count, void* user)
{
    auto* stream = static_cast<MemoryStream*>(user);
    const sf_count_t n = std::clamp<sf_count_t>(stream->size - stream->position, 0, count);
    std::memcpy(buffer, stream->data + stream->position, static_cast<std::size_t>(n));
    stream->position += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t memoryTell(void* user)
{
    return static_cast<MemoryStream*>(user)->position;
}

} // namespace

bool readImpulseFile(const std::string& path, ImpulseResponse& response, std::string& error)
{
    SF_INFO info{};
    SndFilePtr file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file)
    {
        error = "cannot read cabinet '" + path + "': " + sf_strerror(nullptr);
        return false;
    }
    return readOpenFile(file.get(), info, path, response, error);
}

bool readImpulseBytes(const uint8_t* data, std::size_t size, const std::string& name,
                      ImpulseResponse& response, std::string& error)
{
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    MemoryStream stream{data, static_cast<sf_count_t>(size), 0};
    SF_INFO info{};
    SndFilePtr file(sf_open_virtual(&io, SFM_READ, &info, &stream));
    if (!file)
    {
        error = "cannot read cabinet '" + name + "': " + sf_strerror(nullptr);
        return false;
    }
    return readOpenFile(file.get(), info, name, response, error);
}

double guitarBandPower(const ImpulseResponse& response)
{
    constexpr int kPoints = 96;
    if (response.channels.empty() || !(response.rate > 0.0))
        return 0.0;
    const double octaves = std::log2(kLevelBandHigh / kLevelBandLow);
    double sum = 0.0;
    for (const std::vector<float>& channel : response.channels)
        for (int k = 0; k < kPoints; ++k)
        {
            const double f = kLevelBandLow * std::exp2(octaves * (k + 0.5) / kPoints);
            // H(f) = sum x[n] e^(-j w n), the rotation advanced by recurrence.
            const double w = 2.0 * M_PI * f / response.rate;
            const double c = std::cos(w), s = std::sin(w);
            double re = 0.0, im = 0.0, rotRe = 1.0, rotIm = 0.0;
            for (std::size_t n = 0; n < channel.size(); ++n)
            {
                re += channel[n] * rotRe;
                im -= channel[n] * rotIm;
                const double nextRe = rotRe * c - rotIm * s;
                rotIm = rotRe * s + rotIm * c;
                rotRe = nextRe;
            }
            sum += re * re + im * im;
        }
    return sum / (double(kPoints) * double(response.channels.size()));
}

bool prepareImpulse(const ImpulseResponse& source, double rate, ImpulseResponse& prepared,
                    std::string& error)
{
    if (!(rate >= 4000.0 && rate <= 768000.0) || source.length() == 0 || !(source.rate > 0.0))
    {
        error = "cannot prepare a cabinet for a rate of " + std::to_string(rate) + " Hz";
        return false;
    }
    ImpulseResponse result;
    result.rate = rate;
    const double ratio = rate / source.rate;
    for (const std::vector<float>& channel : source.channels)
    {
        if (source.rate == rate)
        {
            result.channels.push_back(channel);
            continue;
        }
        std::vector<float> out(static_cast<std::size_t>(std::ceil(channel.size() * ratio)) + 64);
        SRC_DATA data{};
        data.data_in = channel.data();
        data.input_frames = static_cast<long>(channel.size());
        data.data_out = out.data();
        data.output_frames = static_cast<long>(out.size());
        data.src_ratio = ratio;
        const int failure = src_simple(&data, SRC_SINC_BEST_QUALITY, 1);
        if (failure != 0)
        {
            error = std::string("cannot resample the cabinet: ") + src_strerror(failure);
            return false;
        }
        out.resize(static_cast<std::size_t>(data.output_frames_gen));
        result.channels.push_back(std::move(out));
    }

    // A tail that holds less than -90 dB of the response's energy plays no
    // part (and costs convolution): it goes, with a 1 ms fade.
    {
        const std::size_t length = result.length();
        double total = 0.0;
        for (const std::vector<float>& channel : result.channels)
            for (float v : channel)
                total += double(v) * v;
        double tail = 0.0;
        std::size_t end = length;
        while (end > 1)
        {
            double sample = 0.0;
            for (const std::vector<float>& channel : result.channels)
                sample += double(channel[end - 1]) * channel[end - 1];
            if (tail + sample > total * 1e-9)
                break;
            tail += sample;
            --end;
        }
        if (end < length)
        {
            const std::size_t fade = std::min(end, static_cast<std::size_t>(0.001 * rate));
            for (std::vector<float>& channel : result.channels)
            {
                channel.resize(end);
                for (std::size_t i = 0; i < fade; ++i)
                    channel[end - 1 - i] *= float(i + 1) / float(fade + 1);
            }
        }
    }

    // Cut what lies beyond the cabinet, fading the last 5 ms.
    const std::size_t maxLength = static_cast<std::size_t>(kMaxImpulseSeconds * rate);
    if (result.length() > maxLength)
    {
        const std::size_t fade = static_cast<std::size_t>(0.005 * rate);
        for (std::vector<float>& channel : result.channels)
        {
            channel.resize(maxLength);
            for (std::size_t i = 0; i < fade; ++i)
                channel[maxLength - 1 - i] *= float(i) / float(fade);
        }
    }

    const double power = guitarBandPower(result);
    if (!(power > 1e-12) || !std::isfinite(power))
    {
        error = "the cabinet passes nothing between 80 Hz and 5 kHz";
        return false;
    }
    const float gain = static_cast<float>(1.0 / std::sqrt(power));
    for (std::vector<float>& channel : result.channels)
        for (float& value : channel)
            value *= gain;
    prepared = std::move(result);
    return true;
}

} // namespace vorla
