#pragma once
// A request body that is still being produced while the request is under way (a recording streamed as it is
// captured). The producer appends bytes and ends the body with finish(), or gives the request up with abort();
// the transport drains it on its worker thread. Any thread may call any member; one lock guards the buffer.
// Shared (shared_ptr) by the producer and the transport for the length of one request.
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace vokari {

class UploadStream {
public:
    // The transport is woken once at least `wakeBytes` wait (finish, abort and flush wake it at once), so a
    // producer that appends small blocks still goes out in chunks of about that size.
    explicit UploadStream(std::size_t wakeBytes = 0);

    // Producer side. Bytes appended after finish, abort or the end of the request are dropped.
    void append(std::string_view bytes);
    void flush();
    void finish();
    void abort();

    // Transport side. `wake` is called (on the producer's thread, never under the stream's lock) when there is
    // something new to read; it must be cheap and must not call back into the stream.
    void setWakeup(std::function<void()> wake);
    enum class Read { data, wait, end, aborted };
    // Copies up to `max` waiting bytes into `out` (count in `taken`); `wait` when none wait yet.
    Read read(char* out, std::size_t max, std::size_t& taken);
    bool aborted() const;
    // Bytes wait, or the body ended or was given up: a paused upload has something to do.
    bool readable() const;
    // The request is over (answered, failed or cancelled): later appends are dropped.
    void close();
    bool closed() const;
    // Bytes handed to the transport so far.
    std::size_t bytesRead() const;

private:
    void wakeUp(std::unique_lock<std::mutex>& lock);

    const std::size_t wakeBytes;
    mutable std::mutex mutex;
    std::string pending;
    std::size_t readOffset = 0;
    std::size_t handedOut = 0;
    bool finished = false;
    bool isAborted = false;
    bool isClosed = false;
    std::function<void()> wake;
};

} // namespace vokari
