// SPDX-License-Identifier: GPL-3.0-or-later
// vorla-make-demo - synthesises the demo DI guitar clip.
//
// A short rock riff (power chords, a single-note lick and a ringing open E
// minor chord), eight seconds at 44100 Hz, mono, as an electric guitar sounds
// straight out of its jack: no amp, no cabinet.  Usage:
//
//     vorla-make-demo OUTPUT.wav
//
// The model, per note, is the extended Karplus-Strong plucked string:
//
//   excitation  a burst of noise one period long, darkened by a one-pole
//               low-pass for softer picking, with a pick-position comb
//               (x[n] - x[n - beta*N]) that notches the harmonics of the
//               point where the pick strikes;
//   string      a delay line of the period, a two-point weighted average (the
//               string's frequency-dependent loss, 0.3 samples of delay), a loss
//               gain from the decay time T60 (g = 10^(-3 / (T60 f0)) per
//               period) and a first-order all-pass that supplies the
//               fractional part of the period so every note is in tune;
//   fretting    at the note's end the loss gain drops (the finger lifts and
//               damps the string within ~70 ms), except for the last chord,
//               which rings;
//   pickup      a magnetic pickup near the bridge senses the string at one
//               point: a comb y[n] - y[n - p*N] with p = 0.11; the sum of the
//               strings then passes the pickup's resonance with the cable
//               capacitance (a 2nd-order low-pass at 3.2 kHz, Q 1.5) and a
//               40 Hz high-pass for the DC of the noise bursts.
//
// The mix is scaled to a peak of -6 dBFS (a healthy DI level), the last half
// second fades out, and the file is written as 24-bit PCM WAV.
//
// The result is bit-reproducible: the noise comes from a fixed-seed xorshift
// generator, notes are placed on whole samples, and the per-sample loops use
// only additions and multiplications (libm runs only in the designs).

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kSampleRate = 44100;
constexpr double kLengthSeconds = 8.0;
constexpr double kPeak = 0.50118723362727224; // -6 dBFS
constexpr double kFadeSeconds = 0.5;
constexpr double kPi = 3.14159265358979323846;
// Weight of the previous sample in the string's loss filter (1-S) x[n] + S x[n-1]:
// 0.5 is the classic average; a lighter 0.3 lets the upper harmonics of a
// steel string ring longer.  Its delay is S samples.
constexpr double kLoss = 0.3;

/// Deterministic white noise in -1..1 (xorshift32 with a fixed seed).
class Noise
{
public:
    double next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return double(state_) / 2147483647.5 - 1.0;
    }

private:
    uint32_t state_ = 0x5EED1234u;
};

struct Note
{
    double start;     // seconds
    double length;    // seconds until the fretting hand damps it; <= 0 lets it ring
    double frequency; // hertz
    double velocity;  // 0..1
    double t60;       // decay time while held, seconds
};

/// Renders one plucked string into `mix`, starting at its sample position.
void renderString(const Note& note, Noise& noise, std::vector<double>& mix)
{
    const double fs = kSampleRate;
    const double period = fs / note.frequency;

    // Loop delay = line length + kLoss (averager) + d (all-pass at low frequencies).
    double line = period - kLoss;
    int length = int(std::floor(line));
    double fraction = line - length;
    if (fraction < 0.1)
    {
        length -= 1;
        fraction += 1.0;
    }
    const double allpass = (1.0 - fraction) / (1.0 + fraction);
    const double heldGain = std::pow(10.0, -3.0 / (note.t60 * note.frequency));
    const double dampedGain = std::pow(10.0, -3.0 / (0.07 * note.frequency));

    // Excitation: noise, softened for soft picking, then the pick-position comb.
    std::vector<double> delay(size_t(length), 0.0);
    const double brightness = 0.06 + 0.25 * note.velocity; // one-pole low-pass coefficient
    double smoothed = 0.0;
    for (double& sample : delay)
    {
        smoothed += brightness * (noise.next() - smoothed);
        sample = smoothed;
    }
    const int pickOffset = std::max(1, int(std::lround(0.13 * length)));
    std::vector<double> excitation(delay);
    for (int i = 0; i < length; ++i)
        delay[size_t(i)] =
            excitation[size_t(i)] - (i >= pickOffset ? excitation[size_t(i - pickOffset)] : 0.0);
    for (double& sample : delay)
        sample *= note.velocity;

    // Pickup comb history.
    const int pickupOffset = std::max(1, int(std::lround(0.11 * period)));
    std::vector<double> history(size_t(pickupOffset), 0.0);
    int historyIndex = 0;

    const int64_t first = std::llround(note.start * fs);
    const int64_t end = int64_t(mix.size());
    const int64_t release = note.length > 0.0 ? first + std::llround(note.length * fs) : end;
    // A damped string has died away (far below 24-bit resolution) 0.4 s after release.
    const int64_t last = std::min(end, release + int64_t(kSampleRate) * 4 / 10);
    int index = 0;
    double previous = 0.0, allpassIn = 0.0, allpassOut = 0.0;
    for (int64_t n = first; n < last; ++n)
    {
        const double gain = n < release ? heldGain : dampedGain;
        const double out = delay[size_t(index)];
        const double averaged = gain * ((1.0 - kLoss) * out + kLoss * previous);
        previous = out;
        const double tuned = allpass * averaged + allpassIn - allpass * allpassOut;
        allpassIn = averaged;
        allpassOut = tuned;
        delay[size_t(index)] = tuned;
        if (++index == length)
            index = 0;

        const double sensed = out - history[size_t(historyIndex)];
        history[size_t(historyIndex)] = out;
        if (++historyIndex == pickupOffset)
            historyIndex = 0;
        mix[size_t(n)] += sensed;
    }
}

/// RBJ biquad, direct form I, coefficients normalised by a0.
struct Biquad
{
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    static Biquad lowpass(double frequency, double q)
    {
        const double w = 2.0 * kPi * frequency / kSampleRate;
        const double alpha = std::sin(w) / (2.0 * q), c = std::cos(w), a0 = 1.0 + alpha;
        return {(1.0 - c) / 2.0 / a0, (1.0 - c) / a0, (1.0 - c) / 2.0 / a0, -2.0 * c / a0,
                (1.0 - alpha) / a0};
    }
    static Biquad highpass(double frequency, double q)
    {
        const double w = 2.0 * kPi * frequency / kSampleRate;
        const double alpha = std::sin(w) / (2.0 * q), c = std::cos(w), a0 = 1.0 + alpha;
        return {(1.0 + c) / 2.0 / a0, -(1.0 + c) / a0, (1.0 + c) / 2.0 / a0, -2.0 * c / a0,
                (1.0 - alpha) / a0};
    }
    double process(double x)
    {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Standard tuning, the notes the riff uses.
constexpr double E2 = 82.4069, G2 = 97.9989, A2 = 110.0, B2 = 123.4708, C3 = 130.8128,
                 D3 = 146.8324, E3 = 164.8138, G3 = 195.9977, A3 = 220.0, B3 = 246.9417,
                 C4 = 261.6256, D4 = 293.6648, E4 = 329.6276, G4 = 391.9954, A4 = 440.0,
                 B4 = 493.8833;

/// Adds a strummed chord: strings struck low to high, 12 ms apart (downstroke).
void strum(std::vector<Note>& notes, double start, double length,
           std::initializer_list<double> strings, double velocity, double t60)
{
    double offset = 0.0;
    double accent = 1.0;
    for (double frequency : strings)
    {
        notes.push_back({start + offset, length > 0.0 ? length - offset : 0.0, frequency,
                         velocity * accent, t60});
        offset += 0.012;
        accent *= 0.93; // the pick loses a little energy string by string
    }
}

std::vector<Note> riff()
{
    // 120 beats per minute: an eighth note is 0.25 s.
    std::vector<Note> notes;
    const double palm = 0.35, held = 2.5;
    strum(notes, 0.00, 0.48, {E2, B2, E3}, 0.95, held);
    strum(notes, 0.50, 0.22, {E2, B2, E3}, 0.60, palm);
    strum(notes, 0.75, 0.48, {G2, D3, G3}, 0.90, held);
    strum(notes, 1.25, 0.72, {A2, E3, A3}, 0.95, held);
    strum(notes, 2.00, 0.48, {E2, B2, E3}, 0.95, held);
    strum(notes, 2.50, 0.22, {E2, B2, E3}, 0.60, palm);
    strum(notes, 2.75, 0.22, {D3, A3, D4}, 0.85, held);
    strum(notes, 3.00, 0.48, {C3, G3, C4}, 0.90, held);
    // Single-note lick up the E minor pentatonic.
    notes.push_back({3.50, 0.24, E4, 0.80, held});
    notes.push_back({3.75, 0.24, G4, 0.75, held});
    notes.push_back({4.00, 0.24, A4, 0.80, held});
    notes.push_back({4.25, 0.48, B4, 0.90, 3.0});
    notes.push_back({4.75, 0.24, A4, 0.70, held});
    // Open E minor, all six strings, left to ring.
    strum(notes, 5.00, 0.0, {E2, B2, E3, G3, B3, E4}, 1.0, 4.5);
    return notes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]) == "--help")
    {
        std::fprintf(argc == 2 ? stdout : stderr, "Usage: vorla-make-demo OUTPUT.wav\n");
        return argc == 2 ? 0 : 1;
    }
    const std::string path = argv[1];

    std::vector<double> mix(size_t(std::llround(kLengthSeconds * kSampleRate)), 0.0);
    Noise noise;
    for (const Note& note : riff())
        renderString(note, noise, mix);

    Biquad pickup = Biquad::lowpass(3200.0, 1.5);
    Biquad dcBlock = Biquad::highpass(40.0, 0.7071);
    double peak = 0.0;
    for (double& sample : mix)
    {
        sample = dcBlock.process(pickup.process(sample));
        peak = std::max(peak, std::fabs(sample));
    }
    const double scale = peak > 0.0 ? kPeak / peak : 0.0;
    const size_t fade = size_t(kFadeSeconds * kSampleRate);
    std::vector<float> samples(mix.size());
    for (size_t n = 0; n < mix.size(); ++n)
    {
        double value = mix[n] * scale;
        const size_t fromEnd = mix.size() - n;
        if (fromEnd <= fade) // raised-cosine fade to silence
            value *= 0.5 - 0.5 * std::cos(kPi * double(fromEnd - 1) / double(fade));
        samples[n] = float(value);
    }

    std::error_code ec;
    const auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
    {
        std::fprintf(stderr, "vorla-make-demo: cannot write '%s': %s\n", path.c_str(),
                     sf_strerror(nullptr));
        return 1;
    }
    // No dither and no date chunk, so the bytes depend on nothing but this code.
    const sf_count_t written = sf_writef_float(file, samples.data(), sf_count_t(samples.size()));
    const int closed = sf_close(file);
    if (written != sf_count_t(samples.size()) || closed != 0)
    {
        std::fprintf(stderr, "vorla-make-demo: cannot write '%s'\n", path.c_str());
        return 1;
    }
    return 0;
}
