// A Vorla object created directly (no library, no entry), for tests that
// look at state a host cannot see: switch flags, memories, rate values.
#pragma once

#include "plugin/vorla.h"

#include <memory>

namespace vorla::test {

inline intptr_t quietHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

inline std::unique_ptr<Vorla> makeVorla()
{
    return std::make_unique<Vorla>(&quietHost);
}

} // namespace vorla::test
