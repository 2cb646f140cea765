#include <gtest/gtest.h>

#include <asio.hpp>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "foundation/http.h"
#include "local_server.h"
#include "foundation/time.h"
#include "foundation/windows_exception.h"

using cpp::Duration;
using cpp::Http;
using cpp::String;
using testing_support::LocalServer;
using testing_support::reply;

namespace {

const Duration generous = Duration::seconds(20);

}  // namespace

TEST(Http, ABodyIsReadWholeAndAPostSendsItsBody) {
    std::string big;
    for (int i = 0; big.size() < 200000; ++i) big += "line " + std::to_string(i) + "\n";
    LocalServer server([&](asio::ip::tcp::socket& socket, const std::string& request) {
        if (request.rfind("POST", 0) == 0) {
            reply(socket, "200 OK", "got: " + request.substr(request.find("\r\n\r\n") + 4));
        } else {
            reply(socket, "200 OK", request.find("/big") != std::string::npos ? big : "0.83\n");
        }
    });
    Http http("qi-lark");
    EXPECT_EQ(http.get(server.url("/version.txt"), "", generous), "0.83\n");
    EXPECT_NE(server.lastRequest().find("User-Agent: qi-lark"), std::string::npos) << server.lastRequest();
    EXPECT_EQ(http.get(server.url("/big"), "", generous), big) << "more than 64 KiB";
    const std::string longTarget = "/" + std::string(3000, 'p') + "?q=" + std::string(3000, 'x');
    EXPECT_EQ(http.get(server.url(longTarget.c_str()), "", generous), "0.83\n");
    EXPECT_EQ(server.lastRequest().rfind("GET " + longTarget + " ", 0), 0u) << "the whole address, however long";
    EXPECT_EQ(http.post(server.url("/echo"), "Content-Type: text/plain\r\n", "hello body", generous), "got: hello body");
}

TEST(Http, AnswersOtherThanOkAreErrorsWithTheirCode) {
    LocalServer server([](asio::ip::tcp::socket& socket, const std::string&) {
        reply(socket, "404 Not Found", "<html>nginx/1.24</html>");
    });
    Http http("qi-lark");
    const String url = server.url("/version.txt");
    try {
        http.get(url, "", generous);
        ADD_FAILURE() << "a 404 came back as a body";
    } catch (const Http::Exception& e) {
        EXPECT_EQ(e.status(), 404u);
        EXPECT_EQ(e.url(), url);
        EXPECT_STREQ(e.what(), String::substitute("% : Not Found (404)", url).c_str());
    }
}

TEST(Http, DeadlinesSizeLimitsAndRefusedConnections) {
    // A server that accepts and never answers.
    LocalServer* self = nullptr;
    LocalServer holding([&](asio::ip::tcp::socket&, const std::string&) { self->hold(Duration::seconds(30)); });
    self = &holding;
    Http http("qi-lark");
    const cpp::Time start;
    EXPECT_THROW(http.get(holding.url("/x"), "", Duration::milliseconds(500)), cpp::TimeoutException);
    EXPECT_LT((cpp::Time() - start).count(), Duration::seconds(10).count()) << "the deadline holds";

    // Each answer comes once its request was given up, and finds it so.
    std::mutex lock;
    std::condition_variable changed;
    int givenUp = 0, answered = 0;
    bool done = false;
    LocalServer slow([&](asio::ip::tcp::socket& socket, const std::string&) {
        std::unique_lock<std::mutex> held(lock);
        changed.wait_for(held, std::chrono::seconds(30), [&] { return givenUp > answered || done; });
        held.unlock();
        try {
            reply(socket, "200 OK", "late");
        } catch (const std::exception&) {
        }
        held.lock();
        ++answered;
        changed.notify_all();
    });
    for (int i = 0; i < 4; ++i) {
        EXPECT_THROW(http.get(slow.url("/late"), "", Duration::milliseconds(200)), cpp::TimeoutException);
        std::lock_guard<std::mutex> held(lock);
        ++givenUp;
        changed.notify_all();
    }
    {
        std::unique_lock<std::mutex> held(lock);
        EXPECT_TRUE(changed.wait_for(held, std::chrono::seconds(30), [&] { return answered == 4; }))
            << answered << " late answers sent";
        done = true;
        changed.notify_all();
    }

    LocalServer flood([](asio::ip::tcp::socket& socket, const std::string&) {
        reply(socket, "200 OK", std::string(3 << 20, 'x'));
    });
    try {
        http.get(flood.url("/flood"), "", generous);
        ADD_FAILURE() << "an oversized body was accepted";
    } catch (const cpp::IOException& e) {
        EXPECT_NE(String(e.what()).find("larger than"), std::string::npos) << e.what();
    }

    unsigned short closedPort = 0;
    {
        LocalServer gone([](asio::ip::tcp::socket&, const std::string&) {});
        closedPort = gone.port();
    }
    try {
        http.get(String::substitute("http://127.0.0.1:%/x", closedPort), "", generous);
        ADD_FAILURE() << "a refused connection succeeded";
    } catch (const cpp::windows::Exception& e) {
        EXPECT_FALSE(String(e.what()).empty());
    }
}
