// SPDX-License-Identifier: GPL-3.0-or-later
#include "effect/effect_core.h"

namespace vorla {

EffectCore::EffectCore() noexcept
{
    // The controls have asked for the design at the default rate: perform it
    // now, no block runs yet; then the operating points of the fourteen
    // triode stages at that processing rate.
    applyPendingChanges();
    amp.initStages();
}

void EffectCore::applyPendingChanges() noexcept
{
    const uint64_t request = requestedDesign();
    if (request != appliedRequest)
    {
        appliedRequest = request;
        amp.design(designOf(request));
    }
    // Looked at before it is taken, so a block pays a plain load, not an
    // atomic exchange.
    if (restRequested.load(std::memory_order_relaxed) &&
        restRequested.exchange(false, std::memory_order_acquire))
        amp.rest();
}

void EffectCore::process(const float* const* inputs, float* const* outputs, int32_t frames) noexcept
{
    // No frames (or a negative count): nothing is written, nothing changes.
    if (frames <= 0)
        return;
    // A rate or quality change made on another thread takes effect here,
    // between blocks, so the factor and the rates hold still for the block.
    applyPendingChanges();
    BlockControls controls;
    controls.knobs = knobSettings();
    controls.switches = &switches();
    controls.volume = &volumeValue();
    amp.process(inputs, outputs, frames, controls);
}

} // namespace vorla
