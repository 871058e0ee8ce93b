// SPDX-License-Identifier: GPL-3.0-or-later
// embedded_resources.cpp - the Linux resource lookup: the images are compiled
// into the library as a table (resources/CMakeLists.txt), found by number and
// type.
#include "gui/image_decoding.h"
#include "gui/resources.h"

#include <cstring>

namespace vorla {

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

bool loadBitmapResource(int32_t id, std::unique_ptr<Raster>& image)
{
    // The plain bitmaps are compiled in as the Windows bitmap files that a
    // Windows build of the library carries as BITMAP resources.
    const uint8_t* data = nullptr;
    size_t size = 0;
    return findResource(id, "BITMAP", data, size) && readBmpFile(data, size, image);
}

} // namespace vorla
