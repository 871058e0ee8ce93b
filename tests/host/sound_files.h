// SPDX-License-Identifier: GPL-3.0-or-later
// Sound files for the tests that drive a program through files: written
// and read back with libsndfile.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <string>
#include <vector>

namespace vorla::test {

/// Writes channels (equal lengths) to `path` in `format` (SF_FORMAT_*).
inline bool writeSound(const std::string& path, const std::vector<std::vector<float>>& channels,
                       int rate, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = int(channels.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    std::vector<float> interleaved(channels[0].size() * channels.size());
    for (std::size_t i = 0; i < channels[0].size(); ++i)
        for (std::size_t c = 0; c < channels.size(); ++c)
            interleaved[i * channels.size() + c] = channels[c][i];
    const sf_count_t frames = sf_count_t(channels[0].size());
    const bool ok = sf_writef_float(file, interleaved.data(), frames) == frames;
    return sf_close(file) == 0 && ok;
}

/// The first channel of a sound file; empty if it cannot be read.
inline std::vector<float> readFirstChannel(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return {};
    std::vector<float> all(std::size_t(info.frames * info.channels));
    const sf_count_t got = sf_readf_float(file, all.data(), info.frames);
    sf_close(file);
    std::vector<float> first(std::size_t(got > 0 ? got : 0));
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = all[i * std::size_t(info.channels)];
    return first;
}

} // namespace vorla::test
