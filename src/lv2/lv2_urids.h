// SPDX-License-Identifier: GPL-3.0-or-later
// lv2_urids.h - the URIs the plug-in and its UI exchange messages with, as
// the host's URID map numbers them, and the one message each side reads.
//
// The plug-in tells the UI the voicings' knob memories as
//     [ a <kMemoriesMessage> ; <kProgramKey> <336 bytes of type kProgramRecordType> ]
// and the UI asks for them with [ a patch:Get ].  The message is an object
// of our own type, not a patch:Set: it announces no property a host should
// track (hosts that read patch:Set on a plug-in's output would take it for
// one), it only carries the record from the plug-in to its editor.
#pragma once

#include "lv2/lv2_ports.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/patch/patch.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstring>

namespace vorla::lv2 {

struct Urids
{
    LV2_URID atomObject = 0;
    LV2_URID atomSequence = 0;
    LV2_URID atomEventTransfer = 0;
    LV2_URID patchGet = 0;
    LV2_URID memoriesMessage = 0;
    LV2_URID program = 0;
    LV2_URID programRecord = 0;

    /// Maps every URI (the host's map; called outside the audio thread).
    void mapAll(LV2_URID_Map* map)
    {
        const auto m = [map](const char* uri) { return map->map(map->handle, uri); };
        atomObject = m(LV2_ATOM__Object);
        atomSequence = m(LV2_ATOM__Sequence);
        atomEventTransfer = m(LV2_ATOM__eventTransfer);
        patchGet = m(LV2_PATCH__Get);
        memoriesMessage = m(kMemoriesMessage);
        program = m(kProgramKey);
        programRecord = m(kProgramRecordType);
    }
};

/// True when `atom` (whose body follows it in memory, `atom->size` bytes) is
/// an object of type `objectType`.
inline bool isObjectOf(const Urids& urids, const LV2_Atom* atom, LV2_URID objectType)
{
    if (atom == nullptr || atom->type != urids.atomObject ||
        atom->size < sizeof(LV2_Atom_Object_Body))
        return false;
    return reinterpret_cast<const LV2_Atom_Object*>(atom)->body.otype == objectType;
}

/// The program record a memories message carries: true and `record` filled
/// when `atom` is such a message with a value of the record's type and size.
/// `recordSize` is the size of the caller's buffer, which must match.
inline bool readProgramMessage(const Urids& urids, const LV2_Atom* atom, void* record,
                               uint32_t recordSize)
{
    if (!isObjectOf(urids, atom, urids.memoriesMessage))
        return false;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, urids.program, &value, 0);
    if (value == nullptr || value->type != urids.programRecord || value->size != recordSize)
        return false;
    std::memcpy(record, LV2_ATOM_BODY_CONST(value), recordSize);
    return true;
}

/// Writes the memories message for `record` at the forge's position (the
/// forge's sink has room: the caller checked).  False when it did not fit.
inline bool forgeProgramMessage(LV2_Atom_Forge& forge, const Urids& urids, const void* record,
                                uint32_t recordSize)
{
    LV2_Atom_Forge_Frame frame;
    if (!lv2_atom_forge_object(&forge, &frame, 0, urids.memoriesMessage))
        return false;
    lv2_atom_forge_key(&forge, urids.program);
    lv2_atom_forge_atom(&forge, recordSize, urids.programRecord);
    const bool written = lv2_atom_forge_write(&forge, record, recordSize) != 0;
    lv2_atom_forge_pop(&forge, &frame);
    return written;
}

} // namespace vorla::lv2
