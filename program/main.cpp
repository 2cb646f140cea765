// Entry point. For now the program shows its version and the arguments it
// understood; the application object replaces this window.
#include <windows.h>

#include "program/command_line.h"

namespace {

const wchar_t windowClass[] = L"qi-lark.MainWindow";

cpp::String describeArguments(const cpp::Properties& properties) {
    cpp::String text("Arguments: %\r\n", cpp::CommandLine::lookup(properties, "argc"));
    const long long count = cpp::String(cpp::CommandLine::lookup(properties, "argc")).toInt64();
    for (long long n = 0; n < count; ++n)
        text += cpp::String("arg[%] = %\r\n", n, cpp::CommandLine::lookup(properties, cpp::String("arg[%]", n)));
    return text;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        InflateRect(&client, -8, -8);
        const auto* text = reinterpret_cast<const std::wstring*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (text != nullptr) DrawTextW(dc, text->c_str(), static_cast<int>(text->size()), &client, DT_LEFT | DT_NOPREFIX);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    cpp::Properties properties;
    cpp::CommandLine::fillProperties(properties, cpp::String(std::wstring(commandLine)));
    const std::wstring text = describeArguments(properties).toWide();

    WNDCLASSEXW windowClassInfo = {};
    windowClassInfo.cbSize = sizeof windowClassInfo;
    windowClassInfo.lpfnWndProc = windowProcedure;
    windowClassInfo.hInstance = instance;
    windowClassInfo.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClassInfo.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClassInfo.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClassInfo.lpszClassName = windowClass;
    RegisterClassExW(&windowClassInfo);

    HWND window = CreateWindowExW(0, windowClass, L"qi-lark 0.82", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  960, 480, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 0;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&text));
    ShowWindow(window, SW_SHOW);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
