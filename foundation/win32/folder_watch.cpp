// Folder changes through change-notification handles; one thread waits on all
// of them and on an event that tells it the set changed.
#include <windows.h>

#include <mutex>
#include <thread>
#include <vector>

#include "foundation/folder_watch.h"
#include "foundation/thread_name.h"
#include "foundation/win32/owners.h"

namespace cpp {

struct FolderWatch::Registration {
    // Closed only once no wait uses it: the waiting thread holds a reference
    // while it waits.
    windows::ChangeNotification change;
    bool live = true;  // guarded by the service's lock
    std::function<void()> changed;
};

class FolderWatch::Service {
public:
    Service() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        if (wake_) thread_ = std::thread([this] { run(); });
    }

    ~Service() {
        if (thread_.joinable()) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                stopping_ = true;
            }
            SetEvent(wake_.get());
            thread_.join();
        }
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
        // One wait covers the wake event and at most 63 folders; others poll.
        if (watches_.size() + 1 >= MAXIMUM_WAIT_OBJECTS) return;
        registration->change.reset(FindFirstChangeNotificationW(
            folder.toNative().toWide().c_str(), FALSE,
            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE));
        if (!registration->change) return;
        watches_.push_back(registration);
        SetEvent(wake_.get());
    }

    void remove(const std::shared_ptr<Registration>& registration) {
        std::lock_guard<std::mutex> guard(lock_);
        registration->live = false;
        for (auto at = watches_.begin(); at != watches_.end(); ++at) {
            if (*at == registration) {
                watches_.erase(at);
                SetEvent(wake_.get());
                break;
            }
        }
    }

private:
    void run() {
        platform::announceThreadName("Folder watch");
        std::vector<std::shared_ptr<Registration>> waiting;
        std::vector<HANDLE> handles;
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (stopping_) return;
                waiting = watches_;
            }
            handles.assign(1, wake_.get());
            for (const auto& registration : waiting) handles.push_back(registration->change.get());
            const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
            if (woken == WAIT_OBJECT_0) continue;
            if (woken <= WAIT_OBJECT_0 || woken >= WAIT_OBJECT_0 + handles.size()) return;
            const auto& registration = waiting[woken - WAIT_OBJECT_0 - 1];
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (registration->live) registration->changed();
            }
            if (!FindNextChangeNotification(registration->change.get())) remove(registration);
        }
    }

    windows::Handle wake_;
    std::mutex lock_;  // guards watches_, stopping_ and the live flags; held while calling back
    std::vector<std::shared_ptr<Registration>> watches_;
    bool stopping_ = false;
    std::thread thread_;
};

FolderWatch::FolderWatch(const FilePath& folder, std::function<void()> changed)
    : service_(Service::shared()), registration_(std::make_shared<Registration>()) {
    registration_->changed = std::move(changed);
    service_->add(registration_, folder);
}

FolderWatch::~FolderWatch() { service_->remove(registration_); }

bool FolderWatch::active() const { return static_cast<bool>(registration_->change); }

}  // namespace cpp
