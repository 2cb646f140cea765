#include "ui_harness.h"

#include <wincodec.h>

#include <cstdlib>

#include "foundation/thread.h"

namespace testing_support {

namespace {

const wchar_t* hostClass = L"qi-lark.TestHost";

}  // namespace

TextWindowHostForTests::TextWindowHostForTests(int width, int height)
    : bus_(busWorkers, cpp::String("Bus")), document_(bus_), viewer_(document_) {
    comReady();
    uiFont_.reset(CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, 0, L"Tahoma"));
    create(nullptr, hostClass, L"qi-lark test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
           RECT{0, 0, width, height});
    edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 200, 22, handle(), nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    RECT client;
    GetClientRect(handle(), &client);
    text_ = std::make_unique<ui::TextWindow>(document_, viewer_, *this);
    text_->create(handle(), RECT{0, 24, client.right, client.bottom}, 1000);
    font_.reset(CreateFontW(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, FIXED_PITCH,
                            L"Consolas"));
    text_->setTextFont(font_.get(), look_.dpi);
    viewer_.setDocumentChangedCallback([this] {
        if (!refreshPosted_.exchange(true)) PostMessageW(handle(), WM_USER, 0, 0);
    });
    ShowWindow(handle(), SW_SHOW);
    SetForegroundWindow(handle());
    SetFocus(text_->handle());
    pumpUntil([] { return false; }, 0);
}

TextWindowHostForTests::~TextWindowHostForTests() {
    viewer_.setDocumentChangedCallback(nullptr);
    text_.reset();
    destroy();
    document_.stop();
}

void TextWindowHostForTests::setLook(const ui::Look& look) {
    look_ = look;
    text_->applyLook();
    pumpUntil([] { return false; }, 0);
}

void TextWindowHostForTests::resizeText(int width, int height) {
    MoveWindow(text_->handle(), 0, 24, width, height, TRUE);
    pumpUntil([] { return false; }, 0);
}

LRESULT TextWindowHostForTests::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) {
        refreshPosted_ = false;
        viewer_.refresh();
        return 0;
    }
    return defaultHandling(message, wParam, lParam);
}

bool TextWindowHostForTests::pumpUntil(const std::function<bool()>& done, int seconds) {
    const cpp::Time deadline = cpp::Time() + cpp::Duration::seconds(seconds);
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) return true;
        if (!(cpp::Time() < deadline)) return false;
        Sleep(5);
    }
}

bool TextWindowHostForTests::waitForLines(std::size_t lines) {
    return pumpUntil([&] {
        return document_.isIdle() && viewer_.status().lines == lines && document_.isIdle() &&
               viewer_.status().progress >= 1.0;
    });
}

int Capture::count(const RECT& area, std::uint32_t rgb, int tolerance) const {
    int found = 0;
    for (int y = std::max<int>(area.top, 0); y < std::min<int>(area.bottom, height); ++y) {
        for (int x = std::max<int>(area.left, 0); x < std::min<int>(area.right, width); ++x) {
            const std::uint32_t p = at(x, y);
            bool close = true;
            for (int shift : {0, 8, 16}) close = close && std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((rgb >> shift) & 0xFF)) <= tolerance;
            found += close;
        }
    }
    return found;
}

bool comReady() {
    static const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return SUCCEEDED(result) || result == RPC_E_CHANGED_MODE;
}

namespace {

// A capture of the window's client size filled by `draw(dc)`.
template <class Draw>
Capture captureWith(HWND window, Draw draw) {
    RECT client;
    GetClientRect(window, &client);
    Capture result;
    result.width = client.right;
    result.height = client.bottom;
    const HDC screen = GetDC(nullptr);
    cpp::windows::MemoryDc dc(CreateCompatibleDC(screen));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = result.width;
    info.bmiHeader.biHeight = -result.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    cpp::windows::Bitmap bitmap(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ReleaseDC(nullptr, screen);
    {
        cpp::windows::Selected selected(dc.get(), bitmap.get());
        draw(dc.get(), result.width, result.height);
        GdiFlush();
    }
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    result.pixels.assign(pixels, pixels + static_cast<std::size_t>(result.width) * result.height);
    for (auto& p : result.pixels) p &= 0x00FFFFFF;
    return result;
}

}  // namespace

Capture capture(HWND window) {
    return captureWith(window, [window](HDC dc, int, int) {
        SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    });
}

Capture captureScreen(HWND window) {
    return captureWith(window, [window](HDC dc, int width, int height) {
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        const HDC screen = GetDC(nullptr);
        BitBlt(dc, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
        ReleaseDC(nullptr, screen);
    });
}

void savePng(const Capture& capture, const wchar_t* name) {
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module);
    folder = folder.substr(0, folder.find_last_of(L"\\/")) + L"\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\" + name + L".png";

    IWICImagingFactory* factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)))) return;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    factory->CreateStream(&stream);
    if (stream && SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr))) {
        frame->SetSize(static_cast<UINT>(capture.width), static_cast<UINT>(capture.height));
        WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
        frame->SetPixelFormat(&format);
        frame->WritePixels(static_cast<UINT>(capture.height), static_cast<UINT>(capture.width) * 4,
                           static_cast<UINT>(capture.pixels.size() * 4),
                           reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(capture.pixels.data())));
        frame->Commit();
        encoder->Commit();
    }
    if (frame) frame->Release();
    if (encoder) encoder->Release();
    if (stream) stream->Release();
    factory->Release();
}

}  // namespace testing_support
