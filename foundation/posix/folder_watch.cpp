// Folder changes through inotify; one thread polls the inotify descriptor and
// a pipe that wakes it to stop.
#include "foundation/folder_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "foundation/thread_name.h"

namespace cpp {

struct FolderWatch::Registration {
    int descriptor = -1;  // the inotify watch; -1 when the folder is not watched
    std::function<void()> changed;
};

class FolderWatch::Service {
public:
    Service() {
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0) return;
        thread_ = std::thread([this] { run(); });
    }

    ~Service() {
        if (thread_.joinable()) {
            const char stop = 0;
            while (::write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
            }
            thread_.join();
        }
        for (int end : wake_)
            if (end >= 0) ::close(end);
        if (inotify_ >= 0) ::close(inotify_);
    }

    static std::shared_ptr<Service> shared() {
        static std::mutex lock;
        static std::weak_ptr<Service> running;
        std::lock_guard<std::mutex> guard(lock);
        auto service = running.lock();
        if (!service) {
            service = std::make_shared<Service>();
            running = service;
        }
        return service;
    }

    void add(const std::shared_ptr<Registration>& registration, const FilePath& folder) {
        if (!thread_.joinable()) return;
        std::lock_guard<std::mutex> guard(lock_);
        // The same folder gives the same descriptor; it stays until its last
        // registration goes.
        const int descriptor = ::inotify_add_watch(
            inotify_, folder.toNative().c_str(),
            IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_CLOSE_WRITE);
        if (descriptor < 0) return;
        registration->descriptor = descriptor;
        watches_.emplace(descriptor, registration.get());
    }

    void remove(Registration& registration) {
        std::lock_guard<std::mutex> guard(lock_);
        const int descriptor = registration.descriptor;
        if (descriptor < 0) return;
        for (auto [at, end] = watches_.equal_range(descriptor); at != end; ++at) {
            if (at->second == &registration) {
                watches_.erase(at);
                break;
            }
        }
        if (watches_.count(descriptor) == 0) ::inotify_rm_watch(inotify_, descriptor);
        registration.descriptor = -1;
    }

private:
    void run() {
        platform::announceThreadName("Folder watch");
        alignas(inotify_event) char events[16384];
        for (;;) {
            pollfd waits[2] = {{inotify_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::poll(waits, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (waits[1].revents != 0) return;
            for (;;) {
                const ssize_t got = ::read(inotify_, events, sizeof events);
                if (got <= 0) break;
                // A busy folder sends many events: each watcher hears once per read.
                std::set<int> descriptors;
                for (ssize_t at = 0; at < got;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                    descriptors.insert(event->wd);
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
                std::lock_guard<std::mutex> guard(lock_);
                for (const int descriptor : descriptors)
                    for (auto [watch, end] = watches_.equal_range(descriptor); watch != end; ++watch)
                        watch->second->changed();
            }
        }
    }

    int inotify_ = -1;
    int wake_[2] = {-1, -1};
    std::mutex lock_;  // guards watches_; held while calling back
    std::multimap<int, Registration*> watches_;
    std::thread thread_;
};

FolderWatch::FolderWatch(const FilePath& folder, std::function<void()> changed)
    : service_(Service::shared()), registration_(std::make_shared<Registration>()) {
    registration_->changed = std::move(changed);
    service_->add(registration_, folder);
}

FolderWatch::~FolderWatch() { service_->remove(*registration_); }

bool FolderWatch::active() const { return registration_->descriptor >= 0; }

}  // namespace cpp
