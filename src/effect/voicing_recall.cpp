// SPDX-License-Identifier: GPL-3.0-or-later
// What a parameter write does: the stored value, the switch flags, the knob
// memories of the three voicings and their recall.
//
// Each voicing (Clean, Crunch, Overdrive) remembers its own knob positions.
// A knob write is remembered in the active voicing's memory, in the state
// and in the current program record alike; a change of voicing replays the
// memory of the voicing that becomes active through setParameter, so the
// listeners and the stored values follow the recalled positions.  The drive
// knob that does not belong to the active voicing is held at 0.5.
//
// setParameter may run on the audio thread and the UI thread at the same
// time: every shared value is written with a relaxed atomic store.
#include "effect/effect_state.h"

#include <atomic>
#include <cmath>
#include <limits>

namespace vorla {

namespace {

constexpr int32_t kCleanReplayOrder[] = {
    kInput, kDrive1, kDrive2, kLow, kMid, kHigh, kContour, kVolume, kBright, kPowerAmp,
};

constexpr int32_t kOverdriveReplayOrder[] = {
    kInput, kDrive1, kDrive2, kLow, kMid, kHigh, kContour, kVolume, kBoost, kBright, kPowerAmp,
};

/// Drive1 is the drive of Crunch and Drive2 that of Overdrive; the other
/// voicings hold the knob at its middle position.
bool heldBy(Voicing voicing, int32_t index)
{
    return (index == kDrive1 && voicing != Voicing::Crunch) ||
           (index == kDrive2 && voicing != Voicing::Overdrive);
}

int32_t switchState(float value)
{
    return value >= kSwitchThreshold ? 1 : 0;
}

void storeRelaxed(double* field, float value)
{
    if (field != nullptr)
        std::atomic_ref<double>(*field).store(static_cast<double>(value),
                                              std::memory_order_relaxed);
}

double loadRelaxed(const double* field)
{
    // atomic_ref needs a mutable object; the load does not write.
    return std::atomic_ref<double>(*const_cast<double*>(field)).load(std::memory_order_relaxed);
}

} // namespace

Voicing EffectState::activeVoicing() const noexcept
{
    return selectVoicing(flags.channelOverdrive.load(std::memory_order_relaxed),
                         flags.crunchOn.load(std::memory_order_relaxed));
}

bool EffectState::isParameterHeld(int32_t index) const noexcept
{
    return heldBy(activeVoicing(), index);
}

double EffectState::rememberedValue(Voicing voicing, int32_t index) const noexcept
{
    const double* field = nullptr;
    switch (voicing)
    {
    case Voicing::Clean: field = memoryField(cleanMemory, index); break;
    case Voicing::Crunch: field = memoryField(crunchMemory, index); break;
    case Voicing::Overdrive: field = memoryField(overdriveMemory, index); break;
    }
    return field != nullptr ? loadRelaxed(field) : std::numeric_limits<double>::quiet_NaN();
}

void EffectState::setParameter(int32_t index, float value) noexcept
{
    // A value that is not a number cannot be a knob position; taking it
    // would leave NaN or infinity in the stored state and the model.
    if (!std::isfinite(value))
        return;

    if (isParameterIndex(index))
        applyParameter(index, value, Memories::Recall);

    // Every write, whatever its index, ends at the listeners with the value
    // as received; an editor shows the stored value, so a drive knob that
    // was held at 0.5 springs back.
    notify(index, value);
}

void EffectState::followParameter(int32_t index, float value) noexcept
{
    if (!std::isfinite(value))
        return;
    if (isParameterIndex(index))
        applyParameter(index, value, Memories::Follow);
    notify(index, value);
}

void EffectState::storeValue(int32_t index, float value) noexcept
{
    const int slot = storageSlot(index);
    values[static_cast<std::size_t>(slot)].store(value, std::memory_order_relaxed);
    std::atomic_ref<float>(currentRecord().values[slot]).store(value, std::memory_order_relaxed);
}

void EffectState::remember(Voicing voicing, int32_t index, float value) noexcept
{
    VorlaProgram& record = currentRecord();
    switch (voicing)
    {
    case Voicing::Clean:
        storeRelaxed(memoryField(cleanMemory, index), value);
        storeRelaxed(memoryField(record.cleanMemory, index), value);
        break;
    case Voicing::Crunch:
        storeRelaxed(memoryField(crunchMemory, index), value);
        storeRelaxed(memoryField(record.crunchMemory, index), value);
        break;
    case Voicing::Overdrive:
        storeRelaxed(memoryField(overdriveMemory, index), value);
        storeRelaxed(memoryField(record.overdriveMemory, index), value);
        break;
    }
}

void EffectState::replay(Voicing voicing) noexcept
{
    // Each recalled value goes through the full setParameter, so it is
    // stored, remembered again in the voicing being recalled (the flags are
    // already set), its switch flag is set and the listeners are told.
    const auto recall = [this](int32_t index, const double* field) {
        setParameter(index, static_cast<float>(loadRelaxed(field)));
    };
    switch (voicing)
    {
    case Voicing::Clean:
        for (const int32_t index : kCleanReplayOrder)
            recall(index, memoryField(cleanMemory, index));
        break;
    case Voicing::Crunch:
        for (const int32_t index : kCleanReplayOrder)
            recall(index, memoryField(crunchMemory, index));
        break;
    case Voicing::Overdrive:
        for (const int32_t index : kOverdriveReplayOrder)
            recall(index, memoryField(overdriveMemory, index));
        break;
    }
}

void EffectState::applyParameter(int32_t index, float value, Memories memories) noexcept
{
    const bool recall = memories == Memories::Recall;
    const Voicing voicing = activeVoicing();
    const int32_t on = switchState(value);

    // Drive1 belongs to Crunch and Drive2 to Overdrive; in any other voicing
    // the effect's own controls hold the knob (and remember it) at its
    // middle position.  A host that owns the controls keeps its value: the
    // voicing does not read it, and it must be there when the host selects
    // the voicing that does.
    const bool held = heldBy(voicing, index);
    const float stored = held && recall ? 0.5f : value;
    storeValue(index, stored);

    switch (index)
    {
    case kChannel:
        flags.channelOverdrive.store(on, std::memory_order_relaxed);
        if (recall)
            replay(activeVoicing());
        break;
    case kCleanCrunch:
        flags.crunchOn.store(on, std::memory_order_relaxed);
        // On the Overdrive channel only the flag changes.
        if (recall && flags.channelOverdrive.load(std::memory_order_relaxed) == 0)
            replay(activeVoicing());
        break;
    case kBoost:
        flags.boostOn.store(on, std::memory_order_relaxed);
        if (voicing == Voicing::Overdrive)
            remember(voicing, index, stored);
        break;
    case kBright:
        flags.brightOn.store(on, std::memory_order_relaxed);
        remember(voicing, index, stored);
        break;
    case kMonoStereo: flags.stereoOn.store(on, std::memory_order_relaxed); break;
    case kQuality:
        // The oversampling factor depends on the switch: redesign at the
        // current host rate.
        if (highQualityOn.exchange(on, std::memory_order_relaxed) != on || recall)
            setSampleRate(sampleRate());
        break;
    default:
        // Input, the drives, Low, Mid, High, Contour, Power Amp, Volume.
        if (recall || !held)
            remember(voicing, index, stored);
        break;
    }
}

bool EffectState::loadMemories(const VorlaProgram& from) noexcept
{
    // Checked on a copy, so a record with unusable memories changes nothing.
    VorlaProgram checked = programRecord(currentProgram());
    checked.cleanMemory = from.cleanMemory;
    checked.crunchMemory = from.crunchMemory;
    checked.overdriveMemory = from.overdriveMemory;
    if (!recordIsUsable(checked))
        return false;
    VorlaProgram& record = currentRecord();
    copyMemoryRelaxed(cleanMemory, from.cleanMemory);
    copyMemoryRelaxed(crunchMemory, from.crunchMemory);
    copyMemoryRelaxed(overdriveMemory, from.overdriveMemory);
    copyMemoryRelaxed(record.cleanMemory, from.cleanMemory);
    copyMemoryRelaxed(record.crunchMemory, from.crunchMemory);
    copyMemoryRelaxed(record.overdriveMemory, from.overdriveMemory);
    return true;
}

} // namespace vorla
