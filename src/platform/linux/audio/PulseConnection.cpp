#include "platform/linux/audio/PulseConnection.h"

#include <atomic>
#include <chrono>
#include <sys/time.h>

namespace vokari::platform_linux {
namespace {

using StallClock = std::chrono::steady_clock;
std::atomic<StallClock::rep> stalledUntil{0};
std::atomic<std::uint64_t> timedOutCount{0};

std::string stalledError() {
    return pa_strerror(PA_ERR_TIMEOUT);
}

} // namespace

bool PulseConnection::serverStalled() {
    return StallClock::now().time_since_epoch().count() < stalledUntil.load();
}

std::uint64_t PulseConnection::timedOutWaits() {
    return timedOutCount.load();
}

PulseConnection::PulseConnection(std::string name) : clientName(std::move(name)) {
    mainloop = pa_threaded_mainloop_new();
    if (mainloop) {
        pa_threaded_mainloop_set_name(mainloop, "vokari-pulse");
        if (pa_threaded_mainloop_start(mainloop) < 0) {
            pa_threaded_mainloop_free(mainloop);
            mainloop = nullptr;
        }
    }
}

PulseConnection::~PulseConnection() {
    if (!mainloop) {
        return;
    }
    {
        Lock lock(*this);
        dropContext();
    }
    pa_threaded_mainloop_stop(mainloop);
    pa_threaded_mainloop_free(mainloop);
}

PulseConnection::Lock::Lock(PulseConnection& connection) : loop(connection.mainloop) {
    if (loop) {
        pa_threaded_mainloop_lock(loop);
    }
}

PulseConnection::Lock::~Lock() {
    if (loop) {
        pa_threaded_mainloop_unlock(loop);
    }
}

void PulseConnection::signal() {
    pa_threaded_mainloop_signal(mainloop, 0);
}

void PulseConnection::dropContext() {
    if (!ctx) {
        return;
    }
    pa_context_set_state_callback(ctx, nullptr, nullptr);
    pa_context_set_subscribe_callback(ctx, nullptr, nullptr);
    pa_context_disconnect(ctx);
    pa_context_unref(ctx);
    ctx = nullptr;
    wasReady = false;
}

void PulseConnection::disconnect() {
    Lock lock(*this);
    dropContext();
}

bool PulseConnection::isReady() const {
    return ctx && pa_context_get_state(ctx) == PA_CONTEXT_READY;
}

std::string PulseConnection::lastError() const {
    return pa_strerror(ctx ? pa_context_errno(ctx) : PA_ERR_CONNECTIONREFUSED);
}

void PulseConnection::contextStateCallback(pa_context* context, void* userdata) {
    auto* self = static_cast<PulseConnection*>(userdata);
    const auto state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        self->wasReady = true;
    } else if (!PA_CONTEXT_IS_GOOD(state) && self->wasReady) {
        self->wasReady = false;
        if (self->onConnectionLost) {
            self->onConnectionLost();
        }
    }
    self->signal();
}

std::optional<std::string> PulseConnection::connect(double timeoutSeconds) {
    if (!mainloop) {
        return std::string("cannot start the sound server connection thread");
    }
    Lock lock(*this);
    if (isReady()) {
        return std::nullopt;
    }
    if (serverStalled()) {
        return stalledError(); // the server just failed to answer: do not block on it again so soon
    }
    dropContext();
    ctx = pa_context_new(pa_threaded_mainloop_get_api(mainloop), clientName.c_str());
    if (!ctx) {
        return std::string("cannot create a sound server context");
    }
    pa_context_set_state_callback(ctx, &PulseConnection::contextStateCallback, this);
    if (pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        std::string error = lastError();
        dropContext();
        return error;
    }
    const bool settled = waitUntil(
        [this] {
            auto state = pa_context_get_state(ctx);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        timeoutSeconds);
    if (!settled) {
        dropContext();
        return stalledError();
    }
    if (!isReady()) {
        std::string error = lastError();
        dropContext();
        return error;
    }
    ++generation;
    return std::nullopt;
}

namespace {
struct WaitTimer {
    bool fired = false;
    PulseConnection* connection = nullptr;
};
void waitTimerCallback(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* timer = static_cast<WaitTimer*>(userdata);
    timer->fired = true;
    timer->connection->signal();
}
} // namespace

bool PulseConnection::waitUntil(const std::function<bool()>& done, double timeoutSeconds) {
    if (done()) {
        return true;
    }
    if (serverStalled()) {
        return false;
    }
    WaitTimer timer{false, this};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop);
    struct timeval deadline {};
    pa_gettimeofday(&deadline);
    pa_timeval_add(&deadline, static_cast<pa_usec_t>(timeoutSeconds * 1e6));
    pa_time_event* event = api->time_new(api, &deadline, &waitTimerCallback, &timer);
    bool ok = true;
    while (!done()) {
        if (timer.fired) {
            ok = false;
            break;
        }
        pa_threaded_mainloop_wait(mainloop);
    }
    api->time_free(event);
    if (!ok) {
        // A hung server would cost the full time-out on every further look-up of this start-up; skip them.
        const auto holdOff =
            std::chrono::duration_cast<StallClock::duration>(std::chrono::duration<double>(stallHoldOffSeconds));
        stalledUntil.store((StallClock::now() + holdOff).time_since_epoch().count());
        ++timedOutCount;
    }
    return ok;
}

bool PulseConnection::await(pa_operation* operation, double timeoutSeconds) {
    if (!operation) {
        return false;
    }
    // A failing context cancels its operations; its state callback signals, so the wait re-checks.
    bool ok =
        waitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, timeoutSeconds);
    if (!ok) {
        pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
    return ok;
}

} // namespace vokari::platform_linux
