// SPDX-License-Identifier: GPL-3.0-or-later
// block_process.h - a block of host samples through the amplifier, span by
// span, on the code the processor allows.
//
// A span is up to kSpanFrames host samples with one setting of the
// mono/stereo switch (read at every host sample; a span ends where it
// changes).  Each span passes three phases: the host samples in (bounded,
// with the anti-denormal sine) and up to the model's rate, filter after
// filter (chain/oversampler.h); the model over every oversampled sample,
// software-pipelined (chain/pipeline.h); and back down to the outputs with
// the output level.  The switches of every oversampled pair are read as
// its host sample comes in.
#pragma once

#include "chain/amp_channel.h"
#include "chain/amp_controls.h"
#include "chain/block_io.h"
#include "chain/channel_lanes.h"
#include "chain/fused_resampler.h"
#include "chain/model_code.h"
#include "chain/oversampler.h"

#include <emmintrin.h>

#include <cstdint>

namespace vorla {

/// Host samples per span: the model's pipeline fills and drains once per
/// span, which at 256 is a few percent of a span while every buffer stays
/// well inside the processor's L2 cache.
inline constexpr int kSpanFrames = 256;
inline constexpr int kMaxFactor = 8;
inline constexpr int kMaxSpanSamples = kSpanFrames * kMaxFactor;

/// The resampler stepped inside the model's loop, of one side and of both.
using MonoFeed = FusedResampler<kSpanFrames, 1>;
using StereoFeed = FusedResampler<kSpanFrames, 2>;

/// The work space of a span.  The amplifier holds one, so the audio thread
/// needs only a small stack (hosts may give it little); nothing in it
/// survives a span.
struct SpanBuffers
{
    ResampleBuffers<kSpanFrames> frames;
    double monoModel[kMaxSpanSamples];    // the model's samples, one side
    __m128d stereoModel[kMaxSpanSamples]; // both sides: lane 0 the first
    PairFlags flags[kMaxSpanSamples / 2]; // the switches of each pair
    ChannelLanes<double> monoFilters;     // the filters in lanes, one side
    ChannelLanes<__m128d> stereoFilters;  // and both
    PairedCascade<1> monoCascade;         // one side's resampler, paired
    PairedCascade<2> stereoCascade;       // and both sides'
};

/// A block as the amplifier hands it over.
struct HostBlock
{
    const float* in[2] = {};
    float* out[2] = {};
    int32_t frames = 0;
    AmpChannel* sides[2] = {};
    const BlockSnapshot* snapshot = nullptr;
    const AntiDenormalTable* antiDenormal = nullptr;
    const SwitchFlags* switches = nullptr;
    const std::atomic<float>* volume = nullptr;
    int factor = 4;    // oversampling, 2, 4 or 8
    double rate = 0.0; // processing rate the stages step at, hertz
};

/// Runs one span of `block` from host sample `start`; returns the first
/// host sample after it, and whether it ran both sides.  Audio thread; no
/// allocation, no lock, no system call.
int32_t processSpan(const HostBlock& block, int32_t start, const ModelCode& code,
                    SpanBuffers& buffers, bool& stereo) noexcept;

/// The model over the oversampled samples x[0 .. count) of one side, or of
/// both sides in lock-step (lane 0 the first), in place; flags[u / 2] are
/// the switches of sample u, and `rate` the processing rate the stages step
/// at.  The code `code` names runs it (every choice gives the same bits);
/// `buffers` lends it work space.  The run steps `feed` (if not null) in
/// its loop; both sides' only where the stereo code is AVX code.
void runModel(AmpChannel& side, double* x, int count, const PairFlags* flags,
              const BlockSnapshot& snapshot, double rate, const ModelCode& code,
              SpanBuffers& buffers, MonoFeed* feed = nullptr) noexcept;
void runModel(AmpChannel& first, AmpChannel& second, __m128d* x, int count, const PairFlags* flags,
              const BlockSnapshot& snapshot, double rate, const ModelCode& code,
              SpanBuffers& buffers, StereoFeed* feed = nullptr) noexcept;

/// The reference path: two consecutive oversampled samples (a first in
/// time, then b) through the whole chain of one side, sample by sample, in
/// place.  `rate` is the processing rate the stages step at.
void processPair(AmpChannel& channel, double& a, double& b, const BlockSnapshot& snapshot,
                 const PairFlags& flags, const double& rate) noexcept;

} // namespace vorla
