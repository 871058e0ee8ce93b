// SPDX-License-Identifier: GPL-3.0-or-later
#include "lv2/lv2_amp.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

namespace vorla::lv2 {

namespace {

/// The order a block takes its control ports in: the switches first (they
/// select the voicing), then the knobs, so a knob is remembered in the
/// voicing it belongs to after the block's switch changes.
constexpr std::array<int32_t, kNumParams> kApplyOrder = [] {
    std::array<int32_t, kNumParams> order{};
    std::size_t n = 0;
    for (int32_t index = 0; index < kNumParams; ++index)
        if (isSwitchParameter(index))
            order[n++] = index;
    for (int32_t index = 0; index < kNumParams; ++index)
        if (!isSwitchParameter(index))
            order[n++] = index;
    return order;
}();

/// A value no port has been seen holding yet: a NaN, which the core would
/// refuse anyway, so a port that really holds it changes nothing either.
constexpr uint32_t kNeverSeen = 0xFFFFFFFFu;

/// The three memories take the record from this offset to its end.
constexpr std::size_t kMemoriesOffset = offsetof(VorlaProgram, cleanMemory);

bool sameMemories(const VorlaProgram& a, const VorlaProgram& b) noexcept
{
    const auto* x = reinterpret_cast<const unsigned char*>(&a);
    const auto* y = reinterpret_cast<const unsigned char*>(&b);
    return std::memcmp(x + kMemoriesOffset, y + kMemoriesOffset,
                       sizeof(VorlaProgram) - kMemoriesOffset) == 0;
}

} // namespace

std::unique_ptr<Lv2Amp> Lv2Amp::create(double rate, const LV2_Feature* const* features)
{
    LV2_URID_Map* map = nullptr;
    LV2_Log_Log* log = nullptr;
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
    {
        if (std::strcmp((*f)->URI, LV2_URID__map) == 0)
            map = static_cast<LV2_URID_Map*>((*f)->data);
        else if (std::strcmp((*f)->URI, LV2_LOG__log) == 0)
            log = static_cast<LV2_Log_Log*>((*f)->data);
    }
    LV2_Log_Logger logger{};
    lv2_log_logger_init(&logger, map, log);

    std::unique_ptr<Lv2Amp> amp(new (std::nothrow) Lv2Amp);
    if (!amp)
        return nullptr;
    // The rate as a float is what the core designs for; a double beyond the
    // float range becomes infinity and is refused with the rest.
    const float hostRate = std::isfinite(rate) ? static_cast<float>(rate) : 0.0f;
    if (!amp->effect.setSampleRate(hostRate))
    {
        lv2_log_error(&logger, "Tarvek_Vorla_Vesk_v2_11: cannot run at %g Hz (4 kHz or more)\n",
                      rate);
        return nullptr;
    }
    // No block runs yet: design for the host's rate now, not in the first run.
    amp->effect.applyPendingChanges();
    amp->seenBits.fill(kNeverSeen);

    amp->logger = logger;
    amp->map = map;
    if (map != nullptr)
    {
        amp->urids.mapAll(map);
        lv2_atom_forge_init(&amp->forge, map);
    }
    return amp;
}

void Lv2Amp::connectPort(uint32_t port, void* data) noexcept
{
    if (port < kAudioIn1)
    {
        controls[port] = static_cast<const float*>(data);
        return;
    }
    switch (port)
    {
    case kAudioIn1: inputs[0] = static_cast<const float*>(data); break;
    case kAudioIn2: inputs[1] = static_cast<const float*>(data); break;
    case kAudioOut1: outputs[0] = static_cast<float*>(data); break;
    case kAudioOut2: outputs[1] = static_cast<float*>(data); break;
    case kControlIn: controlIn = static_cast<const LV2_Atom_Sequence*>(data); break;
    case kNotifyOut: notifyOut = static_cast<LV2_Atom_Sequence*>(data); break;
    default: break;
    }
}

void Lv2Amp::activate() noexcept
{
    // A first activate finds the amplifier at rest already; every later one
    // follows a deactivate, after which LV2 wants the history gone.
    if (deactivated)
        effect.requestRest();
    deactivated = false;
}

void Lv2Amp::deactivate() noexcept
{
    deactivated = true;
}

void Lv2Amp::run(uint32_t frames) noexcept
{
    readControlPort();
    applyControlPorts();

    if (inputs[0] != nullptr && outputs[0] != nullptr && outputs[1] != nullptr)
    {
        // A host that leaves the second input unconnected gets the first one
        // on both sides in stereo mode rather than a read through null.
        const float* in[2] = {inputs[0], inputs[1] != nullptr ? inputs[1] : inputs[0]};
        float* out[2] = {outputs[0], outputs[1]};
        uint32_t done = 0;
        while (done < frames)
        {
            const uint32_t count =
                std::min<uint32_t>(frames - done, std::numeric_limits<int32_t>::max());
            const float* blockIn[2] = {in[0] + done, in[1] + done};
            float* blockOut[2] = {out[0] + done, out[1] + done};
            effect.process(blockIn, blockOut, static_cast<int32_t>(count));
            done += count;
        }
    }

    writeNotifyPort();
}

void Lv2Amp::applyControlPorts() noexcept
{
    const bool all = takeAllPorts.load(std::memory_order_relaxed) &&
                     takeAllPorts.exchange(false, std::memory_order_acquire);
    bool taken = false;
    for (const int32_t index : kApplyOrder)
    {
        const float* port = controls[static_cast<std::size_t>(index)];
        if (port == nullptr)
            continue;
        const float value = *port;
        const uint32_t bits = std::bit_cast<uint32_t>(value);
        uint32_t& seen = seenBits[static_cast<std::size_t>(index)];
        if (bits == seen && !all)
            continue;
        seen = bits;
        // Not finite: the core refuses it and the last value plays on.
        effect.followParameter(index, value);
        taken = true;
    }
    if (taken)
        messagePending = true;
}

void Lv2Amp::readControlPort() noexcept
{
    if (controlIn == nullptr || map == nullptr || controlIn->atom.type != urids.atomSequence)
        return;
    LV2_ATOM_SEQUENCE_FOREACH(controlIn, event)
    if (isObjectOf(urids, &event->body, urids.patchGet))
        messageRequested = true;
}

void Lv2Amp::writeNotifyPort() noexcept
{
    if (memoriesDirty.load(std::memory_order_relaxed) &&
        memoriesDirty.exchange(false, std::memory_order_acquire))
        messagePending = true;
    if (notifyOut == nullptr || map == nullptr)
        return;
    // The host gives the capacity of the port's buffer in the atom's size.
    const uint32_t capacity = notifyOut->atom.size;
    if (capacity < sizeof(LV2_Atom_Sequence))
        return;
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(notifyOut), capacity);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    if ((messagePending || messageRequested) && capacity >= kNotifyMessageBytes)
    {
        const VorlaProgram record = effect.programRecord(effect.currentProgram());
        if (messageRequested || !sameMemories(record, lastTold))
        {
            lv2_atom_forge_frame_time(&forge, 0);
            if (forgeProgramMessage(forge, urids, &record, sizeof record))
            {
                lastTold = record;
                messageRequested = false;
                messagePending = false;
            }
        }
        else
            messagePending = false;
    }
    lv2_atom_forge_pop(&forge, &sequence);
}

LV2_State_Status Lv2Amp::save(LV2_State_Store_Function store, LV2_State_Handle handle) noexcept
{
    if (map == nullptr)
        return LV2_STATE_ERR_NO_FEATURE;
    std::array<unsigned char, sizeof(VorlaProgram)> blob{};
    const std::size_t size = effect.saveState(StateScope::Program, blob.data(), blob.size());
    if (size != blob.size())
        return LV2_STATE_ERR_UNKNOWN;
    return store(handle, urids.program, blob.data(), size, urids.programRecord,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Lv2Amp::restore(LV2_State_Retrieve_Function retrieve,
                                 LV2_State_Handle handle) noexcept
{
    if (map == nullptr)
        return LV2_STATE_ERR_NO_FEATURE;
    std::size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* data = retrieve(handle, urids.program, &size, &type, &flags);
    if (data == nullptr)
        return LV2_STATE_ERR_NO_PROPERTY;
    if (type != urids.programRecord || size != sizeof(VorlaProgram))
        return LV2_STATE_ERR_BAD_TYPE;
    if (!effect.loadState(StateScope::Program, data, size))
        return LV2_STATE_ERR_UNKNOWN;
    // The host owns the control ports: what they hold plays from the next
    // block on (a host restores them with the state, so they agree), and the
    // UI hears of the memories the record brought.
    takeAllPorts.store(true, std::memory_order_release);
    memoriesDirty.store(true, std::memory_order_release);
    return LV2_STATE_SUCCESS;
}

} // namespace vorla::lv2
