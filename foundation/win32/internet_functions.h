#pragma once

#include <windows.h>
#include <wininet.h>

#include "foundation/win32/system_library.h"

namespace cpp::windows {

// WinINet, loaded from the system folder at its first use.
struct InternetFunctions {
    SystemLibrary library{L"wininet.dll"};
    decltype(&InternetOpenW) open = library.function<decltype(InternetOpenW)>("InternetOpenW");
    decltype(&InternetSetStatusCallbackW) setStatusCallback =
        library.function<decltype(InternetSetStatusCallbackW)>("InternetSetStatusCallbackW");
    decltype(&InternetCrackUrlW) crackUrl = library.function<decltype(InternetCrackUrlW)>("InternetCrackUrlW");
    decltype(&InternetConnectW) connect = library.function<decltype(InternetConnectW)>("InternetConnectW");
    decltype(&HttpOpenRequestW) openRequest = library.function<decltype(HttpOpenRequestW)>("HttpOpenRequestW");
    decltype(&HttpAddRequestHeadersW) addRequestHeaders =
        library.function<decltype(HttpAddRequestHeadersW)>("HttpAddRequestHeadersW");
    decltype(&HttpSendRequestExW) sendRequest = library.function<decltype(HttpSendRequestExW)>("HttpSendRequestExW");
    decltype(&InternetWriteFile) writeFile = library.function<decltype(InternetWriteFile)>("InternetWriteFile");
    decltype(&HttpEndRequestW) endRequest = library.function<decltype(HttpEndRequestW)>("HttpEndRequestW");
    decltype(&HttpQueryInfoW) queryInfo = library.function<decltype(HttpQueryInfoW)>("HttpQueryInfoW");
    decltype(&InternetReadFile) readFile = library.function<decltype(InternetReadFile)>("InternetReadFile");
    decltype(&InternetCloseHandle) closeHandle = library.function<decltype(InternetCloseHandle)>("InternetCloseHandle");
};

// Throws IOException when WinINet cannot be loaded; tried again at the next call.
inline const InternetFunctions& internet() {
    static const InternetFunctions functions;
    return functions;
}

}  // namespace cpp::windows
