// chunk_process.h - one chunk of host samples through the amplifier.
//
// The block loop (in the effect's processReplacing) fills the chunk's host-
// rate input samples and the switch flags of every oversampled pair into a
// ChunkBuffers, then calls one of these: they up-sample the chunk to the
// processing rate, run every oversampled sample through the model and bring
// the result back down into the same host-rate array.  Every filter and stage
// sees its own samples in the same order as sample-by-sample processing, so
// the result is the same to the bit; the processor just gets more
// independent work.
//
// Audio thread only; no allocation, no lock, no system call.
#pragma once

#include "chain/amp_channel.h"
#include "chain/chunk_buffers.h"

namespace vorla {

/// One side: monoHost[0 .. frames) in, the model's output back in monoHost.
/// `factor` is the oversampling factor (2, 4 or 8) and `rate` the
/// processing rate the stages step at.
void processMonoChunk(AmpChannel& side, int factor, int frames, ChunkBuffers& buffers,
                      const BlockSnapshot& snapshot, const double& rate) noexcept;

/// Both sides in lock-step: stereoHost[0 .. frames) (lane 0 the first side,
/// lane 1 the second) in and out.
void processStereoChunk(AmpChannel& first, AmpChannel& second, int factor, int frames,
                        ChunkBuffers& buffers, const BlockSnapshot& snapshot,
                        const double& rate) noexcept;

} // namespace vorla
