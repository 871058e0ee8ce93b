// The block loop of the amplifier: what the host's audio thread runs.
//
// Per block: first whatever other threads asked of the chain (a redesign for
// a new rate or quality), then a snapshot of the continuous knobs, then the
// block in chunks of host samples (chain/chunk_process.h runs each chunk
// through the oversampled model), and last a check that both sides are still
// alive.
//
// Per host sample and side: a tiny sine is added to keep the signal off zero
// (valve-stage states left at exactly zero or in subnormals cost dearly), the
// sample is raised to the processing rate by one, two or three cascaded
// half-band stages, each pair of consecutive oversampled samples runs through
// the model, the same cascade brings it back down, and the output level is
// applied.
//
// Rounding is part of the sound: the resamplers work in float, the model in
// double, and each formula is evaluated in its written order (no
// reassociation, no contraction; the build forbids both).
#include "chain/chunk_process.h"
#include "dsp/model_constants.h"
#include "plugin/vorla.h"

#include <algorithm>
#include <cmath>

namespace {

using vorla::AmpChannel;
using vorla::BlockSnapshot;
using vorla::ChunkBuffers;
using vorla::PairFlags;

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;

/// Phase step of the anti-denormal sine per unit of samplePeriod: a 1 kHz
/// tone at the processing rate, with the model's 2 pi.
constexpr double kAntiDenormalPhase = vorla::kModelTwoPi * 1000.0;
constexpr double kAntiDenormalLevel = 1e-10;
/// Level from the DC blocker to the output before the Volume knob.
constexpr double kOutputGain = 3.0;
/// Input samples beyond this magnitude enter as silence, like NaN and
/// infinity.  A thousand times full scale (+60 dBFS) is far beyond anything
/// a guitar, a converter or a sane gain structure delivers, and at that level
/// the input stage is already deep in grid current, so nothing audible is
/// lost.  Larger samples would charge the stages' coupling capacitors in
/// proportion to their size, and the charge drains with the logarithm of it:
/// a burst of 1e30 kept the amplifier muted for four seconds, one at this
/// limit is forgotten in about 0.7 s.
constexpr float kInputLimit = 1000.0f;

inline float acceptInput(float sample) noexcept
{
    // The comparison is false for NaN.
    return std::fabs(sample) <= kInputLimit ? sample : 0.0f;
}

/// The model reads every parameter within 0..1, whatever the host stored
/// (values are kept as given, so the host reads back what it wrote).
inline double modelValue(float value) noexcept
{
    return static_cast<double>(std::clamp(value, 0.0f, 1.0f));
}

inline PairFlags readPairFlags(const Vorla& effect) noexcept
{
    PairFlags flags;
    flags.channelOverdrive = effect.channelOverdrive.load(kRelaxed);
    flags.crunchOn = effect.crunchOn.load(kRelaxed);
    flags.boostOn = effect.boostOn.load(kRelaxed);
    flags.brightOn = effect.brightOn.load(kRelaxed);
    return flags;
}

} // namespace

void Vorla::processReplacing(float** inputs, float** outputs, int32_t sampleFrames) noexcept
{
    // No frames (or a negative count): nothing is written.  Tested before
    // forming sampleFrames - 1, which would overflow for the lowest count.
    if (sampleFrames <= 0)
        return;
    int32_t n = sampleFrames - 1;

    // A rate or quality change made on another thread takes effect here,
    // between blocks, so no block runs on a half-made design.  The factor and
    // the rates therefore hold still for the whole block.
    applyPendingChanges();
    const int factor = appliedDesign.factor;
    const double rate = appliedDesign.processRate;
    const double phaseStep = appliedDesign.samplePeriod * kAntiDenormalPhase;

    // The continuous knobs hold still for the block (so the tone stack
    // recomputes at most once per block); switches and Volume are read where
    // they are used.
    BlockSnapshot snapshot;
    snapshot.inputGain = modelValue(parameterValue(kInput));
    snapshot.drive1 = modelValue(parameterValue(kDrive1));
    snapshot.drive2 = modelValue(parameterValue(kDrive2));
    snapshot.low = modelValue(parameterValue(kLow));
    snapshot.mid = modelValue(parameterValue(kMid));
    snapshot.high = modelValue(parameterValue(kHigh));
    snapshot.contour = modelValue(parameterValue(kContour));
    snapshot.contourLevel = vorla::contourLevel(snapshot.contour);
    snapshot.powerDrive = modelValue(parameterValue(kPowerAmp)) * 0.9 + 0.1;
    snapshot.crunchDriveGain = vorla::driveGain(snapshot.drive1);
    snapshot.overdriveDriveGain = vorla::driveGain(snapshot.drive2);

    // The sine's values for this block's n, computed once per block length.
    vorla::AntiDenormalTable& table = antiDenormalTable;
    if (table.phaseStep != phaseStep)
    {
        table.phaseStep = phaseStep;
        table.filled = 0;
    }
    for (const int32_t needed = std::min(sampleFrames, vorla::AntiDenormalTable::kSize);
         table.filled < needed; ++table.filled)
        table.values[table.filled] =
            kAntiDenormalLevel * std::sin(static_cast<double>(table.filled) * phaseStep);

    const float* in1 = inputs[0];
    const float* in2 = inputs[1];
    float* out1 = outputs[0];
    float* out2 = outputs[1];
    AmpChannel& first = ampChannels[0];
    AmpChannel& second = ampChannels[1];
    bool secondRan = false;

    // Each chunk of host samples passes three phases: up-sampling (with the
    // anti-denormal sine, and the flags of every pair read), the model over
    // all oversampled samples of the chunk, and down-sampling with the
    // output level.
    ChunkBuffers& buffers = chunkBuffers;
    const int pairsPerFrame = factor / 2;
    int32_t i = 0;
    while (i < sampleFrames)
    {
        // The mono/stereo switch is read at every host sample; a chunk ends
        // where it changes.
        const int32_t stereoFlag = stereoOn.load(kRelaxed);
        const bool stereo = stereoFlag == 1;
        int frames = 0;
        for (; frames < vorla::kChunkFrames && i + frames < sampleFrames; ++frames, --n)
        {
            if (frames > 0 && stereoOn.load(kRelaxed) != stereoFlag)
                break;
            // The phase restarts with every block and runs backwards in it.
            const double antiDenormal =
                n < vorla::AntiDenormalTable::kSize
                    ? table.values[n]
                    : kAntiDenormalLevel * std::sin(static_cast<double>(n) * phaseStep);
            const int32_t at = i + frames;
            const float x1 =
                static_cast<float>(static_cast<double>(acceptInput(in1[at])) + antiDenormal);
            if (stereo)
            {
                const float x2 =
                    static_cast<float>(static_cast<double>(acceptInput(in2[at])) + antiDenormal);
                buffers.stereoHost[frames] = _mm_setr_ps(x1, x2, 0.0f, 0.0f);
            }
            else
            {
                buffers.monoHost[frames] = x1;
            }
            for (int pair = 0; pair < pairsPerFrame; ++pair)
                buffers.flags[frames * pairsPerFrame + pair] = readPairFlags(*this);
        }

        if (stereo)
        {
            vorla::processStereoChunk(first, second, factor, frames, buffers, snapshot, rate);
            secondRan = true;
        }
        else
        {
            vorla::processMonoChunk(first, factor, frames, buffers, snapshot, rate);
        }

        for (int h = 0; h < frames; ++h)
        {
            const int32_t at = i + h;
            if (stereo)
            {
                const __m128 y = buffers.stereoHost[h];
                const double v1 = static_cast<double>(_mm_cvtss_f32(y)) * kOutputGain;
                out1[at] = static_cast<float>(v1 * modelValue(parameterValue(kVolume)));
                const double v2 =
                    static_cast<double>(_mm_cvtss_f32(_mm_shuffle_ps(y, y, 1))) * kOutputGain;
                out2[at] = static_cast<float>(v2 * modelValue(parameterValue(kVolume)));
            }
            else
            {
                const double v1 = static_cast<double>(buffers.monoHost[h]) * kOutputGain;
                const float left = static_cast<float>(v1 * modelValue(parameterValue(kVolume)));
                out1[at] = left;
                // Mono: the second side rests with its state as it was.  (A
                // flag other than 0 or 1 cannot be stored; output 2 is then
                // left alone.)
                if (stereoFlag == 0)
                    out2[at] = left;
            }
        }
        i += frames;
    }

    // Whatever poisoned a side (a host writing into our memory, a fault we
    // did not foresee), it must not stay dead: a side whose state is no
    // longer finite starts again from rest, as in a new effect.  Normal audio
    // never gets here.
    if (!vorla::ampChannelIsFinite(first))
        vorla::restAmpChannel(first, appliedDesign);
    if (secondRan && !vorla::ampChannelIsFinite(second))
        vorla::restAmpChannel(second, appliedDesign);
}
