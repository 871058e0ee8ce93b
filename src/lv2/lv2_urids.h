// lv2_urids.h - the URIs the plug-in and its UI exchange messages with, as
// the host's URID map numbers them, and the one message each side reads.
//
// The plug-in tells the UI the voicings' knob memories as
//     [ a patch:Set ; patch:property <kProgramKey> ;
//       patch:value <336 bytes of type kProgramRecordType> ]
// and the UI asks for them with [ a patch:Get ].
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
    LV2_URID atomUrid = 0;
    LV2_URID atomEventTransfer = 0;
    LV2_URID patchGet = 0;
    LV2_URID patchSet = 0;
    LV2_URID patchProperty = 0;
    LV2_URID patchValue = 0;
    LV2_URID program = 0;
    LV2_URID programRecord = 0;

    /// Maps every URI (the host's map; called outside the audio thread).
    void mapAll(LV2_URID_Map* map)
    {
        const auto m = [map](const char* uri) { return map->map(map->handle, uri); };
        atomObject = m(LV2_ATOM__Object);
        atomSequence = m(LV2_ATOM__Sequence);
        atomUrid = m(LV2_ATOM__URID);
        atomEventTransfer = m(LV2_ATOM__eventTransfer);
        patchGet = m(LV2_PATCH__Get);
        patchSet = m(LV2_PATCH__Set);
        patchProperty = m(LV2_PATCH__property);
        patchValue = m(LV2_PATCH__value);
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

/// The program record a patch:Set message carries: true and `record` filled
/// when `atom` is such a message with a value of the record's type and size.
/// `recordSize` is the size of the caller's buffer, which must match.
inline bool readProgramMessage(const Urids& urids, const LV2_Atom* atom, void* record,
                               uint32_t recordSize)
{
    if (!isObjectOf(urids, atom, urids.patchSet))
        return false;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, urids.patchProperty, &property, urids.patchValue, &value, 0);
    if (property == nullptr || property->type != urids.atomUrid ||
        property->size != sizeof(LV2_URID) ||
        reinterpret_cast<const LV2_Atom_URID*>(property)->body != urids.program)
        return false;
    if (value == nullptr || value->type != urids.programRecord || value->size != recordSize)
        return false;
    std::memcpy(record, LV2_ATOM_BODY_CONST(value), recordSize);
    return true;
}

/// Writes the patch:Set message for `record` at the forge's position (the
/// forge's sink has room: the caller checked).  False when it did not fit.
inline bool forgeProgramMessage(LV2_Atom_Forge& forge, const Urids& urids, const void* record,
                                uint32_t recordSize)
{
    LV2_Atom_Forge_Frame frame;
    if (!lv2_atom_forge_object(&forge, &frame, 0, urids.patchSet))
        return false;
    lv2_atom_forge_key(&forge, urids.patchProperty);
    lv2_atom_forge_urid(&forge, urids.program);
    lv2_atom_forge_key(&forge, urids.patchValue);
    lv2_atom_forge_atom(&forge, recordSize, urids.programRecord);
    const bool written = lv2_atom_forge_write(&forge, record, recordSize) != 0;
    lv2_atom_forge_pop(&forge, &frame);
    return written;
}

} // namespace vorla::lv2
