#include "core/SerialWorker.h"

namespace vokari {

SerialWorker::SerialWorker() : thread([this] { run(); }) {}

SerialWorker::~SerialWorker() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    thread.join();
}

void SerialWorker::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex);
        tasks.push_back(std::move(task));
    }
    wake.notify_one();
}

void SerialWorker::run() {
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !tasks.empty(); });
        if (tasks.empty()) {
            return;
        }
        auto task = std::move(tasks.front());
        tasks.pop_front();
        lock.unlock();
        task();
        task = nullptr; // what it captured goes before the next task runs
        lock.lock();
    }
}

} // namespace vokari
