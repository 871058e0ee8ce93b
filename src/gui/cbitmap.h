// SPDX-License-Identifier: GPL-3.0-or-later
// cbitmap.h - the toolkit's image, loaded from one resource of the library.
//
// A resource of type "PNG" is decoded (libpng on Linux, the Windows Imaging
// Component on Windows; gui/image_decoding.h) into 32-bit premultiplied BGRA
// pixels and drawn by alpha blending; failing that, a plain bitmap resource
// of the same number is loaded as an opaque image and drawn by plain copy.  Bitmaps are shared by
// reference count: the creator holds the first reference, every view showing the bitmap one more.
#pragma once

#include "gui/cview.h"
#include "gui/gui_types.h"
#include "gui/raster.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class CDrawContext;

class CBitmap : public CReferenceCounter
{
public:
    /// Loads resource `resourceID`; a missing resource gives an empty bitmap
    /// (size 0, draws nothing).
    explicit CBitmap(int32_t resourceID);
    ~CBitmap() override;

    /// Plain copy of dest's size from `offset` of the image (alpha blend for
    /// images with alpha).
    virtual void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint());
    /// Colour-keyed copy (key: the transparent colour) for opaque images,
    /// alpha blend for images with alpha.
    virtual void drawTransparent(CDrawContext* context, const CRect& dest,
                                 const CPoint& offset = CPoint());
    /// Per-pixel source-over of premultiplied pixels scaled by `alpha`.
    virtual void drawAlphaBlend(CDrawContext* context, const CRect& dest,
                                const CPoint& offset = CPoint(), uint8_t alpha = 255);
    /// Drops the image: size 0, no-alpha flag clear.
    virtual void dispose();
    /// Loads resource `resourceID` (PNG first, then plain bitmap); see the .cpp.
    virtual bool loadFromResource(int32_t resourceID);
    /// Files are not supported: disposes and answers false.
    virtual bool loadFromPath(const void* platformPath);

    int32_t getWidth() const { return width; }
    int32_t getHeight() const { return height; }
    int32_t getResourceID() const { return resourceID; }
    bool isNoAlpha() const { return noAlpha; }
    void setTransparentColor(const CColor& color) { transparentCColor = color; }
    CColor getTransparentColor() const { return transparentCColor; }
    /// The pixels (null when no image exists).
    const vorla::Raster* getImage() const { return pHandle.get(); }

    /// Decodes PNG bytes into this bitmap exactly as a "PNG" resource is
    /// decoded (exposed for tests of the decoder).
    void decodePng(const uint8_t* bytes, size_t size);

private:
    bool loadPlainBitmap(int32_t id);

    int32_t resourceID = 0;
    int32_t width = 0;
    int32_t height = 0;
    CColor transparentCColor{255, 255, 255, 0};
    bool noAlpha = true;
    std::unique_ptr<vorla::Raster> pHandle; // the image; null when there is none
};
