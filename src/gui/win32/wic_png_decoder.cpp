// SPDX-License-Identifier: GPL-3.0-or-later
// wic_png_decoder.cpp - PNG images decoded by Windows' own image decoder,
// the Windows Imaging Component (WIC, windowscodecs.dll, part of Windows
// since Vista).
//
// The DLL thereby needs no image library of its own (no libpng and zlib
// built for Windows).  The PNG decoder reads the resource's bytes from
// memory; a format converter turns every colour type (palette, grey, with
// or without a transparency chunk, 16-bit) into 32-bit blue, green, red,
// alpha, not premultiplied, which is what CBitmap premultiplies, and what
// the libpng path of the Linux build gives for the library's images (8-bit
// RGBA, not interlaced, without gamma or colour-profile chunks); the Windows
// test suite compares the two pixel for pixel.
//
// WIC is a set of COM objects: the calling thread needs COM.  The host's UI
// thread is normally initialised already (a single-threaded apartment; then
// CoInitializeEx only counts one more user); a thread in the multithreaded
// apartment answers RPC_E_CHANGED_MODE and can use WIC as it is.
#include "gui/image_decoding.h"

#include <wincodec.h>
#include <windows.h>

#include <new>

namespace vorla {

namespace {

/// Owns one reference to a COM object.
template <class T> class ComRef
{
public:
    ComRef() = default;
    ~ComRef()
    {
        if (object)
            object->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** put() { return &object; }
    T* get() const { return object; }
    T* operator->() const { return object; }

private:
    T* object = nullptr;
};

/// COM on the calling thread for the length of one decode.
class ComScope
{
public:
    ComScope() : result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(result))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(result) || result == RPC_E_CHANGED_MODE; }

private:
    HRESULT result;
};

} // namespace

bool decodePngImage(const uint8_t* bytes, size_t size, std::unique_ptr<Raster>& image,
                    int32_t& width, int32_t& height)
{
    if (!bytes || size == 0 || size > MAXDWORD)
        return false;
    ComScope com;
    if (!com.usable())
        return false;

    ComRef<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put()))))
        return false;
    ComRef<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes), static_cast<DWORD>(size))))
        return false;
    // The PNG decoder itself, not whichever decoder recognises the bytes:
    // only PNG files are accepted, as with libpng.
    ComRef<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.put())) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)))
        return false;
    ComRef<IWICBitmapFrameDecode> frame;
    UINT w = 0;
    UINT h = 0;
    if (FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&w, &h)))
        return false;
    if (w == 0 || h == 0 || w > kMaxImageDimension || h > kMaxImageDimension ||
        static_cast<uint64_t>(w) * h > kMaxImagePixels)
        return false;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);

    Raster* raster = new (std::nothrow) Raster();
    if (!raster)
        return false;
    image.reset(raster);
    try
    {
        raster->resize(width, height);
    }
    catch (...)
    {
        image.reset();
        return false;
    }

    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;
    const auto stride = static_cast<UINT>(raster->stride());
    const auto total = static_cast<UINT>(raster->stride() * static_cast<size_t>(height));
    return SUCCEEDED(converter->CopyPixels(nullptr, stride, total, raster->data()));
}

} // namespace vorla
