// SPDX-License-Identifier: GPL-3.0-or-later
// vorla-image-dump - writes the editor's images as the Linux build loads them,
// for the Windows test suite to compare its own loading with.
//
//     vorla-image-dump OUTPUT_DIR
//
// For each resource (1-5 and the background, 128) it writes image-<id>.raw:
// width, height and the no-alpha flag as little-endian 32-bit integers, then
// the pixels as CBitmap holds them (top-down rows of premultiplied blue,
// green, red, alpha).
#include "gui/cbitmap.h"
#include "gui/resources.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

bool writeImage(const std::string& directory, int32_t id)
{
    CBitmap bitmap(id);
    const vorla::Raster* image = bitmap.getImage();
    if (!image)
    {
        std::fprintf(stderr, "vorla-image-dump: resource %d did not load\n", id);
        return false;
    }
    const std::string path = directory + "/image-" + std::to_string(id) + ".raw";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
    {
        std::fprintf(stderr, "vorla-image-dump: cannot write '%s'\n", path.c_str());
        return false;
    }
    const int32_t header[3] = {image->width(), image->height(), bitmap.isNoAlpha() ? 1 : 0};
    bool ok = std::fwrite(header, sizeof header, 1, file) == 1;
    const size_t bytes = image->stride() * static_cast<size_t>(image->height());
    ok = ok && std::fwrite(image->data(), 1, bytes, file) == bytes;
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "vorla-image-dump: cannot write '%s'\n", path.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "vorla-image-dump: usage: vorla-image-dump OUTPUT_DIR\n");
        return 2;
    }
    for (int32_t id :
         {vorla::kKnobBitmapId, vorla::kBrightLampBitmapId, vorla::kChannelSwitchBitmapId,
          vorla::kLampBitmapId, vorla::kWideButtonBitmapId, vorla::kBackgroundBitmapId})
        if (!writeImage(argv[1], id))
            return 1;
    return 0;
}
