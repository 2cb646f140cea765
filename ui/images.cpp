#include "ui/images.h"

#include <wincodec.h>

#include <cstdint>
#include <vector>

#include "foundation/windows_exception.h"
#include "resources/resource_ids.h"

namespace ui {

namespace {

using cpp::windows::ComPtr;

void check(HRESULT result, const char* what) {
    if (FAILED(result)) throw cpp::windows::Exception(static_cast<std::uint32_t>(result), what);
}

cpp::windows::Bitmap decode(int id, int factor) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!found) throw cpp::windows::Exception(cpp::String::substitute("PNG resource %", id));
    const HGLOBAL loaded = LoadResource(module, found);
    const auto* bytes = static_cast<BYTE*>(LockResource(loaded));
    const DWORD size = SizeofResource(module, found);

    ComPtr<IWICImagingFactory> factory;
    check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.out())),
          "WIC factory");
    ComPtr<IWICStream> stream;
    check(factory->CreateStream(stream.out()), "WIC stream");
    check(stream->InitializeFromMemory(const_cast<BYTE*>(bytes), size), "WIC stream");
    ComPtr<IWICBitmapDecoder> decoder;
    check(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad, decoder.out()),
          "PNG decoder");
    ComPtr<IWICBitmapFrameDecode> frame;
    check(decoder->GetFrame(0, frame.out()), "PNG frame");
    ComPtr<IWICFormatConverter> converter;
    check(factory->CreateFormatConverter(converter.out()), "WIC converter");
    check(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                WICBitmapPaletteTypeCustom),
          "WIC converter");
    UINT width = 0, height = 0;
    check(converter->GetSize(&width, &height), "PNG size");

    std::vector<std::uint32_t> drawn(static_cast<std::size_t>(width) * height);
    check(converter->CopyPixels(nullptr, width * 4, width * height * 4, reinterpret_cast<BYTE*>(drawn.data())),
          "PNG pixels");

    const UINT side = static_cast<UINT>(factor);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(width * side);
    info.bmiHeader.biHeight = -static_cast<LONG>(height * side);  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    cpp::windows::Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!bitmap) throw cpp::windows::Exception("CreateDIBSection");
    // A whole-number enlargement repeats each pixel: edges stay sharp.
    auto* out = static_cast<std::uint32_t*>(pixels);
    for (UINT y = 0; y < height * side; ++y)
        for (UINT x = 0; x < width * side; ++x) out[y * width * side + x] = drawn[(y / side) * width + x / side];
    return bitmap;
}

}  // namespace

HBITMAP Images::bitmap(int id, appearance::ImageScale scale) {
    const auto key = std::make_tuple(id, scale.percent, scale.factor);
    auto found = bitmaps_.find(key);
    if (found == bitmaps_.end()) {
        const int drawn = scale.percent == 200 ? id + IDB_AT_200 : scale.percent == 150 ? id + IDB_AT_150 : id;
        found = bitmaps_.emplace(key, decode(drawn, scale.factor)).first;
    }
    return found->second.get();
}

}  // namespace ui
