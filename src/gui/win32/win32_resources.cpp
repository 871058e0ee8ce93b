// SPDX-License-Identifier: GPL-3.0-or-later
// win32_resources.cpp - the editor's images as resources of the DLL.
//
// The build links resources/images into vorla.dll with a .rc file
// (resources/CMakeLists.txt): the PNG images as resources of the type named
// "PNG", the background as a real bitmap resource (RT_BITMAP).  They are
// looked up in the module whose instance handle the library recorded when
// Windows loaded it (DllMain, plugin/win32/module.cpp), which the editor
// hands to the toolkit (setResourceModule).
#include "gui/image_decoding.h"
#include "gui/platform.h"
#include "gui/resources.h"

#include <windows.h>

namespace vorla {

namespace {

HMODULE module()
{
    return static_cast<HMODULE>(resourceModule());
}

} // namespace

bool findResource(int32_t id, const char* type, const uint8_t*& data, size_t& size)
{
    // Resources of a type named by a string ("PNG"); bitmap resources have
    // the numbered type RT_BITMAP and are reached through loadBitmapResource.
    HMODULE library = module();
    if (!library || !type)
        return false;
    HRSRC found = FindResourceA(library, MAKEINTRESOURCEA(id), type);
    if (!found)
        return false;
    const DWORD bytes = SizeofResource(library, found);
    HGLOBAL loaded = LoadResource(library, found);
    const void* pointer = loaded ? LockResource(loaded) : nullptr;
    if (!pointer || bytes == 0)
        return false;
    data = static_cast<const uint8_t*>(pointer);
    size = bytes;
    return true;
}

bool loadBitmapResource(int32_t id, std::unique_ptr<Raster>& image)
{
    HMODULE library = module();
    if (!library)
        return false;
    HBITMAP bitmap = LoadBitmapA(library, MAKEINTRESOURCEA(id));
    if (!bitmap)
        return false;
    BITMAP header{};
    bool ok = GetObjectA(bitmap, sizeof header, &header) != 0 && header.bmWidth > 0 &&
              header.bmHeight > 0 && static_cast<uint32_t>(header.bmWidth) <= kMaxImageDimension &&
              static_cast<uint32_t>(header.bmHeight) <= kMaxImageDimension;
    std::unique_ptr<Raster> pixels;
    if (ok)
    {
        // LoadBitmapA makes a bitmap for the display; GetDIBits reads it back
        // as top-down 32-bit rows (blue, green, red, unused), which is the
        // raster's layout.  On a true-colour display the bytes are the file's.
        pixels = std::make_unique<Raster>(header.bmWidth, header.bmHeight);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = header.bmWidth;
        info.bmiHeader.biHeight = -header.bmHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        HDC screen = GetDC(nullptr);
        ok = screen && GetDIBits(screen, bitmap, 0, static_cast<UINT>(header.bmHeight),
                                 pixels->data(), &info, DIB_RGB_COLORS) == header.bmHeight;
        if (screen)
            ReleaseDC(nullptr, screen);
    }
    DeleteObject(bitmap);
    if (!ok)
        return false;
    for (int32_t y = 0; y < pixels->height(); ++y)
    {
        uint8_t* p = pixels->row(y);
        for (int32_t x = 0; x < pixels->width(); ++x, p += 4)
            p[3] = 255;
    }
    image = std::move(pixels);
    return true;
}

} // namespace vorla
