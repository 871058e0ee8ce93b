// embedded_resources.cpp - the Linux resource lookup: the images are compiled
// into the library as a table (resources/CMakeLists.txt), found by number and
// type.
#include "gui/resources.h"

#include <cstring>

bool findResource(int32_t id, const char* type, const uint8_t*& data, size_t& size)
{
    for (size_t i = 0; i < kVorlaResourceCount; ++i)
    {
        const VorlaResource& r = kVorlaResources[i];
        if (r.id == id && std::strcmp(r.type, type) == 0 && r.data && r.size > 0)
        {
            data = r.data;
            size = r.size;
            return true;
        }
    }
    return false;
}
