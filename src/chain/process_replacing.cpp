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
#include "chain/chunk_buffers.h"
#include "chain/chunk_process.h"
#include "chain/lockstep.h"
#include "chain/lockstep_wide.h"
#include "dsp/model_constants.h"
#include "dsp/tube_table.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

// The segments below must fold into the per-sample loops: a call per
// segment and sample costs more than the segment's arithmetic.
#define VORLA_SEGMENT inline __attribute__((always_inline))

namespace vorla {

namespace {

// The model of one oversampled sample is written once, as four segments,
// for a policy `Side` that is either one amplifier side on doubles or both
// sides in lock-step on SSE2 lanes.  Each segment holds one triode stage,
// the long-latency part; the block loop below runs the segments software-
// pipelined (segment k on sample u - k), which is exact because every
// element keeps its own state and still sees its samples in order.

/// One side: the scalar primitives on doubles.
struct OneSide
{
    AmpChannel& ch;
    using Sample = double;

    static double scale(double x, double gain) noexcept { return x * gain; }
    void stage(TriodeStage AmpChannel::*member, double& x, const double& rate) noexcept
    {
        processTriodeStage(ch.*member, x, rate);
    }
    void filter(Biquad AmpChannel::*member, double& x) noexcept { processBiquad(ch.*member, x); }
    void tone(const BlockSnapshot&, double& x) noexcept
    {
        // The coefficients were brought up to the block's controls before
        // the run (prepareToneStack), as the first sample would have.
        ToneStack& ts = ch.toneStack;
        const double in = x;
        const double y = ts.B0n * in + ts.s0;
        ts.s0 = ts.B1n * in + ts.s1 - ts.A1n * y;
        ts.s1 = ts.B2n * in + ts.s2 - ts.A2n * y;
        ts.s2 = ts.B3n * in - ts.A3n * y;
        x = y;
    }
    static double shape(double x) noexcept { return stageShaper(x); }
    static double tube(double x) noexcept { return lockstep::lookupTubeTable(x); }
};

/// Brings a tone stack's coefficients up to the block's controls, as
/// processToneStack does on its first sample after a change.
inline void prepareToneStack(ToneStack& ts, const BlockSnapshot& s) noexcept
{
    if (s.low != ts.low || s.mid != ts.mid || s.high != ts.high || s.contour != ts.contour)
        updateToneStackCoefficients(ts, s.low, s.mid, s.high, s.contour);
}

/// The seven stages and eleven biquads of a side, in declaration order.
constexpr TriodeStage AmpChannel::*kStages[] = {
    &AmpChannel::cleanStage1,     &AmpChannel::crunchStage1, &AmpChannel::inputStage,
    &AmpChannel::overdriveStage1, &AmpChannel::cleanStage2,  &AmpChannel::crunchStage2,
    &AmpChannel::overdriveStage2,
};
constexpr Biquad AmpChannel::*kBiquads[] = {
    &AmpChannel::overdriveLowpass2, &AmpChannel::overdriveLowpass1, &AmpChannel::cleanLowpass,
    &AmpChannel::crunchLowpass,     &AmpChannel::cleanBrightShelf,  &AmpChannel::crunchBrightShelf,
    &AmpChannel::overdriveShelf,    &AmpChannel::cleanShelf,        &AmpChannel::crunchShelf,
    &AmpChannel::brightPeak,        &AmpChannel::dcBlocker,
};
constexpr int kStageCount = 7;
constexpr int kBiquadCount = 11;

constexpr int indexOf(TriodeStage AmpChannel::*member) noexcept
{
    for (int k = 0; k < kStageCount; ++k)
        if (kStages[k] == member)
            return k;
    return -1;
}

constexpr int indexOf(Biquad AmpChannel::*member) noexcept
{
    for (int k = 0; k < kBiquadCount; ++k)
        if (kBiquads[k] == member)
            return k;
    return -1;
}

/// Every coefficient of both sides in lanes, loaded once per chunk (the
/// design does not change within one), and the stage, biquad and tone-stack
/// states, which go back to the records after the chunk.
struct SidesInLanes
{
    lockstep::StageCoefficients stages[kStageCount];
    lockstep::StageState states[kStageCount];
    lockstep::BiquadCoefficients biquads[kBiquadCount];
    lockstep::BiquadState histories[kBiquadCount];
    lockstep::ToneCoefficients tone;
    lockstep::ToneState toneState;

    void load(AmpChannel& first, AmpChannel& second, const BlockSnapshot& s) noexcept
    {
        for (int k = 0; k < kStageCount; ++k)
        {
            stages[k] = lockstep::packStage(first.*kStages[k], second.*kStages[k]);
            states[k].load(first.*kStages[k], second.*kStages[k]);
        }
        for (int k = 0; k < kBiquadCount; ++k)
        {
            biquads[k] = lockstep::packBiquad(first.*kBiquads[k], second.*kBiquads[k]);
            histories[k].load(first.*kBiquads[k], second.*kBiquads[k]);
        }
        tone = lockstep::packToneStack(first.toneStack, second.toneStack, s);
        toneState.load(first.toneStack, second.toneStack);
    }

    void storeStates(AmpChannel& first, AmpChannel& second) const noexcept
    {
        for (int k = 0; k < kStageCount; ++k)
            states[k].store(first.*kStages[k], second.*kStages[k]);
        for (int k = 0; k < kBiquadCount; ++k)
            histories[k].store(first.*kBiquads[k], second.*kBiquads[k]);
        toneState.store(first.toneStack, second.toneStack);
    }
};

/// Both sides in lock-step, lane 0 the first side and lane 1 the second,
/// on the coefficients and states of `k`.
struct BothSides
{
    SidesInLanes& k;
    using Sample = lockstep::Lanes;

    VORLA_SEGMENT static Sample scale(Sample x, double gain) noexcept
    {
        return x * lockstep::splat(gain);
    }
    VORLA_SEGMENT void stage(TriodeStage AmpChannel::*member, Sample& x,
                             const double& rate) noexcept
    {
        const int index = indexOf(member);
        lockstep::processTriodeStage(k.stages[index], k.states[index], x, lockstep::splat(rate));
    }
    VORLA_SEGMENT void filter(Biquad AmpChannel::*member, Sample& x) noexcept
    {
        const int index = indexOf(member);
        lockstep::processBiquad(k.biquads[index], k.histories[index], x);
    }
    VORLA_SEGMENT void tone(const BlockSnapshot&, Sample& x) noexcept
    {
        lockstep::processToneStack(k.tone, k.toneState, x);
    }
    VORLA_SEGMENT static Sample shape(Sample x) noexcept { return lockstep::stageShaper(x); }
    VORLA_SEGMENT static Sample tube(Sample x) noexcept { return lockstep::lookupTubeTable(x); }
};

/// Input gain and the input stage shared by the voicings.
template <class Side>
VORLA_SEGMENT void runInputSegment(Side& side, typename Side::Sample& x, const BlockSnapshot& s,
                                   const double& rate) noexcept
{
    x = Side::scale(x, s.inputGain);
    side.stage(&AmpChannel::inputStage, x, rate);
}

/// The voicing up to its first stage; gives that stage.
template <class Side>
VORLA_SEGMENT TriodeStage AmpChannel::*prepareFirstStage(Side& side, typename Side::Sample& x,
                                                         const BlockSnapshot& s,
                                                         const PairFlags& flags) noexcept
{
    if (flags.channelOverdrive != 0)
    {
        // Overdrive: bass cut, drive, low-pass into the first stage.
        side.filter(&AmpChannel::overdriveShelf, x);
        x = Side::scale(x, s.overdriveDriveGain);
        side.filter(&AmpChannel::overdriveLowpass1, x);
        return &AmpChannel::overdriveStage1;
    }
    if (flags.crunchOn != 0)
    {
        // Crunch: half level into the first stage; bright keeps the highs.
        if (flags.brightOn != 0)
            side.filter(&AmpChannel::crunchBrightShelf, x);
        else
            x = Side::scale(x, 0.5);
        x = Side::scale(x, s.crunchDriveGain);
        return &AmpChannel::crunchStage1;
    }
    // Clean: a fixed pad into the first stage.
    x = Side::scale(x, 0.22);
    if (flags.brightOn == 0)
    {
        x = Side::scale(x, 0.0766);
    }
    else
    {
        side.filter(&AmpChannel::cleanBrightShelf, x);
        x = Side::scale(x, 0.1);
    }
    return &AmpChannel::cleanStage1;
}

/// The voicing up to and including its first stage.
template <class Side>
VORLA_SEGMENT void runFirstStageSegment(Side& side, typename Side::Sample& x,
                                        const BlockSnapshot& s, const PairFlags& flags,
                                        const double& rate) noexcept
{
    side.stage(prepareFirstStage(side, x, s, flags), x, rate);
}

/// The rest of the voicing: its second stage and what follows it.
template <class Side>
VORLA_SEGMENT void runSecondStageSegment(Side& side, typename Side::Sample& x,
                                         const PairFlags& flags, const double& rate) noexcept
{
    if (flags.channelOverdrive != 0)
    {
        if (flags.boostOn != 0)
            x = Side::scale(x, 2.0);
        x = Side::scale(x, 1.8);
        side.filter(&AmpChannel::overdriveLowpass2, x);
        side.stage(&AmpChannel::overdriveStage2, x, rate);
        x = Side::shape(x);
        if (flags.brightOn != 0)
            side.filter(&AmpChannel::brightPeak, x);
    }
    else if (flags.crunchOn != 0)
    {
        side.filter(&AmpChannel::crunchShelf, x);
        side.filter(&AmpChannel::crunchLowpass, x);
        side.stage(&AmpChannel::crunchStage2, x, rate);
        x = Side::shape(x);
    }
    else
    {
        side.filter(&AmpChannel::cleanShelf, x);
        side.filter(&AmpChannel::cleanLowpass, x);
        side.stage(&AmpChannel::cleanStage2, x, rate);
        // Make-up gain: less with the bright shelf, which kept the highs.
        x = Side::scale(x, flags.brightOn == 0 ? 6.0 : 5.3);
    }
}

/// runSecondStageSegment in two parts (the same operations), for loops that
/// run the part after the stage some samples later: up to and including the
/// second stage ...
template <class Side>
VORLA_SEGMENT void runSecondStageOnly(Side& side, typename Side::Sample& x, const PairFlags& flags,
                                      const double& rate) noexcept
{
    if (flags.channelOverdrive != 0)
    {
        if (flags.boostOn != 0)
            x = Side::scale(x, 2.0);
        x = Side::scale(x, 1.8);
        side.filter(&AmpChannel::overdriveLowpass2, x);
        side.stage(&AmpChannel::overdriveStage2, x, rate);
    }
    else if (flags.crunchOn != 0)
    {
        side.filter(&AmpChannel::crunchShelf, x);
        side.filter(&AmpChannel::crunchLowpass, x);
        side.stage(&AmpChannel::crunchStage2, x, rate);
    }
    else
    {
        side.filter(&AmpChannel::cleanShelf, x);
        side.filter(&AmpChannel::cleanLowpass, x);
        side.stage(&AmpChannel::cleanStage2, x, rate);
    }
}

/// ... and what follows the second stage.
template <class Side>
VORLA_SEGMENT void runAfterSecondStage(Side& side, typename Side::Sample& x,
                                       const PairFlags& flags) noexcept
{
    if (flags.channelOverdrive != 0)
    {
        x = Side::shape(x);
        if (flags.brightOn != 0)
            side.filter(&AmpChannel::brightPeak, x);
    }
    else if (flags.crunchOn != 0)
    {
        x = Side::shape(x);
    }
    else
    {
        x = Side::scale(x, flags.brightOn == 0 ? 6.0 : 5.3);
    }
}

/// Tone stack, power-stage level, power tubes, DC blocker.
template <class Side>
VORLA_SEGMENT void runPowerSegment(Side& side, typename Side::Sample& x,
                                   const BlockSnapshot& s) noexcept
{
    side.tone(s, x);
    x = Side::scale(Side::scale(x, s.contourLevel), s.powerDrive);
    x = Side::tube(x);
    side.filter(&AmpChannel::dcBlocker, x);
}

/// A pair through the chain: every element on a, then on b.
template <class Side>
inline void runPair(Side& side, typename Side::Sample& a, typename Side::Sample& b,
                    const BlockSnapshot& s, const PairFlags& flags, const double& rate) noexcept
{
    runInputSegment(side, a, s, rate);
    runInputSegment(side, b, s, rate);
    runFirstStageSegment(side, a, s, flags, rate);
    runFirstStageSegment(side, b, s, flags, rate);
    runSecondStageSegment(side, a, flags, rate);
    runSecondStageSegment(side, b, flags, rate);
    runPowerSegment(side, a, s);
    runPowerSegment(side, b, s);
}

/// A run of consecutive oversampled samples through the chain; flags[u / 2]
/// belong to sample u.  The four segments work on four different samples at
/// once, so the processor overlaps their dependency chains.
template <class Side>
inline void runSamples(Side& side, typename Side::Sample* __restrict x, int count,
                       const PairFlags* __restrict flags, const BlockSnapshot& s,
                       const double& rate) noexcept
{
    for (int u = 0; u < count + 3; ++u)
    {
        if (u < count)
            runInputSegment(side, x[u], s, rate);
        if (u >= 1 && u - 1 < count)
            runFirstStageSegment(side, x[u - 1], s, flags[(u - 1) / 2], rate);
        if (u >= 2 && u - 2 < count)
            runSecondStageSegment(side, x[u - 2], flags[(u - 2) / 2], rate);
        if (u >= 3)
            runPowerSegment(side, x[u - 3], s);
    }
}

/// The same as runSamples for one side, with the input stage (on sample u)
/// and the voicing's first stage (on sample u - 1) as the two lanes of one
/// SSE2 stage step: two independent stages for the price of one.
inline void runSamplesOneSide(AmpChannel& ch, double* __restrict x, int count,
                              const PairFlags* __restrict flags, const BlockSnapshot& s,
                              const double& rate) noexcept
{
    // The input stage paired with each voicing's first stage.
    const lockstep::StageCoefficients withClean =
        lockstep::packStage(ch.inputStage, ch.cleanStage1);
    const lockstep::StageCoefficients withCrunch =
        lockstep::packStage(ch.inputStage, ch.crunchStage1);
    const lockstep::StageCoefficients withOverdrive =
        lockstep::packStage(ch.inputStage, ch.overdriveStage1);
    prepareToneStack(ch.toneStack, s);
    OneSide side{ch};
    const lockstep::Lanes laneRate = lockstep::splat(rate);
    runInputSegment(side, x[0], s, rate);
    for (int u = 1; u < count; ++u)
    {
        if (u >= 3)
            runPowerSegment(side, x[u - 3], s);
        if (u >= 2)
            runSecondStageSegment(side, x[u - 2], flags[(u - 2) / 2], rate);
        double first = x[u - 1];
        TriodeStage AmpChannel::*stage1 = prepareFirstStage(side, first, s, flags[(u - 1) / 2]);
        const lockstep::StageCoefficients& k = stage1 == &AmpChannel::cleanStage1 ? withClean
                                               : stage1 == &AmpChannel::crunchStage1
                                                   ? withCrunch
                                                   : withOverdrive;
        lockstep::Lanes both = _mm_set_pd(first, OneSide::scale(x[u], s.inputGain));
        lockstep::processTriodeStage(k, ch.inputStage, ch.*stage1, both, laneRate);
        x[u] = lockstep::lane0(both);
        x[u - 1] = lockstep::lane1(both);
    }
    // Drain the pipeline (count is at least 2).
    runFirstStageSegment(side, x[count - 1], s, flags[(count - 1) / 2], rate);
    runSecondStageSegment(side, x[count - 2], flags[(count - 2) / 2], rate);
    runSecondStageSegment(side, x[count - 1], flags[(count - 1) / 2], rate);
    if (count >= 3)
        runPowerSegment(side, x[count - 3], s);
    runPowerSegment(side, x[count - 2], s);
    runPowerSegment(side, x[count - 1], s);
}

/// runSamples for both sides on a processor with AVX: as in the one-side
/// loop, the input stage (on sample u) and the voicing's first stage (on
/// sample u - 1) step together, here with both sides of each in one 256-bit
/// register.  The other segments run on SSE2 lanes as in runSamples, with
/// the second segment cut after its stage.  The paired step comes first in
/// each iteration and the later parts lag it by several samples, so every
/// long dependency chain (a stage, the exp calls) has independent work
/// behind it instead of a part waiting for its result.
VORLA_AVX void runSamplesBothSidesWide(SidesInLanes& k, lockstep::Lanes* __restrict x, int count,
                                       const PairFlags* __restrict flags, const BlockSnapshot& s,
                                       const double& rate) noexcept
{
    constexpr int input = indexOf(&AmpChannel::inputStage);
    constexpr int clean = indexOf(&AmpChannel::cleanStage1);
    constexpr int crunch = indexOf(&AmpChannel::crunchStage1);
    constexpr int overdrive = indexOf(&AmpChannel::overdriveStage1);
    const wide::QuadCoefficients withClean = wide::joinStages(k.stages[input], k.stages[clean]);
    const wide::QuadCoefficients withCrunch = wide::joinStages(k.stages[input], k.stages[crunch]);
    const wide::QuadCoefficients withOverdrive =
        wide::joinStages(k.stages[input], k.stages[overdrive]);
    // How many samples the second stage, what follows it (the shaper's exp
    // calls) and the power segment run behind the first stage; measured
    // best on a Zen 4.  Any lags give the same bits.
    constexpr int kSecondLag = 3;
    constexpr int kAfterLag = 5;
    constexpr int kPowerLag = 6;
    const wide::Quad quadRate = _mm256_set1_pd(rate);
    BothSides sides{k};
    runInputSegment(sides, x[0], s, rate);
    // The input stage and the current voicing's first stage stay joined in
    // `paired` until the voicing changes.
    wide::QuadState paired;
    int pairedWith = -1;
    for (int u = 1; u < count; ++u)
    {
        lockstep::Lanes first = x[u - 1];
        TriodeStage AmpChannel::*stage1 = prepareFirstStage(sides, first, s, flags[(u - 1) / 2]);
        const int firstIndex = stage1 == &AmpChannel::cleanStage1    ? clean
                               : stage1 == &AmpChannel::crunchStage1 ? crunch
                                                                     : overdrive;
        if (firstIndex != pairedWith)
        {
            if (pairedWith >= 0)
                paired.split(k.states[input], k.states[pairedWith]);
            paired.join(k.states[input], k.states[firstIndex]);
            pairedWith = firstIndex;
        }
        const wide::QuadCoefficients& q = firstIndex == clean    ? withClean
                                          : firstIndex == crunch ? withCrunch
                                                                 : withOverdrive;
        wide::Quad both = wide::join(BothSides::scale(x[u], s.inputGain), first);
        wide::processTriodeStages(q, paired, both, quadRate);
        x[u] = wide::lowHalf(both);
        x[u - 1] = wide::highHalf(both);
        if (u >= kSecondLag)
            runSecondStageOnly(sides, x[u - kSecondLag], flags[(u - kSecondLag) / 2], rate);
        if (u >= kAfterLag)
            runAfterSecondStage(sides, x[u - kAfterLag], flags[(u - kAfterLag) / 2]);
        if (u >= kPowerLag)
            runPowerSegment(sides, x[u - kPowerLag], s);
    }
    if (pairedWith >= 0)
        paired.split(k.states[input], k.states[pairedWith]);
    // Drain the pipeline: the last first stage, then the samples the later
    // segments have not reached, each segment in sample order.
    runFirstStageSegment(sides, x[count - 1], s, flags[(count - 1) / 2], rate);
    for (int u = std::max(0, count - kSecondLag); u < count; ++u)
        runSecondStageOnly(sides, x[u], flags[u / 2], rate);
    for (int u = std::max(0, count - kAfterLag); u < count; ++u)
        runAfterSecondStage(sides, x[u], flags[u / 2]);
    for (int u = std::max(0, count - kPowerLag); u < count; ++u)
        runPowerSegment(sides, x[u], s);
}

} // namespace

void processPair(AmpChannel& ch, double& a, double& b, const BlockSnapshot& s,
                 const PairFlags& flags, const double& rate) noexcept
{
    prepareToneStack(ch.toneStack, s);
    OneSide side{ch};
    runPair(side, a, b, s, flags, rate);
}

namespace lockstep {

void processPair(AmpChannel& first, AmpChannel& second, Lanes& a, Lanes& b, const BlockSnapshot& s,
                 const PairFlags& flags, const double& rate) noexcept
{
    SidesInLanes k;
    k.load(first, second, s);
    BothSides sides{k};
    runPair(sides, a, b, s, flags, rate);
    k.storeStates(first, second);
}

} // namespace lockstep

} // namespace vorla

namespace {

using vorla::AmpChannel;
using vorla::BlockSnapshot;
using vorla::ChunkBuffers;

// --- Resampling runs ---------------------------------------------------------------
//
// A chunk's samples pass each half-band filter in one run (filter after
// filter), with the filter's coefficients and states held in registers for
// the run.  Every filter still sees its own samples in order, so this is
// the same to the bit as stepping the cascade sample by sample; the order
// of pairs at 8x stays (p0: u0: w0 w1), (p0: u1: w0 w1), (p1: u0: ...), ...

/// Runs a float vector through the allpass sections held pairwise in
/// registers: t = (s - y) * c + x, x = s, y = t, one section pair after the
/// other.  The lane layout (which path and which side sits where) is the
/// caller's.
template <std::size_t P>
VORLA_SEGMENT __m128 runAllpassPairs(const __m128 (&c)[P], __m128 (&x)[P], __m128 (&y)[P],
                                     __m128 s) noexcept
{
    for (std::size_t j = 0; j < P; ++j)
    {
        const __m128 t = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(s, y[j]), c[j]), x[j]);
        x[j] = s;
        y[j] = t;
        s = t;
    }
    return s;
}

/// One side: the filter's two allpass paths as lanes 0 (A) and 1 (B).
template <std::size_t N> struct PathLanes
{
    static constexpr std::size_t kPairs = N / 2;
    __m128 c[kPairs];
    __m128 x[kPairs];
    __m128 y[kPairs];

    explicit PathLanes(const vorla::HalfbandFilter<N>& f) noexcept
    {
        const __m128 zero = _mm_setzero_ps();
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            c[j] = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(&f.c[2 * j]));
            x[j] = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(&f.xPrev[2 * j]));
            y[j] = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(&f.yPrev[2 * j]));
        }
    }

    void storeState(vorla::HalfbandFilter<N>& f) const noexcept
    {
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            _mm_storel_pi(reinterpret_cast<__m64*>(&f.xPrev[2 * j]), x[j]);
            _mm_storel_pi(reinterpret_cast<__m64*>(&f.yPrev[2 * j]), y[j]);
        }
    }

    __m128 run(__m128 s) noexcept { return runAllpassPairs(c, x, y, s); }
};

/// processHalfband over in[0 .. n): out[2i] earlier, out[2i + 1] later.
template <std::size_t N>
inline void upsampleRun(vorla::HalfbandFilter<N>& f, const float* in, int n, float* out) noexcept
{
    PathLanes<N> lanes(f);
    for (int i = 0; i < n; ++i)
    {
        const __m128 s = lanes.run(_mm_set1_ps(in[i]));
        out[2 * i] = _mm_cvtss_f32(s);
        out[2 * i + 1] = _mm_cvtss_f32(_mm_shuffle_ps(s, s, 1));
    }
    lanes.storeState(f);
}

/// decimateHalfband over the pairs (in[2i], in[2i + 1]) into out[i].
template <std::size_t N>
inline void downsampleRun(vorla::HalfbandFilter<N>& f, const float* in, int n, float* out) noexcept
{
    PathLanes<N> lanes(f);
    for (int i = 0; i < n; ++i)
    {
        // Path A takes the later sample, path B the earlier one.
        const __m128 s = lanes.run(_mm_setr_ps(in[2 * i + 1], in[2 * i], 0.0f, 0.0f));
        const float a = _mm_cvtss_f32(s);
        const float b = _mm_cvtss_f32(_mm_shuffle_ps(s, s, 1));
        out[i] = 0.5f * (a + b);
    }
    lanes.storeState(f);
}

/// Both sides: each pair of sections (2j for path A, 2j + 1 for path B)
/// of both sides in one register, lanes (A first, B first, A second,
/// B second).
template <std::size_t N> struct SidePathLanes
{
    static constexpr std::size_t kPairs = N / 2;
    __m128 c[kPairs];
    __m128 x[kPairs];
    __m128 y[kPairs];

    VORLA_SEGMENT SidePathLanes(const vorla::HalfbandFilter<N>& f0,
                                const vorla::HalfbandFilter<N>& f1) noexcept
    {
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            c[j] = _mm_setr_ps(f0.c[2 * j], f0.c[2 * j + 1], f1.c[2 * j], f1.c[2 * j + 1]);
            x[j] = _mm_setr_ps(f0.xPrev[2 * j], f0.xPrev[2 * j + 1], f1.xPrev[2 * j],
                               f1.xPrev[2 * j + 1]);
            y[j] = _mm_setr_ps(f0.yPrev[2 * j], f0.yPrev[2 * j + 1], f1.yPrev[2 * j],
                               f1.yPrev[2 * j + 1]);
        }
    }

    VORLA_SEGMENT void storeState(vorla::HalfbandFilter<N>& f0,
                                  vorla::HalfbandFilter<N>& f1) const noexcept
    {
        for (std::size_t j = 0; j < kPairs; ++j)
        {
            _mm_storel_pi(reinterpret_cast<__m64*>(&f0.xPrev[2 * j]), x[j]);
            _mm_storeh_pi(reinterpret_cast<__m64*>(&f1.xPrev[2 * j]), x[j]);
            _mm_storel_pi(reinterpret_cast<__m64*>(&f0.yPrev[2 * j]), y[j]);
            _mm_storeh_pi(reinterpret_cast<__m64*>(&f1.yPrev[2 * j]), y[j]);
        }
    }

    VORLA_SEGMENT __m128 run(__m128 s) noexcept { return runAllpassPairs(c, x, y, s); }
};

// The stereo buffers hold the two sides of a sample in lanes 0 and 1.

template <std::size_t N>
VORLA_SEGMENT void upsampleRun(vorla::HalfbandFilter<N>& f0, vorla::HalfbandFilter<N>& f1,
                               const __m128* in, int n, __m128* out) noexcept
{
    SidePathLanes<N> lanes(f0, f1);
    for (int i = 0; i < n; ++i)
    {
        // Both paths of a side get its sample: (x0, x0, x1, x1).
        const __m128 s = lanes.run(_mm_unpacklo_ps(in[i], in[i]));
        out[2 * i] = _mm_shuffle_ps(s, s, _MM_SHUFFLE(2, 0, 2, 0));     // path A: earlier
        out[2 * i + 1] = _mm_shuffle_ps(s, s, _MM_SHUFFLE(3, 1, 3, 1)); // path B: later
    }
    lanes.storeState(f0, f1);
}

template <std::size_t N>
VORLA_SEGMENT void downsampleRun(vorla::HalfbandFilter<N>& f0, vorla::HalfbandFilter<N>& f1,
                                 const __m128* in, int n, __m128* out) noexcept
{
    SidePathLanes<N> lanes(f0, f1);
    for (int i = 0; i < n; ++i)
    {
        // Path A takes the later sample, path B the earlier one:
        // (later0, earlier0, later1, earlier1).
        const __m128 s = lanes.run(_mm_unpacklo_ps(in[2 * i + 1], in[2 * i]));
        // A + B per side (float addition commutes exactly), then halved.
        const __m128 sum = _mm_add_ps(s, _mm_shuffle_ps(s, s, _MM_SHUFFLE(2, 3, 0, 1)));
        const __m128 half = _mm_mul_ps(_mm_set1_ps(0.5f), sum);
        out[i] = _mm_shuffle_ps(half, half, _MM_SHUFFLE(2, 0, 2, 0));
    }
    lanes.storeState(f0, f1);
}

/// Up-samples `frames` host samples (in monoHost / stereoHost) to the model's rate
/// and widens them to doubles; returns the number of model samples.
VORLA_SEGMENT int upsampleChunk(AmpChannel& first, AmpChannel& second, bool stereo, int factor,
                                int frames, ChunkBuffers& b) noexcept
{
    const int count = frames * factor;
    if (stereo)
    {
        __m128* top = b.stereo2x;
        upsampleRun(first.upsampler1, second.upsampler1, b.stereoHost, frames, b.stereo2x);
        if (factor >= 4)
        {
            upsampleRun(first.upsampler2, second.upsampler2, b.stereo2x, frames * 2, b.stereo4x);
            top = b.stereo4x;
        }
        if (factor >= 8)
        {
            upsampleRun(first.upsampler3, second.upsampler3, b.stereo4x, frames * 4, b.stereo8x);
            top = b.stereo8x;
        }
        for (int k = 0; k < count; ++k)
            _mm_store_pd(b.stereoModel[k], _mm_cvtps_pd(top[k]));
    }
    else
    {
        float* top = b.mono2x;
        upsampleRun(first.upsampler1, b.monoHost, frames, b.mono2x);
        if (factor >= 4)
        {
            upsampleRun(first.upsampler2, b.mono2x, frames * 2, b.mono4x);
            top = b.mono4x;
        }
        if (factor >= 8)
        {
            upsampleRun(first.upsampler3, b.mono4x, frames * 4, b.mono8x);
            top = b.mono8x;
        }
        for (int k = 0; k < count; ++k)
            b.monoModel[k] = top[k];
    }
    return count;
}

/// Rounds the model's outputs to floats and decimates them back to the
/// host rate, into monoHost / stereoHost.
VORLA_SEGMENT void downsampleChunk(AmpChannel& first, AmpChannel& second, bool stereo, int factor,
                                   int frames, ChunkBuffers& b) noexcept
{
    const int count = frames * factor;
    if (stereo)
    {
        __m128* top = factor == 8 ? b.stereo8x : factor == 4 ? b.stereo4x : b.stereo2x;
        for (int k = 0; k < count; ++k)
            top[k] = _mm_cvtpd_ps(_mm_load_pd(b.stereoModel[k]));
        if (factor >= 8)
            downsampleRun(first.downsampler3, second.downsampler3, b.stereo8x, frames * 4,
                          b.stereo4x);
        if (factor >= 4)
            downsampleRun(first.downsampler2, second.downsampler2, b.stereo4x, frames * 2,
                          b.stereo2x);
        downsampleRun(first.downsampler1, second.downsampler1, b.stereo2x, frames, b.stereoHost);
    }
    else
    {
        float* top = factor == 8 ? b.mono8x : factor == 4 ? b.mono4x : b.mono2x;
        for (int k = 0; k < count; ++k)
            top[k] = static_cast<float>(b.monoModel[k]);
        if (factor >= 8)
            downsampleRun(first.downsampler3, b.mono8x, frames * 4, b.mono4x);
        if (factor >= 4)
            downsampleRun(first.downsampler2, b.mono4x, frames * 2, b.mono2x);
        downsampleRun(first.downsampler1, b.mono2x, frames, b.monoHost);
    }
}

/// A stereo chunk on a processor with AVX: the same three phases as in
/// processStereoChunk,
/// compiled for 256-bit registers (the model pairs stages in them; the
/// resamplers gain the three-operand instruction forms).
VORLA_AVX void processStereoChunkWide(AmpChannel& first, AmpChannel& second, int factor, int frames,
                                      ChunkBuffers& b, const BlockSnapshot& snapshot,
                                      const double& rate) noexcept
{
    const int count = upsampleChunk(first, second, true, factor, frames, b);
    vorla::SidesInLanes inLanes;
    inLanes.load(first, second, snapshot);
    auto* lanes = reinterpret_cast<vorla::lockstep::Lanes*>(b.stereoModel);
    vorla::runSamplesBothSidesWide(inLanes, lanes, count, b.flags, snapshot, rate);
    inLanes.storeStates(first, second);
    downsampleChunk(first, second, true, factor, frames, b);
}

} // namespace

namespace vorla {

void processMonoChunk(AmpChannel& side, int factor, int frames, ChunkBuffers& buffers,
                      const BlockSnapshot& snapshot, const double& rate) noexcept
{
    const int count = upsampleChunk(side, side, false, factor, frames, buffers);
    runSamplesOneSide(side, buffers.monoModel, count, buffers.flags, snapshot, rate);
    downsampleChunk(side, side, false, factor, frames, buffers);
}

void processStereoChunk(AmpChannel& first, AmpChannel& second, int factor, int frames,
                        ChunkBuffers& buffers, const BlockSnapshot& snapshot,
                        const double& rate) noexcept
{
    if (buffers.wideLanes)
    {
        processStereoChunkWide(first, second, factor, frames, buffers, snapshot, rate);
        return;
    }
    const int count = upsampleChunk(first, second, true, factor, frames, buffers);
    SidesInLanes inLanes;
    inLanes.load(first, second, snapshot);
    BothSides sides{inLanes};
    auto* lanes = reinterpret_cast<lockstep::Lanes*>(buffers.stereoModel);
    runSamples(sides, lanes, count, buffers.flags, snapshot, rate);
    inLanes.storeStates(first, second);
    downsampleChunk(first, second, true, factor, frames, buffers);
}

} // namespace vorla
