// The amplifier's audio loop: oversampling, the preamp voicings, the tone
// stack, the power stage and the output level.
//
// Per host sample and side: a tiny sine is added to keep the signal off zero
// (valve-stage states left at exactly zero or in subnormals cost dearly),
// the sample is raised to the processing rate by one, two or three cascaded
// half-band stages, each pair of consecutive oversampled samples runs
// through the model, and the same cascade brings it back down.
//
// Rounding is part of the sound: the resamplers work in float, the model in
// double, and each formula below is evaluated in its written order (no
// reassociation, no contraction; the build forbids both).
#include "chain/amp_channel.h"
#include "chain/lockstep.h"
#include "dsp/model_constants.h"
#include "dsp/tube_table.h"
#include "plugin/vorla.h"

#include <cmath>

namespace vorla {

void processPair(AmpChannel& ch, double& a, double& b, const BlockSnapshot& s,
                 const PairFlags& flags, const double& rate) noexcept
{
    // Input gain and the shared input stage.
    a *= s.inputGain;
    b *= s.inputGain;
    processTriodeStage(ch.inputStage, a, rate);
    processTriodeStage(ch.inputStage, b, rate);

    if (flags.channelOverdrive != 0)
    {
        // Overdrive: bass cut, drive, two stages with a low-pass before each.
        processBiquad(ch.overdriveShelf, a);
        processBiquad(ch.overdriveShelf, b);
        a *= s.overdriveDriveGain;
        b *= s.overdriveDriveGain;
        processBiquad(ch.overdriveLowpass1, a);
        processTriodeStage(ch.overdriveStage1, a, rate);
        processBiquad(ch.overdriveLowpass1, b);
        processTriodeStage(ch.overdriveStage1, b, rate);
        if (flags.boostOn != 0)
        {
            a *= 2.0;
            b *= 2.0;
        }
        a *= 1.8;
        b *= 1.8;
        processBiquad(ch.overdriveLowpass2, a);
        processTriodeStage(ch.overdriveStage2, a, rate);
        processBiquad(ch.overdriveLowpass2, b);
        processTriodeStage(ch.overdriveStage2, b, rate);
        a = stageShaper(a);
        b = stageShaper(b);
        if (flags.brightOn != 0)
        {
            processBiquad(ch.brightPeak, a);
            processBiquad(ch.brightPeak, b);
        }
    }
    else if (flags.crunchOn != 0)
    {
        // Crunch: half level into the first stage, bright keeps the highs.
        if (flags.brightOn != 0)
        {
            processBiquad(ch.crunchBrightShelf, a);
            processBiquad(ch.crunchBrightShelf, b);
        }
        else
        {
            a *= 0.5;
            b *= 0.5;
        }
        a *= s.crunchDriveGain;
        b *= s.crunchDriveGain;
        processTriodeStage(ch.crunchStage1, a, rate);
        processTriodeStage(ch.crunchStage1, b, rate);
        processBiquad(ch.crunchShelf, a);
        processBiquad(ch.crunchShelf, b);
        processBiquad(ch.crunchLowpass, a);
        processTriodeStage(ch.crunchStage2, a, rate);
        processBiquad(ch.crunchLowpass, b);
        processTriodeStage(ch.crunchStage2, b, rate);
        a = stageShaper(a);
        b = stageShaper(b);
    }
    else
    {
        // Clean: a fixed pad into the first stage, make-up gain at the end.
        a *= 0.22;
        b *= 0.22;
        double makeup = 6.0;
        if (flags.brightOn == 0)
        {
            a *= 0.0766;
            b *= 0.0766;
        }
        else
        {
            processBiquad(ch.cleanBrightShelf, a);
            a = a * 0.1;
            processBiquad(ch.cleanBrightShelf, b);
            b = b * 0.1;
            makeup = 5.3;
        }
        processTriodeStage(ch.cleanStage1, a, rate);
        processTriodeStage(ch.cleanStage1, b, rate);
        processBiquad(ch.cleanShelf, a);
        processBiquad(ch.cleanShelf, b);
        processBiquad(ch.cleanLowpass, a);
        processTriodeStage(ch.cleanStage2, a, rate);
        processBiquad(ch.cleanLowpass, b);
        processTriodeStage(ch.cleanStage2, b, rate);
        a *= makeup;
        b *= makeup;
    }

    // Tone stack, power-stage level, power tubes, DC blocker.
    processToneStack(ch.toneStack, s.low, s.mid, s.high, s.contour, a);
    processToneStack(ch.toneStack, s.low, s.mid, s.high, s.contour, b);
    a = (a * s.contourLevel) * s.powerDrive;
    b = (b * s.contourLevel) * s.powerDrive;
    lookupTubeTable(a);
    lookupTubeTable(b);
    processBiquad(ch.dcBlocker, a);
    processBiquad(ch.dcBlocker, b);
}

} // namespace vorla

namespace vorla::lockstep {

// The same chain as vorla::processPair above, step for step, on two lanes.
void processPair(AmpChannel& c0, AmpChannel& c1, Lanes& a, Lanes& b, const BlockSnapshot& s,
                 const PairFlags& flags, const double& processRate) noexcept
{
    const Lanes rate = splat(processRate);
    const Lanes inputGain = splat(s.inputGain);
    a = a * inputGain;
    b = b * inputGain;
    processTriodeStage(c0.inputStage, c1.inputStage, a, b, rate);

    if (flags.channelOverdrive != 0)
    {
        processBiquad(c0.overdriveShelf, c1.overdriveShelf, a, b);
        const Lanes drive = splat(s.overdriveDriveGain);
        a = a * drive;
        b = b * drive;
        processBiquad(c0.overdriveLowpass1, c1.overdriveLowpass1, a, b);
        processTriodeStage(c0.overdriveStage1, c1.overdriveStage1, a, b, rate);
        if (flags.boostOn != 0)
        {
            a = a * splat(2.0);
            b = b * splat(2.0);
        }
        a = a * splat(1.8);
        b = b * splat(1.8);
        processBiquad(c0.overdriveLowpass2, c1.overdriveLowpass2, a, b);
        processTriodeStage(c0.overdriveStage2, c1.overdriveStage2, a, b, rate);
        a = stageShaper(a);
        b = stageShaper(b);
        if (flags.brightOn != 0)
            processBiquad(c0.brightPeak, c1.brightPeak, a, b);
    }
    else if (flags.crunchOn != 0)
    {
        if (flags.brightOn != 0)
        {
            processBiquad(c0.crunchBrightShelf, c1.crunchBrightShelf, a, b);
        }
        else
        {
            a = a * splat(0.5);
            b = b * splat(0.5);
        }
        const Lanes drive = splat(s.crunchDriveGain);
        a = a * drive;
        b = b * drive;
        processTriodeStage(c0.crunchStage1, c1.crunchStage1, a, b, rate);
        processBiquad(c0.crunchShelf, c1.crunchShelf, a, b);
        processBiquad(c0.crunchLowpass, c1.crunchLowpass, a, b);
        processTriodeStage(c0.crunchStage2, c1.crunchStage2, a, b, rate);
        a = stageShaper(a);
        b = stageShaper(b);
    }
    else
    {
        a = a * splat(0.22);
        b = b * splat(0.22);
        Lanes makeup = splat(6.0);
        if (flags.brightOn == 0)
        {
            a = a * splat(0.0766);
            b = b * splat(0.0766);
        }
        else
        {
            processBiquad(c0.cleanBrightShelf, c1.cleanBrightShelf, a, b);
            a = a * splat(0.1);
            b = b * splat(0.1);
            makeup = splat(5.3);
        }
        processTriodeStage(c0.cleanStage1, c1.cleanStage1, a, b, rate);
        processBiquad(c0.cleanShelf, c1.cleanShelf, a, b);
        processBiquad(c0.cleanLowpass, c1.cleanLowpass, a, b);
        processTriodeStage(c0.cleanStage2, c1.cleanStage2, a, b, rate);
        a = a * makeup;
        b = b * makeup;
    }

    processToneStack(c0.toneStack, c1.toneStack, s, a, b);
    const Lanes contourLevel = splat(s.contourLevel);
    const Lanes powerDrive = splat(s.powerDrive);
    a = (a * contourLevel) * powerDrive;
    b = (b * contourLevel) * powerDrive;
    a = lookupTubeTable(a);
    b = lookupTubeTable(b);
    processBiquad(c0.dcBlocker, c1.dcBlocker, a, b);
}

} // namespace vorla::lockstep

namespace {

using vorla::AmpChannel;
using vorla::BlockSnapshot;
using vorla::PairFlags;

/// Phase step of the anti-denormal sine per unit of samplePeriod: a 1 kHz
/// tone at the processing rate, with the model's 2 pi.
constexpr double kAntiDenormalPhase = vorla::kModelTwoPi * 1000.0;
constexpr double kAntiDenormalLevel = 1e-10;
/// Level from the DC blocker to the output before the Volume knob.
constexpr double kOutputGain = 3.0;
/// Input samples beyond this magnitude (about 600 dB over full scale) would
/// overflow the single-precision resamplers and leave inf/NaN in their
/// states for good; they enter as silence, like NaN and infinity.
constexpr float kInputLimit = 1.0e30f;

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;

inline float acceptInput(float sample) noexcept
{
    // The comparison is false for NaN.
    return std::fabs(sample) <= kInputLimit ? sample : 0.0f;
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

/// One host sample of one side through the oversampler and the model; the
/// decimated result y before the output level.
inline float processSide(Vorla& effect, AmpChannel& ch, float input, double antiDenormal,
                         const BlockSnapshot& snapshot, const double& rate) noexcept
{
    const float x = static_cast<float>(static_cast<double>(input) + antiDenormal);
    float p0 = 0.0f;
    float p1 = 0.0f;
    vorla::processHalfband(ch.upsampler1, x, p0, p1);

    float r0 = 0.0f;
    float r1 = 0.0f;
    if (effect.oversampling.load(kRelaxed) < 4)
    {
        double a = p0;
        double b = p1;
        vorla::processPair(ch, a, b, snapshot, readPairFlags(effect), rate);
        r0 = static_cast<float>(a);
        r1 = static_cast<float>(b);
    }
    else
    {
        const float q[2] = {p0, p1};
        float slot[2] = {0.0f, 0.0f};
        for (int j = 0; j < 2; ++j)
        {
            float u0 = 0.0f;
            float u1 = 0.0f;
            vorla::processHalfband(ch.upsampler2, q[j], u0, u1);
            if (effect.oversampling.load(kRelaxed) <= 4)
            {
                double a = u0;
                double b = u1;
                vorla::processPair(ch, a, b, snapshot, readPairFlags(effect), rate);
                slot[j] = vorla::decimateHalfband(ch.downsampler2, static_cast<float>(a),
                                                  static_cast<float>(b));
            }
            else
            {
                const float u[2] = {u0, u1};
                float sub[2] = {0.0f, 0.0f};
                for (int k = 0; k < 2; ++k)
                {
                    float w0 = 0.0f;
                    float w1 = 0.0f;
                    vorla::processHalfband(ch.upsampler3, u[k], w0, w1);
                    double a = w0;
                    double b = w1;
                    vorla::processPair(ch, a, b, snapshot, readPairFlags(effect), rate);
                    sub[k] = vorla::decimateHalfband(ch.downsampler3, static_cast<float>(a),
                                                     static_cast<float>(b));
                }
                slot[j] = vorla::decimateHalfband(ch.downsampler2, sub[0], sub[1]);
            }
        }
        r0 = slot[0];
        r1 = slot[1];
    }
    return vorla::decimateHalfband(ch.downsampler1, r0, r1);
}

/// Both sides of one host sample in lock-step: the same steps as
/// processSide, each on the first side and then the second (the resamplers)
/// or on both lanes at once (the model).
inline void processSides(Vorla& effect, AmpChannel& c0, AmpChannel& c1, float input0, float input1,
                         double antiDenormal, const BlockSnapshot& snapshot, const double& rate,
                         float& y0, float& y1) noexcept
{
    namespace ls = vorla::lockstep;
    using vorla::decimateHalfband;
    using vorla::processHalfband;

    const float x0 = static_cast<float>(static_cast<double>(input0) + antiDenormal);
    const float x1 = static_cast<float>(static_cast<double>(input1) + antiDenormal);
    float p0[2];
    float p1[2];
    processHalfband(c0.upsampler1, x0, p0[0], p1[0]);
    processHalfband(c1.upsampler1, x1, p0[1], p1[1]);

    float r0[2];
    float r1[2];
    if (effect.oversampling.load(kRelaxed) < 4)
    {
        ls::Lanes a = _mm_set_pd(p0[1], p0[0]);
        ls::Lanes b = _mm_set_pd(p1[1], p1[0]);
        ls::processPair(c0, c1, a, b, snapshot, readPairFlags(effect), rate);
        r0[0] = static_cast<float>(ls::lane0(a));
        r0[1] = static_cast<float>(ls::lane1(a));
        r1[0] = static_cast<float>(ls::lane0(b));
        r1[1] = static_cast<float>(ls::lane1(b));
    }
    else
    {
        float slot[2][2]; // [j][side]
        for (int j = 0; j < 2; ++j)
        {
            const float q0 = j == 0 ? p0[0] : p1[0];
            const float q1 = j == 0 ? p0[1] : p1[1];
            float u0[2];
            float u1[2];
            processHalfband(c0.upsampler2, q0, u0[0], u1[0]);
            processHalfband(c1.upsampler2, q1, u0[1], u1[1]);
            if (effect.oversampling.load(kRelaxed) <= 4)
            {
                ls::Lanes a = _mm_set_pd(u0[1], u0[0]);
                ls::Lanes b = _mm_set_pd(u1[1], u1[0]);
                ls::processPair(c0, c1, a, b, snapshot, readPairFlags(effect), rate);
                slot[j][0] = decimateHalfband(c0.downsampler2, static_cast<float>(ls::lane0(a)),
                                              static_cast<float>(ls::lane0(b)));
                slot[j][1] = decimateHalfband(c1.downsampler2, static_cast<float>(ls::lane1(a)),
                                              static_cast<float>(ls::lane1(b)));
            }
            else
            {
                float sub[2][2]; // [k][side]
                for (int k = 0; k < 2; ++k)
                {
                    float w0[2];
                    float w1[2];
                    processHalfband(c0.upsampler3, k == 0 ? u0[0] : u1[0], w0[0], w1[0]);
                    processHalfband(c1.upsampler3, k == 0 ? u0[1] : u1[1], w0[1], w1[1]);
                    ls::Lanes a = _mm_set_pd(w0[1], w0[0]);
                    ls::Lanes b = _mm_set_pd(w1[1], w1[0]);
                    ls::processPair(c0, c1, a, b, snapshot, readPairFlags(effect), rate);
                    sub[k][0] = decimateHalfband(c0.downsampler3, static_cast<float>(ls::lane0(a)),
                                                 static_cast<float>(ls::lane0(b)));
                    sub[k][1] = decimateHalfband(c1.downsampler3, static_cast<float>(ls::lane1(a)),
                                                 static_cast<float>(ls::lane1(b)));
                }
                slot[j][0] = decimateHalfband(c0.downsampler2, sub[0][0], sub[1][0]);
                slot[j][1] = decimateHalfband(c1.downsampler2, sub[0][1], sub[1][1]);
            }
        }
        r0[0] = slot[0][0];
        r0[1] = slot[0][1];
        r1[0] = slot[1][0];
        r1[1] = slot[1][1];
    }
    y0 = decimateHalfband(c0.downsampler1, r0[0], r1[0]);
    y1 = decimateHalfband(c1.downsampler1, r0[1], r1[1]);
}

} // namespace

void Vorla::processReplacing(float** inputs, float** outputs, int32_t sampleFrames) noexcept
{
    int32_t n = sampleFrames - 1;
    if (n < 0)
        return;

    // The continuous knobs hold still for the block (so the tone stack
    // recomputes at most once per block); switches, the oversampling factor
    // and Volume are read where they are used.
    BlockSnapshot snapshot;
    snapshot.inputGain = parameterValue(kInput);
    snapshot.drive1 = parameterValue(kDrive1);
    snapshot.drive2 = parameterValue(kDrive2);
    snapshot.low = parameterValue(kLow);
    snapshot.mid = parameterValue(kMid);
    snapshot.high = parameterValue(kHigh);
    snapshot.contour = parameterValue(kContour);
    snapshot.contourLevel = vorla::contourLevel(snapshot.contour);
    snapshot.powerDrive = static_cast<double>(parameterValue(kPowerAmp)) * 0.9 + 0.1;
    snapshot.crunchDriveGain = vorla::driveGain(snapshot.drive1);
    snapshot.overdriveDriveGain = vorla::driveGain(snapshot.drive2);

    const double rate = processRate.load(kRelaxed);
    const double phaseStep = samplePeriod.load(kRelaxed) * kAntiDenormalPhase;

    const float* in1 = inputs[0];
    const float* in2 = inputs[1];
    float* out1 = outputs[0];
    float* out2 = outputs[1];

    for (int32_t i = 0; i < sampleFrames; ++i, --n)
    {
        // The phase restarts with every block and runs backwards within it.
        const double antiDenormal =
            kAntiDenormalLevel * std::sin(static_cast<double>(n) * phaseStep);

        // Stereo runs both sides as two lanes of one instruction stream, so
        // the switch is read before the first side runs.
        const int32_t stereo = stereoOn.load(kRelaxed);
        if (stereo == 1)
        {
            float y1 = 0.0f;
            float y2 = 0.0f;
            processSides(*this, ampChannels[0], ampChannels[1], acceptInput(in1[i]),
                         acceptInput(in2[i]), antiDenormal, snapshot, rate, y1, y2);
            const double v1 = static_cast<double>(y1) * kOutputGain;
            out1[i] = static_cast<float>(v1 * static_cast<double>(parameterValue(kVolume)));
            const double v2 = static_cast<double>(y2) * kOutputGain;
            out2[i] = static_cast<float>(v2 * static_cast<double>(parameterValue(kVolume)));
            continue;
        }

        const float y1 = processSide(*this, ampChannels[0], acceptInput(in1[i]), antiDenormal,
                                     snapshot, rate);
        const double v1 = static_cast<double>(y1) * kOutputGain;
        const float left = static_cast<float>(v1 * static_cast<double>(parameterValue(kVolume)));
        out1[i] = left;
        // Mono: the second side rests with its state as it was.  (A flag
        // other than 0 or 1 cannot be stored; output 2 is then left alone.)
        if (stereo == 0)
            out2[i] = left;
    }
}
