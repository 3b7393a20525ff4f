#include "platform/linux/audio/PulseDeviceMonitor.h"

namespace vokari::platform_linux {

namespace {
constexpr double kTimeoutSeconds = 1.0; // main thread: see PulseAudioEngine
constexpr double kReconnectSeconds = 1.0;

struct SourceQuery {
    explicit SourceQuery(PulseConnection* connection) : connection(connection) {}
    PulseConnection* connection;
    bool found = false;
    std::uint32_t index = PA_INVALID_INDEX;
    std::string description;
};

void sourceQueryCallback(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* query = static_cast<SourceQuery*>(userdata);
    if (eol == 0 && info) {
        query->found = true;
        query->index = info->index;
        query->description = info->description ? info->description : (info->name ? info->name : "");
    }
    query->connection->signal();
}
} // namespace

PulseDeviceMonitor::PulseDeviceMonitor(MainQueue& queue) : queue(queue), connection("Vokari device monitor") {}

std::shared_ptr<PulseDeviceMonitor> PulseDeviceMonitor::create(MainQueue& queue) {
    std::shared_ptr<PulseDeviceMonitor> monitor(new PulseDeviceMonitor(queue));
    {
        PulseConnection::Lock lock(monitor->connection);
        monitor->connection.onConnectionLost = [weak = std::weak_ptr(monitor), q = &queue] {
            q->post([weak] {
                if (auto self = weak.lock()) {
                    self->scheduleReconnect();
                }
            });
        };
    }
    if (!monitor->ensureConnected()) {
        monitor->scheduleReconnect();
    }
    return monitor;
}

PulseDeviceMonitor::~PulseDeviceMonitor() {
    {
        PulseConnection::Lock lock(connection);
        connection.onConnectionLost = nullptr;
    }
    connection.disconnect(); // cancels pending queries: no callback reaches this object afterwards
}

bool PulseDeviceMonitor::ensureConnected() {
    if (connection.connect(kTimeoutSeconds)) {
        return false;
    }
    PulseConnection::Lock lock(connection);
    if (subscribedGeneration == connection.contextGeneration()) {
        return true;
    }
    subscribedGeneration = connection.contextGeneration();
    pa_context_set_subscribe_callback(connection.context(), &PulseDeviceMonitor::subscriptionCallback, this);
    if (auto* op = pa_context_subscribe(connection.context(), PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr)) {
        pa_operation_unref(op);
    }
    // A default that changed while the server was out of reach counts as a change.
    auto name = readDefaultSourceName();
    if (name && !name->empty()) {
        const bool changed = !lastDefaultName.empty() && *name != lastDefaultName;
        lastDefaultName = *name;
        if (changed) {
            queue.post([weak = weak_from_this()] {
                if (auto self = weak.lock()) {
                    self->fireListeners();
                }
            });
        }
    }
    return true;
}

std::optional<std::string> PulseDeviceMonitor::readDefaultSourceName() {
    struct Query {
        PulseConnection* connection;
        std::optional<std::string> name;
    } query{&connection, std::nullopt};
    auto callback = [](pa_context*, const pa_server_info* info, void* userdata) {
        auto* q = static_cast<Query*>(userdata);
        if (info) {
            q->name = info->default_source_name ? info->default_source_name : "";
        }
        q->connection->signal();
    };
    connection.await(pa_context_get_server_info(connection.context(), callback, &query), kTimeoutSeconds);
    return query.name;
}

AudioDeviceId PulseDeviceMonitor::defaultInputDevice() {
    if (!ensureConnected()) {
        return PA_INVALID_INDEX;
    }
    PulseConnection::Lock lock(connection);
    SourceQuery query(&connection);
    connection.await(
        pa_context_get_source_info_by_name(connection.context(), "@DEFAULT_SOURCE@", &sourceQueryCallback, &query),
        kTimeoutSeconds);
    return query.found ? query.index : PA_INVALID_INDEX;
}

std::optional<std::string> PulseDeviceMonitor::deviceName(AudioDeviceId device) {
    if (device == PA_INVALID_INDEX || !ensureConnected()) {
        return std::nullopt;
    }
    PulseConnection::Lock lock(connection);
    SourceQuery query(&connection);
    connection.await(pa_context_get_source_info_by_index(connection.context(), device, &sourceQueryCallback, &query),
                     kTimeoutSeconds);
    if (!query.found) {
        return std::nullopt;
    }
    return query.description;
}

std::string PulseDeviceMonitor::defaultSourceName() {
    PulseConnection::Lock lock(connection);
    return lastDefaultName;
}

Subscription PulseDeviceMonitor::addDefaultDeviceListener(std::function<void()> fn) {
    std::uint64_t id;
    {
        std::lock_guard lock(listenerMutex);
        listener = std::move(fn);
        id = ++listenerId;
    }
    return Subscription([weak = weak_from_this(), id] {
        if (auto self = weak.lock()) {
            std::lock_guard lock(self->listenerMutex);
            if (self->listenerId == id) {
                self->listener = nullptr;
            }
        }
    });
}

void PulseDeviceMonitor::fireListeners() {
    std::function<void()> fn;
    {
        std::lock_guard lock(listenerMutex);
        fn = listener;
    }
    if (fn) {
        fn();
    }
}

void PulseDeviceMonitor::scheduleReconnect() {
    if (reconnectPending) {
        return;
    }
    reconnectPending = true;
    queue.postAfter(kReconnectSeconds, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->reconnectPending = false;
            if (!self->ensureConnected()) {
                self->scheduleReconnect();
            }
        }
    });
}

void PulseDeviceMonitor::subscriptionCallback(pa_context* context, pa_subscription_event_type_t type, std::uint32_t,
                                              void* userdata) {
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SERVER) {
        return;
    }
    // Server changes include a new default source; re-read it and compare.
    auto callback = [](pa_context*, const pa_server_info* info, void* userdata) {
        auto* self = static_cast<PulseDeviceMonitor*>(userdata);
        if (!info || !info->default_source_name || self->lastDefaultName == info->default_source_name) {
            return;
        }
        self->lastDefaultName = info->default_source_name;
        self->queue.post([weak = self->weak_from_this()] {
            if (auto monitor = weak.lock()) {
                monitor->fireListeners();
            }
        });
    };
    if (auto* op = pa_context_get_server_info(context, callback, userdata)) {
        pa_operation_unref(op);
    }
}

} // namespace vokari::platform_linux
