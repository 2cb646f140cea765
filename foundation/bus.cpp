#include "foundation/bus.h"

#include <deque>
#include <map>

#include "foundation/thread_group.h"

namespace cpp {

namespace {

using Queue = std::map<Time, std::deque<Bus::Task>>;

void append(Queue& queue, const Time& due, Bus::Task task) { queue[due].push_back(std::move(task)); }

}  // namespace

// Workers hold the Detail while they work; the handles hold the Owner, whose
// end stops the workers. So a task that drops the last handle of its own Bus
// ends its worker after the task instead of pulling the queues from under it.
struct Bus::Detail {

    void work();
    void runGuarded(const Task& task);

    std::thread::id mainThread = std::this_thread::get_id();
    Mutex workerMutex;
    Queue workerQueue;
    Mutex mainMutex;
    Queue mainQueue;
    Task mainWake;  // guarded by mainMutex, so it is never called after it was replaced
    std::mutex handlerLock;
    ErrorHandler errorHandler;
    // Last: stopped first, while the queues still exist.
    std::unique_ptr<ThreadGroup> workers;
};

struct Bus::Owner {
    std::shared_ptr<Detail> detail = std::make_shared<Detail>();
    ~Owner() { detail->workers->resize(0); }
};

void Bus::Detail::runGuarded(const Task& task) {
    try {
        task();
    } catch (const std::exception& e) {
        ErrorHandler handler;
        {
            std::lock_guard<std::mutex> guard(handlerLock);
            handler = errorHandler;
        }
        if (handler) handler(e);
    } catch (...) {
    }
}

void Bus::Detail::work() {
    Mutex::Lock lock(workerMutex, true);
    for (;;) {
        Thread::checkInterrupted();
        if (workerQueue.empty()) {
            lock.wait();
            continue;
        }
        const auto first = workerQueue.begin();
        if (first->first > Time()) {
            lock.waitUntil(first->first);
            continue;
        }
        Task task = std::move(first->second.front());
        first->second.pop_front();
        if (first->second.empty()) workerQueue.erase(first);
        lock.unlock();

        const String name = Thread::name();
        runGuarded(task);
        task = nullptr;  // captured state is released outside the lock
        lock.lock();
        if (Thread::name() != name) Thread::setName(name);
    }
}

Bus::Bus(std::size_t threads, const String& name) : owner_(std::make_shared<Owner>()) {
    std::weak_ptr<Detail> weak = owner_->detail;
    owner_->detail->workers = std::make_unique<ThreadGroup>(name, [weak] {
        if (auto detail = weak.lock()) detail->work();
    });
    owner_->detail->workers->resize(threads);
}

void Bus::schedule(Task task, Duration delay) {
    Mutex::Lock lock(owner_->detail->workerMutex, true);
    append(owner_->detail->workerQueue, Time() + delay, std::move(task));
    owner_->detail->workerMutex.notifyOne();
}

void Bus::invokeOnMain(Task task) {
    if (std::this_thread::get_id() == owner_->detail->mainThread) {
        task();
        return;
    }
    auto state = std::make_shared<PromisedState<void>>();
    {
        Mutex::Lock lock(owner_->detail->mainMutex, true);
        append(owner_->detail->mainQueue, Time(), [state, task = std::move(task)] {
            try {
                task();
                state->setValue();
            } catch (...) {
                state->setException(std::current_exception());
            }
        });
        if (owner_->detail->mainWake) owner_->detail->mainWake();
    }
    state->get();
}

void Bus::runMain() {
    std::vector<Task> due;
    {
        Mutex::Lock lock(owner_->detail->mainMutex, false);
        const Time now;
        auto entry = owner_->detail->mainQueue.begin();
        while (entry != owner_->detail->mainQueue.end() && entry->first <= now) {
            for (Task& task : entry->second) due.push_back(std::move(task));
            entry = owner_->detail->mainQueue.erase(entry);
        }
    }
    for (const Task& task : due) owner_->detail->runGuarded(task);
}

void Bus::setMainWake(Task wake) {
    Mutex::Lock lock(owner_->detail->mainMutex, false);
    owner_->detail->mainWake = std::move(wake);
}

void Bus::resize(std::size_t threads) { owner_->detail->workers->resize(threads); }

void Bus::setErrorHandler(ErrorHandler handler) {
    std::lock_guard<std::mutex> guard(owner_->detail->handlerLock);
    owner_->detail->errorHandler = std::move(handler);
}

}  // namespace cpp
