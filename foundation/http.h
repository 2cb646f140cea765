#pragma once

#include <cstdint>
#include <memory>

#include "foundation/duration.h"
#include "foundation/exception.h"
#include "foundation/string.h"

namespace cpp {

// Blocking HTTP requests with a deadline, over the system's HTTP stack in
// asynchronous mode (Windows only). The deadline bounds the whole request,
// the body included, and the body is bounded in size.
class Http {
public:
    // An answer other than 200: "URL : reason (code)".
    class Exception : public cpp::Exception {
    public:
        Exception(const String& url, std::uint32_t status, const String& reason, const String& headers)
            : cpp::Exception(String::substitute("% : % (%)", url, reason, status)),
              url_(url),
              status_(status),
              headers_(headers) {}
        const String& url() const { return url_; }
        std::uint32_t status() const { return status_; }
        const String& headers() const { return headers_; }

    private:
        String url_;
        std::uint32_t status_;
        String headers_;
    };

    static constexpr std::size_t defaultBodyLimit = 1 << 20;

    explicit Http(const String& agent);
    ~Http();
    Http(const Http&) = delete;
    Http& operator=(const Http&) = delete;

    // The body of a 200 answer. Throws Http::Exception for another status,
    // TimeoutException past the deadline, IOException for a body over the
    // limit and windows::Exception when the network fails.
    String get(const String& url, const String& headers, Duration timeout,
               std::size_t bodyLimit = defaultBodyLimit);
    String post(const String& url, const String& headers, const String& body, Duration timeout,
                std::size_t bodyLimit = defaultBodyLimit);

    struct Detail;

private:
    std::unique_ptr<Detail> detail_;
};

}  // namespace cpp
