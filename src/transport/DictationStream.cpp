#include "transport/DictationStream.h"

#include "core/DebugLog.h"
#include "transport/RefineClient.h"

namespace vokari {

DictationStream::DictationStream(Fallback fb, std::function<void()> onRefused)
    : fallback(std::move(fb)), refused(std::move(onRefused)) {}

std::shared_ptr<DictationStream> DictationStream::open(HttpTransport& transport, HttpRequest request,
                                                       std::string firstLine, Fallback fallback,
                                                       std::function<void()> refused) {
    std::shared_ptr<DictationStream> stream(new DictationStream(std::move(fallback), std::move(refused)));
    // The fields go out at once, so the backend can prepare (the vocabulary) before the first audio arrives.
    stream->upload->append(firstLine);
    stream->upload->flush();
    transport.sendStreaming(std::move(request), stream->upload,
                            [stream](HttpResult result) { stream->answered(std::move(result)); });
    return stream;
}

bool DictationStream::isRefusal(int status) {
    return status == 404 || status == 405 || status == 501;
}

void DictationStream::appendAudio(std::string_view pcm) {
    upload->append(pcm);
}

void DictationStream::finish(std::vector<std::uint8_t> recording, ProcessCompletion done) {
    {
        std::unique_lock lock(mutex);
        if (givenUp || wav) {
            return;
        }
        wav = std::move(recording);
        completion = std::move(done);
    }
    upload->finish(); // the end of the body tells the backend the recording ended
    std::unique_lock lock(mutex);
    settle(lock);
}

void DictationStream::abort() {
    {
        std::lock_guard lock(mutex);
        if (settled || givenUp) {
            return;
        }
        givenUp = true;
        wav.reset();
        completion = nullptr;
    }
    upload->abort();
}

void DictationStream::answered(HttpResult result) {
    std::unique_lock lock(mutex);
    if (givenUp) {
        return;
    }
    auto* response = std::get_if<HttpResponse>(&result);
    if (response && isRefusal(response->status)) {
        debugLog("⚠️ Backend does not stream (" + std::to_string(response->status) + ") — using /process");
        if (refused) {
            refused();
        }
    }
    // An answer before the recording ended cannot be the recording's: the backend gave the stream up (it went
    // quiet too long while capture restarted, say). The whole WAV then goes to /process like any broken stream.
    answeredEarly = !wav.has_value();
    answer = std::move(result);
    upload->close(); // whatever is still recorded goes only into the WAV
    settle(lock);
}

void DictationStream::settle(std::unique_lock<std::mutex>& lock) {
    if (settled || !answer || !wav) {
        return;
    }
    settled = true;
    HttpResult result = std::move(*answer);
    auto recording = std::move(*wav);
    auto done = std::move(completion);
    lock.unlock();

    // 503 too: a backend that could not take one more stream (or has no engine) may still take the WAV, and a
    // second 503 from /process costs nothing the user would notice.
    const auto* response = std::get_if<HttpResponse>(&result);
    // 408: the backend gave the stream up before it ended (it fell quiet too long while capture restarted, say).
    if (response && !isRefusal(response->status) && response->status != 503 && response->status != 408 &&
        !answeredEarly) {
        done(RefineClient::processResultFor(result));
        return;
    }
    if (response && (answeredEarly || response->status == 408) && !isRefusal(response->status)) {
        debugLog("⚠️ Stream ended early (" + std::to_string(response->status) + ") — sending the recording to /process");
    }
    if (const auto* error = std::get_if<TransportError>(&result)) {
        debugLog("⚠️ Stream failed: " + error->description + " — sending the recording to /process");
    }
    fallback(std::move(recording), std::move(done));
}

} // namespace vokari
