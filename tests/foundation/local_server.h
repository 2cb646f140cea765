#pragma once

#include <asio.hpp>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/duration.h"
#include "foundation/string.h"

namespace testing_support {

// An HTTP server on 127.0.0.1 that answers each connection with `answer`.
class LocalServer {
public:
    using Answer = std::function<void(asio::ip::tcp::socket&, const std::string& request)>;

    explicit LocalServer(Answer answer)
        : answer_(std::move(answer)), acceptor_(io_, {asio::ip::make_address("127.0.0.1"), 0}) {
        port_ = acceptor_.local_endpoint().port();
        thread_ = std::thread([this] { serve(); });
    }
    ~LocalServer() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        stopped_.notify_all();
        asio::error_code ignored;
        acceptor_.close(ignored);
        thread_.join();
    }

    cpp::String url(const char* path) const { return cpp::String::substitute("http://127.0.0.1:%%", port_, path); }
    unsigned short port() const { return port_; }
    // Waits until the server stops or the time is up.
    void hold(cpp::Duration limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        stopped_.wait_for(lock, limit.toChrono(), [this] { return stopping_; });
    }
    std::string lastRequest() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastRequest_;
    }

private:
    void serve() {
        for (;;) {
            asio::ip::tcp::socket socket(io_);
            asio::error_code error;
            acceptor_.accept(socket, error);
            if (error) return;
            std::string request = readRequest(socket);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                lastRequest_ = request;
            }
            try {
                answer_(socket, request);
            } catch (const std::exception&) {
                // The client gave up; the next one may come.
            }
        }
    }

    static std::string readRequest(asio::ip::tcp::socket& socket) {
        std::string data;
        asio::error_code error;
        const std::size_t headerEnd = asio::read_until(socket, asio::dynamic_buffer(data), "\r\n\r\n", error);
        if (error) return data;
        std::size_t length = 0;
        const auto at = data.find("Content-Length: ");
        if (at != std::string::npos) length = std::stoul(data.substr(at + 16));
        if (data.size() < headerEnd + length)
            asio::read(socket, asio::dynamic_buffer(data), asio::transfer_exactly(headerEnd + length - data.size()), error);
        return data;
    }

    Answer answer_;
    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    unsigned short port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    std::string lastRequest_;
};

inline void reply(asio::ip::tcp::socket& socket, const char* status, const std::string& body) {
    const std::string answer = std::string("HTTP/1.0 ") + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body;
    asio::write(socket, asio::buffer(answer));
}

}  // namespace testing_support
