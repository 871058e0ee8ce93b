#include "chain/amplifier.h"

#include "chain/chunk_process.h"
#include "dsp/model_constants.h"

#include <algorithm>
#include <cmath>

namespace vorla {

namespace {

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;

/// Phase step of the anti-denormal sine per unit of samplePeriod: a 1 kHz
/// tone at the processing rate, with the model's 2 pi.
constexpr double kAntiDenormalPhase = kModelTwoPi * 1000.0;
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

/// The output level: the decimated sample times the output gain, times the
/// Volume knob read now.
inline float outputLevel(float y, const std::atomic<float>& volume) noexcept
{
    const double v = static_cast<double>(y) * kOutputGain;
    return static_cast<float>(v * modelValue(volume.load(kRelaxed)));
}

} // namespace

Amplifier::Amplifier() noexcept
{
    for (AmpChannel& channel : sides)
        resetAmpChannel(channel);
}

void Amplifier::design(const ChainDesign& design) noexcept
{
    applied = design;
    for (AmpChannel& channel : sides)
        designAmpChannel(channel, applied);
}

void Amplifier::initStages() noexcept
{
    for (AmpChannel& channel : sides)
        initAmpChannelStages(channel, applied.designRate);
}

void Amplifier::rest() noexcept
{
    for (AmpChannel& channel : sides)
        restAmpChannel(channel, applied);
}

void Amplifier::prepareAntiDenormal(int32_t frames) noexcept
{
    // The sine's values for the block's counts, computed once per block
    // length: hosts repeat the same length, so one block's values serve the
    // next.  A new processing rate starts the table again.
    const double phaseStep = applied.samplePeriod * kAntiDenormalPhase;
    AntiDenormalTable& table = antiDenormalTable;
    if (table.phaseStep != phaseStep)
    {
        table.phaseStep = phaseStep;
        table.filled = 0;
    }
    for (const int32_t needed = std::min(frames, AntiDenormalTable::kSize); table.filled < needed;
         ++table.filled)
        table.values[table.filled] =
            kAntiDenormalLevel * std::sin(static_cast<double>(table.filled) * phaseStep);
}

void Amplifier::process(const float* const* inputs, float* const* outputs, int32_t frames,
                        const BlockControls& controls) noexcept
{
    // Tested before forming frames - 1, which would overflow for the lowest
    // count.
    if (frames <= 0)
        return;
    int32_t n = frames - 1;

    const int factor = applied.factor;
    const double rate = applied.processRate;
    const double phaseStep = applied.samplePeriod * kAntiDenormalPhase;
    const BlockSnapshot snapshot = makeBlockSnapshot(controls.knobs);
    prepareAntiDenormal(frames);
    const SwitchFlags& switches = *controls.switches;
    const std::atomic<float>& volume = *controls.volume;

    const float* in1 = inputs[0];
    const float* in2 = inputs[1];
    float* out1 = outputs[0];
    float* out2 = outputs[1];
    AmpChannel& first = sides[0];
    AmpChannel& second = sides[1];
    bool secondRan = false;

    // Each chunk of host samples passes three phases: up-sampling (with the
    // anti-denormal sine, and the flags of every pair read), the model over
    // all oversampled samples of the chunk, and down-sampling with the
    // output level.
    ChunkBuffers& b = buffers;
    const int pairsPerFrame = factor / 2;
    int32_t i = 0;
    while (i < frames)
    {
        // The mono/stereo switch is read at every host sample; a chunk ends
        // where it changes.
        const int32_t stereoFlag = switches.stereoOn.load(kRelaxed);
        const bool stereo = stereoFlag == 1;
        int count = 0;
        for (; count < kChunkFrames && i + count < frames; ++count, --n)
        {
            if (count > 0 && switches.stereoOn.load(kRelaxed) != stereoFlag)
                break;
            // The phase restarts with every block and runs backwards in it.
            const double antiDenormal =
                n < AntiDenormalTable::kSize
                    ? antiDenormalTable.values[n]
                    : kAntiDenormalLevel * std::sin(static_cast<double>(n) * phaseStep);
            const int32_t at = i + count;
            const float x1 =
                static_cast<float>(static_cast<double>(acceptInput(in1[at])) + antiDenormal);
            if (stereo)
            {
                const float x2 =
                    static_cast<float>(static_cast<double>(acceptInput(in2[at])) + antiDenormal);
                b.stereoHost[count] = _mm_setr_ps(x1, x2, 0.0f, 0.0f);
            }
            else
            {
                b.monoHost[count] = x1;
            }
            for (int pair = 0; pair < pairsPerFrame; ++pair)
                b.flags[count * pairsPerFrame + pair] = readPairFlags(switches);
        }

        if (stereo)
        {
            processStereoChunk(first, second, factor, count, b, snapshot, rate);
            secondRan = true;
        }
        else
        {
            processMonoChunk(first, factor, count, b, snapshot, rate);
        }

        for (int h = 0; h < count; ++h)
        {
            const int32_t at = i + h;
            if (stereo)
            {
                const __m128 y = b.stereoHost[h];
                out1[at] = outputLevel(_mm_cvtss_f32(y), volume);
                out2[at] = outputLevel(_mm_cvtss_f32(_mm_shuffle_ps(y, y, 1)), volume);
            }
            else
            {
                const float left = outputLevel(b.monoHost[h], volume);
                out1[at] = left;
                // Mono: the second side rests with its state as it was.  (A
                // flag other than 0 or 1 cannot be stored; output 2 is then
                // left alone.)
                if (stereoFlag == 0)
                    out2[at] = left;
            }
        }
        i += count;
    }

    // Whatever poisoned a side (a host writing into our memory, a fault we
    // did not foresee), it must not stay dead: a side whose state is no
    // longer finite starts again from rest, as in a new amplifier.  Normal
    // audio never gets here.
    if (!ampChannelIsFinite(first))
        restAmpChannel(first, applied);
    if (secondRan && !ampChannelIsFinite(second))
        restAmpChannel(second, applied);
}

} // namespace vorla
