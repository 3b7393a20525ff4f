#include "http/UploadStream.h"

#include <algorithm>
#include <cstring>

namespace vokari {

UploadStream::UploadStream(std::size_t wake) : wakeBytes(wake) {}

void UploadStream::append(std::string_view bytes) {
    std::unique_lock lock(mutex);
    if (finished || isAborted || isClosed || bytes.empty()) {
        return;
    }
    pending.append(bytes);
    if (pending.size() - readOffset >= wakeBytes) {
        wakeUp(lock);
    }
}

void UploadStream::flush() {
    std::unique_lock lock(mutex);
    if (pending.size() > readOffset) {
        wakeUp(lock);
    }
}

void UploadStream::finish() {
    std::unique_lock lock(mutex);
    if (finished || isAborted) {
        return;
    }
    finished = true;
    wakeUp(lock);
}

void UploadStream::abort() {
    std::unique_lock lock(mutex);
    if (isAborted) {
        return;
    }
    isAborted = true;
    pending.clear();
    readOffset = 0;
    wakeUp(lock);
}

void UploadStream::setWakeup(std::function<void()> fn) {
    std::lock_guard lock(mutex);
    wake = std::move(fn);
}

// Called outside the lock: the transport's wake-up takes its own lock, and a producer must never hold both.
void UploadStream::wakeUp(std::unique_lock<std::mutex>& lock) {
    auto fn = wake;
    lock.unlock();
    if (fn) {
        fn();
    }
}

UploadStream::Read UploadStream::read(char* out, std::size_t max, std::size_t& taken) {
    std::lock_guard lock(mutex);
    taken = 0;
    if (isAborted) {
        return Read::aborted;
    }
    std::size_t waiting = pending.size() - readOffset;
    if (waiting == 0) {
        return finished ? Read::end : Read::wait;
    }
    taken = std::min(waiting, max);
    std::memcpy(out, pending.data() + readOffset, taken);
    readOffset += taken;
    handedOut += taken;
    if (readOffset == pending.size()) {
        pending.clear();
        readOffset = 0;
    } else if (readOffset > pending.size() / 2) {
        pending.erase(0, readOffset); // keeps a slow uplink from growing the buffer without bound
        readOffset = 0;
    }
    return Read::data;
}

bool UploadStream::aborted() const {
    std::lock_guard lock(mutex);
    return isAborted;
}

bool UploadStream::readable() const {
    std::lock_guard lock(mutex);
    return pending.size() > readOffset || finished || isAborted;
}

void UploadStream::close() {
    std::lock_guard lock(mutex);
    isClosed = true;
    pending.clear();
    readOffset = 0;
    wake = nullptr;
}

bool UploadStream::closed() const {
    std::lock_guard lock(mutex);
    return isClosed;
}

std::size_t UploadStream::bytesRead() const {
    std::lock_guard lock(mutex);
    return handedOut;
}

} // namespace vokari
