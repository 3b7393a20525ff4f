#include "platform/linux/audio/PulseAudioEngine.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vokari::platform_linux {

namespace {
// A healthy server answers in milliseconds; start-up runs on the main thread, so a hung one may cost at most
// this once (PulseConnection then skips further look-ups for a while).
constexpr double kTimeoutSeconds = 1.0;
// How often the server hands over what it recorded. What it still holds when a recording stops is lost, so this is
// well under the tap's 100 ms blocks, which the engine fills from several fragments.
constexpr pa_usec_t kFragmentUsec = 20'000;
} // namespace

PulseAudioEngine::PulseAudioEngine() : connection("Vokari") {
    connection.onConnectionLost = [this] {
        // The server went away under a running stream: the capture must be rebuilt.
        if (stream && !stopping) {
            notifyConfigurationChange();
        }
    };
}

PulseAudioEngine::~PulseAudioEngine() {
    {
        PulseConnection::Lock lock(connection);
        stopLocked();
        connection.onConnectionLost = nullptr;
        tap = nullptr;
        configHandler = nullptr;
    }
    // No libpulse callback may reach this object once its members start going away.
    connection.disconnect();
}

void PulseAudioEngine::prepare() {
    // A server that is not there yet is no failure here: start() connects again and reports it.
    (void)connection.connect(kTimeoutSeconds);
}

int PulseAudioEngine::bindInputDevice(AudioDeviceId device) {
    if (device == PA_INVALID_INDEX) {
        return -PA_ERR_NOENTITY;
    }
    boundSource = device;
    return 0;
}

std::optional<PulseAudioEngine::SourceDetails> PulseAudioEngine::lookUpSource() {
    SourceDetails details;
    auto callback = [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
        auto* out = static_cast<std::pair<SourceDetails*, PulseConnection*>*>(userdata);
        if (eol == 0 && info) {
            out->first->found = true;
            out->first->index = info->index;
            out->first->name = info->name ? info->name : "";
            out->first->sampleFormat = info->sample_spec;
            out->first->map = info->channel_map;
        }
        out->second->signal();
    };
    std::pair<SourceDetails*, PulseConnection*> target{&details, &connection};
    if (boundSource != PA_INVALID_INDEX) {
        connection.await(pa_context_get_source_info_by_index(connection.context(), boundSource, callback, &target),
                         kTimeoutSeconds);
    }
    if (!details.found) {
        // The bound source is gone (or none was bound): record from whatever the server's default is now.
        connection.await(
            pa_context_get_source_info_by_name(connection.context(), "@DEFAULT_SOURCE@", callback, &target),
            kTimeoutSeconds);
    }
    if (!details.found) {
        return std::nullopt;
    }
    return details;
}

std::optional<std::string> PulseAudioEngine::start() {
    if (auto error = connection.connect(kTimeoutSeconds)) {
        return error;
    }
    PulseConnection::Lock lock(connection);
    if (stream && pa_stream_get_state(stream) == PA_STREAM_READY) {
        return std::nullopt;
    }
    stopLocked(); // a stream the server killed (or the old context's) is of no use
    if (subscribedGeneration != connection.contextGeneration()) {
        subscribedGeneration = connection.contextGeneration();
        pa_context_set_subscribe_callback(connection.context(), &PulseAudioEngine::subscriptionCallback, this);
        if (auto* op = pa_context_subscribe(connection.context(), PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr)) {
            pa_operation_unref(op);
        }
    }

    auto source = lookUpSource();
    if (!source) {
        if (PulseConnection::serverStalled()) {
            return std::string(pa_strerror(PA_ERR_TIMEOUT));
        }
        return connection.isReady() ? std::string(pa_strerror(PA_ERR_NOENTITY)) : connection.lastError();
    }
    pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, source->sampleFormat.rate, source->sampleFormat.channels};
    pa_channel_map map = source->map;
    if (!pa_channel_map_compatible(&map, &sampleFormat)) {
        pa_channel_map_init_auto(&map, sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);
    }
    stream = pa_stream_new(connection.context(), "Dictation", &sampleFormat, &map);
    if (!stream) {
        return connection.lastError();
    }
    pa_stream_set_state_callback(stream, &PulseAudioEngine::streamStateCallback, this);
    pa_stream_set_read_callback(stream, &PulseAudioEngine::streamReadCallback, this);
    pa_stream_set_moved_callback(stream, &PulseAudioEngine::streamChangedCallback, this);
    pa_stream_set_suspended_callback(stream, &PulseAudioEngine::streamChangedCallback, this);

    pa_buffer_attr attr;
    std::memset(&attr, 0xff, sizeof attr);
    attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragmentUsec, &sampleFormat));
    stopping = false;
    if (pa_stream_connect_record(stream, source->name.c_str(), &attr, PA_STREAM_ADJUST_LATENCY) < 0) {
        std::string error = connection.lastError();
        stopLocked();
        return error;
    }
    const bool settled = connection.waitUntil(
        [this] {
            auto state = pa_stream_get_state(stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        kTimeoutSeconds);
    if (!settled || pa_stream_get_state(stream) != PA_STREAM_READY) {
        std::string error = settled ? connection.lastError() : std::string(pa_strerror(PA_ERR_TIMEOUT));
        stopLocked();
        return error;
    }
    const pa_sample_spec* actual = pa_stream_get_sample_spec(stream);
    format = AudioFormat{static_cast<double>(actual->rate), actual->channels, CommonFormat::float32, true};
    sourceIndex = pa_stream_get_device_index(stream);
    const char* deviceName = pa_stream_get_device_name(stream);
    currentSource = deviceName ? deviceName : source->name;
    tapFilled = 0;
    return std::nullopt;
}

void PulseAudioEngine::stop() {
    PulseConnection::Lock lock(connection);
    stopLocked();
}

void PulseAudioEngine::stopLocked() {
    if (!stream) {
        return;
    }
    stopping = true;
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_moved_callback(stream, nullptr, nullptr);
    pa_stream_set_suspended_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
    stream = nullptr;
    format = AudioFormat{0.0, 0};
    currentSource.clear();
    sourceIndex = PA_INVALID_INDEX;
    tapFilled = 0;
}

AudioFormat PulseAudioEngine::inputFormat() const {
    PulseConnection::Lock lock(const_cast<PulseConnection&>(connection));
    return format;
}

std::string PulseAudioEngine::sourceName() const {
    PulseConnection::Lock lock(const_cast<PulseConnection&>(connection));
    return currentSource;
}

std::optional<std::string> PulseAudioEngine::installTap(std::uint32_t frames, TapBlock block) {
    PulseConnection::Lock lock(connection);
    if (!stream || format.channelCount == 0) {
        return std::string("the input is not running");
    }
    if (frames == 0) {
        return std::string("invalid tap buffer size 0");
    }
    tapBlock.assign(static_cast<std::size_t>(frames) * format.channelCount, 0.0f);
    tapFrames = frames;
    tapFilled = 0;
    tap = std::move(block);
    // What the stream recorded between its start and now waited in its buffer: the first words of a recording are
    // in there. The loop lock is held, so this is ordered with the loop thread's reads as if it ran there.
    readAvailable();
    return std::nullopt;
}

void PulseAudioEngine::flushTap() {
    // Under the loop lock, as the loop thread's own reads are, so the block is never handed over twice at once.
    PulseConnection::Lock lock(connection);
    readAvailable();
    if (tap && tapFilled > 0) {
        const std::uint32_t frames = std::exchange(tapFilled, 0u);
        tap(AudioInputBuffer{format, frames, tapBlock.data()});
    }
}

void PulseAudioEngine::removeTap() {
    // The tap only runs under the loop lock, so once this returns it is not running.
    TapBlock old;
    {
        PulseConnection::Lock lock(connection);
        old = std::move(tap);
        tap = nullptr;
        tapFilled = 0;
    }
}

Subscription PulseAudioEngine::observeConfigurationChanges(std::function<void()> fn) {
    std::uint64_t id;
    {
        PulseConnection::Lock lock(connection);
        configHandler = std::move(fn);
        id = ++configHandlerId;
    }
    return Subscription([weak = weak_from_this(), id] {
        if (auto self = weak.lock()) {
            PulseConnection::Lock lock(self->connection);
            if (self->configHandlerId == id) {
                self->configHandler = nullptr;
            }
        }
    });
}

void PulseAudioEngine::notifyConfigurationChange() {
    if (configHandler) {
        configHandler();
    }
}

void PulseAudioEngine::streamStateCallback(pa_stream* s, void* userdata) {
    auto* self = static_cast<PulseAudioEngine*>(userdata);
    const auto state = pa_stream_get_state(s);
    if (!PA_STREAM_IS_GOOD(state) && !self->stopping && state != PA_STREAM_UNCONNECTED) {
        // Killed by the server (source removed, module unloaded): the capture must be rebuilt.
        self->notifyConfigurationChange();
    }
    self->connection.signal();
}

void PulseAudioEngine::streamChangedCallback(pa_stream*, void* userdata) {
    // Moved to another source or suspended: the input the capture was set up for is gone.
    static_cast<PulseAudioEngine*>(userdata)->notifyConfigurationChange();
}

void PulseAudioEngine::streamReadCallback(pa_stream*, size_t, void* userdata) {
    static_cast<PulseAudioEngine*>(userdata)->readAvailable();
}

void PulseAudioEngine::readAvailable() {
    // Audio thread: copies into the preallocated block and hands full blocks to the tap; no logging, no allocation.
    const std::size_t frameBytes = sizeof(float) * std::max<std::uint32_t>(1, format.channelCount);
    // Without a tap the data stays in the stream's buffer until one is installed (see installTap).
    while (stream && tap && pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) {
            return;
        }
        if (data && tapFrames > 0) {
            const auto* samples = static_cast<const float*>(data);
            std::size_t frames = bytes / frameBytes;
            while (frames > 0) {
                const std::size_t take = std::min<std::size_t>(frames, tapFrames - tapFilled);
                std::memcpy(tapBlock.data() + static_cast<std::size_t>(tapFilled) * format.channelCount, samples,
                            take * frameBytes);
                samples += take * format.channelCount;
                frames -= take;
                tapFilled += static_cast<std::uint32_t>(take);
                if (tapFilled == tapFrames) {
                    tapFilled = 0;
                    tap(AudioInputBuffer{format, tapFrames, tapBlock.data()});
                    if (!tap) {
                        break;
                    }
                }
            }
        }
        // data == nullptr is a hole in the record buffer: nothing to copy, just skip it.
        pa_stream_drop(stream);
    }
}

void PulseAudioEngine::subscriptionCallback(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index,
                                            void* userdata) {
    auto* self = static_cast<PulseAudioEngine*>(userdata);
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility != PA_SUBSCRIPTION_EVENT_SOURCE || kind != PA_SUBSCRIPTION_EVENT_CHANGE || !self->stream ||
        index != self->sourceIndex) {
        return;
    }
    // The source changed: if its sample format no longer matches the stream's, the stream is resampling a
    // different input than the capture was set up for.
    auto callback = [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
        auto* engine = static_cast<PulseAudioEngine*>(userdata);
        if (eol != 0 || !info || !engine->stream || info->index != engine->sourceIndex) {
            return;
        }
        if (static_cast<double>(info->sample_spec.rate) != engine->format.sampleRate ||
            info->sample_spec.channels != engine->format.channelCount) {
            engine->notifyConfigurationChange();
        }
    };
    if (auto* op = pa_context_get_source_info_by_index(context, index, callback, self)) {
        pa_operation_unref(op);
    }
}

} // namespace vokari::platform_linux
