// SPDX-License-Identifier: GPL-3.0-or-later
// cbitmap.cpp - images from the library's resources: PNG images decoded by
// the platform's decoder and premultiplied here, plain bitmaps loaded opaque.
#include "gui/cbitmap.h"

#include "gui/cdrawcontext.h"
#include "gui/image_decoding.h"
#include "gui/resources.h"

#include <memory>

namespace {

/// Colour bytes scaled by alpha, (c * A) >> 8 (so 255 at full alpha becomes
/// 254); a transparent pixel becomes four zero bytes.
void premultiply(vorla::Raster& image)
{
    for (int32_t y = 0; y < image.height(); ++y)
    {
        uint8_t* p = image.row(y);
        for (int32_t x = 0; x < image.width(); ++x, p += 4)
        {
            const uint32_t a = p[3];
            if (a == 0)
            {
                p[0] = p[1] = p[2] = 0;
                continue;
            }
            p[0] = static_cast<uint8_t>((p[0] * a) >> 8);
            p[1] = static_cast<uint8_t>((p[1] * a) >> 8);
            p[2] = static_cast<uint8_t>((p[2] * a) >> 8);
        }
    }
}

} // namespace

CBitmap::CBitmap(int32_t id) : resourceID(id)
{
    loadFromResource(id);
    transparentCColor = CColor{255, 255, 255, 0};
}

CBitmap::~CBitmap() = default;

void CBitmap::dispose()
{
    pHandle.reset();
    noAlpha = false;
    width = 0;
    height = 0;
}

bool CBitmap::loadFromPath(const void* /*platformPath*/)
{
    dispose();
    return false;
}

void CBitmap::decodePng(const uint8_t* bytes, size_t size)
{
    dispose();
    if (vorla::decodePngImage(bytes, size, pHandle, width, height) && pHandle)
        premultiply(*pHandle);
    // A failed decode leaves what was built: the header's size, and the rows
    // read so far, not premultiplied.
    noAlpha = false;
}

bool CBitmap::loadFromResource(int32_t id)
{
    dispose();
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (vorla::findResource(id, "PNG", data, size))
    {
        decodePng(data, size);
        return true;
    }
    return loadPlainBitmap(id);
}

bool CBitmap::loadPlainBitmap(int32_t id)
{
    std::unique_ptr<vorla::Raster> image;
    if (!vorla::loadBitmapResource(id, image) || !image)
        return false;
    width = image->width();
    height = image->height();
    pHandle = std::move(image);
    noAlpha = true;
    return true;
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset)
{
    if (!noAlpha)
    {
        drawAlphaBlend(context, dest, offset, 255);
        return;
    }
    if (!pHandle || !context || !context->getDevice())
        return;
    CRect d = dest;
    d.offset(context->offset.h, context->offset.v);
    context->getDevice()->copyFrom(*pHandle, d, offset, context->deviceClip());
    context->touch(d);
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& dest, const CPoint& offset)
{
    if (!noAlpha)
    {
        drawAlphaBlend(context, dest, offset, 255);
        return;
    }
    if (!pHandle || !context || !context->getDevice())
        return;
    CRect d = dest;
    d.offset(context->offset.h, context->offset.v);
    context->getDevice()->copyKeyed(*pHandle, d, offset, context->deviceClip(), transparentCColor);
    context->touch(d);
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& dest, const CPoint& offset,
                             uint8_t alpha)
{
    if (!pHandle || !context || !context->getDevice())
        return;
    CRect d = dest;
    d.offset(context->offset.h, context->offset.v);
    context->getDevice()->blend(*pHandle, d, offset, context->deviceClip(), alpha, !noAlpha);
    context->touch(d);
}
