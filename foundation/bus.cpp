#include "foundation/bus.h"

#include <deque>
#include <map>

#include "foundation/thread_group.h"

namespace cpp {

namespace {

using Queue = std::map<Time, std::deque<Bus::Task>>;

void append(Queue& queue, const Time& due, Bus::Task task) { queue[due].push_back(std::move(task)); }

}  // namespace

struct Bus::Detail {
    explicit Detail(const String& name) : workers(name, [this] { work(); }) {}
    ~Detail() { workers.resize(0); }

    void work();
    void runGuarded(const Task& task);

    std::thread::id mainThread = std::this_thread::get_id();
    Mutex workerMutex;
    Queue workerQueue;
    Mutex mainMutex;
    Queue mainQueue;
    std::mutex handlerLock;
    ErrorHandler errorHandler;
    // Last: stopped first, while the queues still exist.
    ThreadGroup workers;
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

Bus::Bus(std::size_t threads, const String& name) : detail_(std::make_shared<Detail>(name)) {
    detail_->workers.resize(threads);
}

void Bus::schedule(Task task, Duration delay) {
    Mutex::Lock lock(detail_->workerMutex, true);
    append(detail_->workerQueue, Time() + delay, std::move(task));
    detail_->workerMutex.notifyOne();
}

void Bus::invokeOnMain(Task task) {
    if (std::this_thread::get_id() == detail_->mainThread) {
        task();
        return;
    }
    auto state = std::make_shared<PromisedState<void>>();
    {
        Mutex::Lock lock(detail_->mainMutex, true);
        append(detail_->mainQueue, Time(), [state, task = std::move(task)] {
            try {
                task();
                state->setValue();
            } catch (...) {
                state->setException(std::current_exception());
            }
        });
    }
    state->get();
}

void Bus::runMain() {
    std::vector<Task> due;
    {
        Mutex::Lock lock(detail_->mainMutex, false);
        const Time now;
        auto entry = detail_->mainQueue.begin();
        while (entry != detail_->mainQueue.end() && entry->first <= now) {
            for (Task& task : entry->second) due.push_back(std::move(task));
            entry = detail_->mainQueue.erase(entry);
        }
    }
    for (const Task& task : due) detail_->runGuarded(task);
}

void Bus::resize(std::size_t threads) { detail_->workers.resize(threads); }

void Bus::setErrorHandler(ErrorHandler handler) {
    std::lock_guard<std::mutex> guard(detail_->handlerLock);
    detail_->errorHandler = std::move(handler);
}

}  // namespace cpp
