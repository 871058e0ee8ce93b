// SPDX-License-Identifier: GPL-3.0-or-later
// impulse_response.h - a cabinet's impulse response: read from a file (WAV,
// FLAC, AIFF, anything libsndfile reads) or from bytes compiled into the
// program, then prepared for a host rate.
//
// Preparation, off the audio thread:
//  1. resampled to the host rate with libsamplerate's best sinc converter
//     when the file was made at another rate;
//  2. its silent tail dropped (the samples after which less than -90 dB of
//     its energy remains), then cut to kMaxImpulseSeconds (a speaker cabinet
//     rings out in far less; what lies beyond is room, not cabinet), each
//     with a short fade at the cut;
//  3. normalised: scaled so that its power gain, averaged over frequencies
//     spaced evenly in octaves from 80 Hz to 5 kHz (the guitar's band, each
//     octave weighing the same), is 1 (0 dB).  Two responses thus play a
//     guitar about equally loud, whatever their recording level; a stereo
//     response is scaled by one factor for both sides, keeping its balance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorla {

/// The longest response kept, in seconds.
inline constexpr double kMaxImpulseSeconds = 0.2;
/// The guitar band over which responses are levelled, in hertz.
inline constexpr double kLevelBandLow = 80.0;
inline constexpr double kLevelBandHigh = 5000.0;

struct ImpulseResponse
{
    double rate = 0.0;
    /// One channel (mono) or two (left, right), of equal length.
    std::vector<std::vector<float>> channels;

    std::size_t length() const { return channels.empty() ? 0 : channels.front().size(); }
};

/// Reads a response from `path`.  False with a one-line reason in `error`
/// when it cannot be read or is not a usable response (no frames, more than
/// two channels, only silence, not finite).
bool readImpulseFile(const std::string& path, ImpulseResponse& response, std::string& error);
/// The same from a file's bytes in memory (`name` names it in messages).
bool readImpulseBytes(const uint8_t* data, std::size_t size, const std::string& name,
                      ImpulseResponse& response, std::string& error);

/// The response made ready for host rate `rate`: resampled, cut and
/// normalised (see the banner).  False with a reason when `rate` is not
/// usable or the resampler fails.
bool prepareImpulse(const ImpulseResponse& source, double rate, ImpulseResponse& prepared,
                    std::string& error);

/// The mean power gain of `response` over the guitar band (see the banner):
/// the mean of |H(f)|^2 over both channels and 96 frequencies spaced evenly
/// in octaves from kLevelBandLow to kLevelBandHigh.
double guitarBandPower(const ImpulseResponse& response);

} // namespace vorla
