// Asynchronous WinINet: every call that reports ERROR_IO_PENDING completes
// later through the status callback, possibly after we stopped waiting. So
// each handle's context owns the request record (and with it every buffer
// WinINet may still write into) until WinINet reports the handle closing.
#include "foundation/http.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "foundation/mutex.h"
#include "foundation/time.h"
#include "foundation/win32/internet_functions.h"
#include "foundation/win32/owners.h"
#include "foundation/windows_exception.h"

namespace cpp {

namespace {

const std::size_t readChunk = 65536;

// What WinINet may still touch after a request was given up.
struct Request {
    Mutex mutex;
    bool pending = false;
    DWORD error = 0;
    std::vector<char> buffer = std::vector<char>(readChunk);
    DWORD transferred = 0;
    String body;

    void arm() {
        Mutex::Lock lock(mutex, false);
        pending = true;
        error = 0;
    }
    void complete(DWORD result) {
        Mutex::Lock lock(mutex, false);
        pending = false;
        error = result;
        mutex.notifyAll();
    }
};

// One per handle, freed when WinINet says the handle is closing.
struct Context {
    std::shared_ptr<Request> request;
};

void CALLBACK statusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    auto* owner = reinterpret_cast<Context*>(context);
    if (owner == nullptr) return;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        owner->request->complete(result->dwResult ? 0 : (result->dwError ? result->dwError : ERROR_INTERNET_INTERNAL_ERROR));
    } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        delete owner;
    }
}

[[noreturn]] void fail(DWORD error, const String& context) {
    SetLastError(error);
    throw windows::Exception(context);
}

}  // namespace

struct Http::Detail {
    windows::InternetHandle internet;

    // Calls `start` (armed first); when it reports a pending operation, waits
    // for the callback until the deadline.
    template <class Start>
    void run(Request& request, const Time& deadline, bool infinite, const char* what, Start start) {
        request.arm();
        if (start()) {
            request.complete(0);
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            request.complete(error);
            fail(error, what);
        }
        Mutex::Lock lock(request.mutex, true);
        while (request.pending) {
            if (infinite) {
                lock.wait();
            } else if (lock.waitUntil(deadline) && request.pending) {
                throw TimeoutException();
            }
        }
        if (request.error != 0) fail(request.error, what);
    }

    String send(const String& verb, const String& url, const String& headers, const String& body, Duration timeout,
                std::size_t bodyLimit);
};

Http::Http(const String& agent) : detail_(std::make_unique<Detail>()) {
    detail_->internet.reset(
        windows::internet().open(agent.toWide().c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC));
    if (!detail_->internet) throw windows::Exception("InternetOpen");
    windows::internet().setStatusCallback(detail_->internet.get(), statusCallback);
}

// The callback stays installed: contexts of requests that are still closing
// are freed by it.
Http::~Http() = default;

String Http::get(const String& url, const String& headers, Duration timeout, std::size_t bodyLimit) {
    return detail_->send("GET", url, headers, String(), timeout, bodyLimit);
}

String Http::post(const String& url, const String& headers, const String& body, Duration timeout,
                  std::size_t bodyLimit) {
    return detail_->send("POST", url, headers, body, timeout, bodyLimit);
}

String Http::Detail::send(const String& verb, const String& url, const String& headers, const String& body,
                          Duration timeout, std::size_t bodyLimit) {
    const bool infinite = timeout.isInfinite();
    const Time deadline = infinite ? Time() : Time() + timeout;

    const std::wstring wideUrl = url.toWide();
    // No buffers given: each part comes as a pointer into the URL and a length.
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    if (!windows::internet().crackUrl(wideUrl.c_str(), 0, 0, &parts)) throw windows::Exception(String::substitute("Invalid URL %", url));
    const auto part = [](const wchar_t* at, DWORD length) { return at ? std::wstring(at, length) : std::wstring(); };
    const bool https = parts.nScheme == INTERNET_SCHEME_HTTPS;
    const std::wstring host = part(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring target =
        part(parts.lpszUrlPath, parts.dwUrlPathLength) + part(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    auto request = std::make_shared<Request>();
    request->body = body;
    // Declared in this order, the request's handle closes before its connection's.
    auto* connectionContext = new Context{request};
    const windows::InternetHandle connection(windows::internet().connect(internet.get(), host.c_str(), parts.nPort, nullptr, nullptr,
                                                              INTERNET_SERVICE_HTTP, 0,
                                                              reinterpret_cast<DWORD_PTR>(connectionContext)));
    if (!connection) {
        delete connectionContext;
        throw windows::Exception(String::substitute("InternetConnect %", url));
    }
    // Certificates are checked as the system checks them: an update notice
    // must not come from whoever answers in the middle.
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | (https ? INTERNET_FLAG_SECURE : 0);
    auto* requestContext = new Context{request};
    const windows::InternetHandle httpRequest(windows::internet().openRequest(connection.get(), verb.toWide().c_str(),
                                                               target.c_str(), L"HTTP/1.0", nullptr, nullptr, flags,
                                                               reinterpret_cast<DWORD_PTR>(requestContext)));
    if (!httpRequest) {
        delete requestContext;
        throw windows::Exception(String::substitute("HttpOpenRequest %", url));
    }
    const std::wstring wideHeaders = headers.toWide();
    if (!wideHeaders.empty() &&
        !windows::internet().addRequestHeaders(httpRequest.get(), wideHeaders.c_str(), static_cast<DWORD>(wideHeaders.size()),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE))
        throw windows::Exception(String::substitute("HttpAddRequestHeaders %", url));

    INTERNET_BUFFERSW buffers = {};
    buffers.dwStructSize = sizeof(buffers);
    buffers.dwBufferTotal = static_cast<DWORD>(request->body.size());
    run(*request, deadline, infinite, "HttpSendRequestEx",
        [&] { return windows::internet().sendRequest(httpRequest.get(), &buffers, nullptr, 0, 0); });
    std::size_t written = 0;
    while (written < request->body.size()) {
        run(*request, deadline, infinite, "InternetWriteFile", [&] {
            return windows::internet().writeFile(httpRequest.get(), request->body.data() + written,
                                     static_cast<DWORD>(request->body.size() - written), &request->transferred);
        });
        if (request->transferred == 0) throw IOException(String::substitute("Sending to % stopped", url));
        written += request->transferred;
    }
    run(*request, deadline, infinite, "HttpEndRequest",
        [&] { return windows::internet().endRequest(httpRequest.get(), nullptr, 0, 0); });

    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!windows::internet().queryInfo(httpRequest.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        throw windows::Exception(String::substitute("HttpQueryInfo %", url));
    if (status != 200) {
        std::wstring text(256, L'\0');
        DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        String reason;
        if (windows::internet().queryInfo(httpRequest.get(), HTTP_QUERY_STATUS_TEXT, text.data(), &bytes, nullptr))
            reason = String(text.substr(0, bytes / sizeof(wchar_t)));
        std::wstring raw(4096, L'\0');
        bytes = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
        String rawHeaders;
        if (windows::internet().queryInfo(httpRequest.get(), HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &bytes, nullptr))
            rawHeaders = String(raw.substr(0, bytes / sizeof(wchar_t)));
        throw Http::Exception(url, status, reason, rawHeaders);
    }

    String received;
    for (;;) {
        run(*request, deadline, infinite, "InternetReadFile", [&] {
            return windows::internet().readFile(httpRequest.get(), request->buffer.data(), static_cast<DWORD>(request->buffer.size()),
                                    &request->transferred);
        });
        if (request->transferred == 0) break;
        if (received.size() + request->transferred > bodyLimit)
            throw IOException(String::substitute("The answer from % is larger than % bytes", url, bodyLimit));
        received.append(request->buffer.data(), request->transferred);
        if (!infinite && Time() >= deadline) throw TimeoutException();
    }
    return received;
}

}  // namespace cpp
