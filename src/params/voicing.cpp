// What a parameter write does: the stored value, the switch flags, the knob
// memories of the three voicings and their recall.
//
// Each voicing (Clean, Crunch, Overdrive) remembers its own knob positions.
// A knob write is remembered in the active voicing's memory, in the effect
// and in the current program record alike; a change of voicing replays the
// memory of the voicing that becomes active through setParameter, so the
// editor and the stored values follow the recalled positions.  The drive
// knob that does not belong to the active voicing is held at 0.5.
//
// setParameter may run on the audio thread and the UI thread at the same
// time: every shared value is written with a relaxed atomic store.
#include "plugin/editor_link.h"
#include "plugin/vorla.h"

#include <atomic>
#include <cmath>

namespace {

constexpr int32_t kCleanReplayOrder[] = {
    kInput, kDrive1, kDrive2, kLow, kMid, kHigh, kContour, kVolume, kBright, kPowerAmp,
};

constexpr int32_t kOverdriveReplayOrder[] = {
    kInput, kDrive1, kDrive2, kLow, kMid, kHigh, kContour, kVolume, kBoost, kBright, kPowerAmp,
};

/// Drive1 is the drive of Crunch and Drive2 that of Overdrive; the other
/// voicings hold the knob at its middle position.
bool heldBy(Vorla::Voicing voicing, int32_t index)
{
    return (index == kDrive1 && voicing != Vorla::Voicing::Crunch) ||
           (index == kDrive2 && voicing != Vorla::Voicing::Overdrive);
}

int32_t switchState(float value)
{
    return value >= vorla::kSwitchThreshold ? 1 : 0;
}

void storeRelaxed(double* field, float value)
{
    if (field != nullptr)
        std::atomic_ref<double>(*field).store(static_cast<double>(value),
                                              std::memory_order_relaxed);
}

float loadRelaxed(double* field)
{
    return static_cast<float>(std::atomic_ref<double>(*field).load(std::memory_order_relaxed));
}

} // namespace

Vorla::Voicing Vorla::activeVoicing() const noexcept
{
    if (channelOverdrive.load(std::memory_order_relaxed) != 0)
        return Voicing::Overdrive;
    return crunchOn.load(std::memory_order_relaxed) != 0 ? Voicing::Crunch : Voicing::Clean;
}

bool Vorla::isParameterHeld(int32_t index) const noexcept
{
    return heldBy(activeVoicing(), index);
}

void Vorla::setParameter(int32_t index, float value) noexcept
{
    // A value that is not a number cannot be a knob position; taking it
    // would leave NaN or infinity in the stored state and the model.
    if (!std::isfinite(value))
        return;

    if (vorla::isParameterIndex(index))
        applyParameter(index, value);

    // Every write, whatever its index, ends at the editor with the value as
    // received; the editor shows the effect's stored value, so a drive knob
    // that was held at 0.5 springs back.
    if (editorLink != nullptr)
        editorLink->setParameter(index, value);
}

void Vorla::storeValue(int32_t index, float value) noexcept
{
    const int slot = vorla::storageSlot(index);
    paramValues[static_cast<std::size_t>(slot)].store(value, std::memory_order_relaxed);
    std::atomic_ref<float>(currentRecord().values[slot]).store(value, std::memory_order_relaxed);
}

void Vorla::remember(Voicing voicing, int32_t index, float value) noexcept
{
    VorlaProgram& record = currentRecord();
    switch (voicing)
    {
    case Voicing::Clean:
        storeRelaxed(vorla::memoryField(cleanMemory, index), value);
        storeRelaxed(vorla::memoryField(record.cleanMemory, index), value);
        break;
    case Voicing::Crunch:
        storeRelaxed(vorla::memoryField(crunchMemory, index), value);
        storeRelaxed(vorla::memoryField(record.crunchMemory, index), value);
        break;
    case Voicing::Overdrive:
        storeRelaxed(vorla::memoryField(overdriveMemory, index), value);
        storeRelaxed(vorla::memoryField(record.overdriveMemory, index), value);
        break;
    }
}

void Vorla::replay(Voicing voicing) noexcept
{
    // Each recalled value goes through the full setParameter, so it is
    // stored, remembered again in the voicing being recalled (the flags are
    // already set), its switch flag is set and the editor is told.  The host
    // is not told; it reads the values back when it wants them.
    switch (voicing)
    {
    case Voicing::Clean:
        for (const int32_t index : kCleanReplayOrder)
            setParameter(index, loadRelaxed(vorla::memoryField(cleanMemory, index)));
        break;
    case Voicing::Crunch:
        for (const int32_t index : kCleanReplayOrder)
            setParameter(index, loadRelaxed(vorla::memoryField(crunchMemory, index)));
        break;
    case Voicing::Overdrive:
        for (const int32_t index : kOverdriveReplayOrder)
            setParameter(index, loadRelaxed(vorla::memoryField(overdriveMemory, index)));
        break;
    }
}

void Vorla::applyParameter(int32_t index, float value) noexcept
{
    const Voicing voicing = activeVoicing();
    const int32_t on = switchState(value);

    // Drive1 belongs to Crunch and Drive2 to Overdrive; in any other voicing
    // the knob is held (and remembered) at its middle position.
    const float stored = heldBy(voicing, index) ? 0.5f : value;
    storeValue(index, stored);

    switch (index)
    {
    case kChannel:
        if (on == 0)
        {
            channelOverdrive.store(0, std::memory_order_relaxed);
            replay(crunchOn.load(std::memory_order_relaxed) != 0 ? Voicing::Crunch
                                                                 : Voicing::Clean);
        }
        else
        {
            channelOverdrive.store(1, std::memory_order_relaxed);
            replay(Voicing::Overdrive);
        }
        break;
    case kCleanCrunch:
        crunchOn.store(on, std::memory_order_relaxed);
        // On the Overdrive channel only the flag changes.
        if (channelOverdrive.load(std::memory_order_relaxed) == 0)
            replay(activeVoicing());
        break;
    case kBoost:
        boostOn.store(on, std::memory_order_relaxed);
        if (voicing == Voicing::Overdrive)
            remember(voicing, index, stored);
        break;
    case kBright:
        brightOn.store(on, std::memory_order_relaxed);
        remember(voicing, index, stored);
        break;
    case kMonoStereo: stereoOn.store(on, std::memory_order_relaxed); break;
    case kQuality:
        highQuality.store(on, std::memory_order_relaxed);
        // The oversampling factor depends on the switch: redesign at the
        // current host rate.
        setSampleRate(getSampleRate());
        break;
    default:
        // Input, the drives, Low, Mid, High, Contour, Power Amp, Volume.
        remember(voicing, index, stored);
        break;
    }
}
