// The normal start. Until the main window exists, the program shows a plain
// window with its version and the arguments it understood.
#include "program/program.h"
#include "resources/resource_ids.h"

namespace {

const wchar_t windowClass[] = L"qi-lark.MainWindow";

cpp::String describeArguments(const Program& program) {
    cpp::String text("Arguments: %\r\n", program.property("argc"));
    const long long count = cpp::String(program.property("argc")).toInt64();
    for (long long n = 0; n < count; ++n)
        text += cpp::String("arg[%] = %\r\n", n, program.property(cpp::String("arg[%]", n)));
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
        if (Program* program = Program::current()) {
            const std::wstring text = describeArguments(*program).toWide();
            HGDIOBJ previous = SelectObject(dc, program->font("ui"));
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, DT_LEFT | DT_NOPREFIX);
            SelectObject(dc, previous);
        }
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

void Program::start() {
    WNDCLASSEXW windowClassInfo = {};
    windowClassInfo.cbSize = sizeof windowClassInfo;
    windowClassInfo.lpfnWndProc = windowProcedure;
    windowClassInfo.hInstance = instance();
    windowClassInfo.hIcon = LoadIconW(instance(), MAKEINTRESOURCEW(IDI_PROGRAM));
    windowClassInfo.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClassInfo.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClassInfo.lpszClassName = windowClass;
    RegisterClassExW(&windowClassInfo);

    const std::wstring title = cpp::String("qi-lark %", version).toWide();
    HWND window = CreateWindowExW(0, windowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 960,
                                  480, nullptr, nullptr, instance(), nullptr);
    if (window == nullptr) throw cpp::Exception(cpp::String("The main window could not be created"));
    ShowWindow(window, SW_SHOW);
}
