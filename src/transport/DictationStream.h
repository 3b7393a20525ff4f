#pragma once
// One dictation streamed to "/process/stream" while it is recorded: a compact JSON line with the request's
// fields, then the raw audio, sent chunked (about 100 ms per chunk) until the recording ends. Its answer is read
// exactly as a "/process" answer. When the stream cannot be opened (also 503: no room for one more stream), is
// refused (404/405/501), breaks or times out, the recording goes to the fallback (one ordinary request with the
// whole WAV) once it has ended. Any
// thread; created by RefineClient::openStream and shared with the transport's completion.
#include "http/HttpTransport.h"
#include "http/UploadStream.h"
#include "transport/ProcessStream.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vokari {

class DictationStream : public ProcessStream, public std::enable_shared_from_this<DictationStream> {
public:
    using Fallback = std::function<void(std::vector<std::uint8_t> wav, ProcessCompletion completion)>;
    // A little under 100 ms of 16 kHz 16-bit mono: a capture block that comes out a few samples short of
    // 100 ms still goes out at once instead of waiting for the next one.
    static constexpr std::size_t chunkBytes = 3000;

    // Sends `request` (its body is ignored) with `firstLine` as the body's start. `refused` runs (on the
    // transport's thread) when the backend answers 404, 405 or 501: it does not stream.
    static std::shared_ptr<DictationStream> open(HttpTransport& transport, HttpRequest request, std::string firstLine,
                                                 Fallback fallback, std::function<void()> refused);

    void appendAudio(std::string_view pcm) override;
    void finish(std::vector<std::uint8_t> wav, ProcessCompletion completion) override;
    void abort() override;

    // Whether an answer of this status means "no streaming here".
    static bool isRefusal(int status);

private:
    DictationStream(Fallback fallback, std::function<void()> refused);
    void answered(HttpResult result);
    // Runs once both the answer and the end of the recording are known.
    void settle(std::unique_lock<std::mutex>& lock);

    const std::shared_ptr<UploadStream> upload = std::make_shared<UploadStream>(chunkBytes);
    Fallback fallback;
    std::function<void()> refused;
    std::mutex mutex;
    std::optional<HttpResult> answer;
    std::optional<std::vector<std::uint8_t>> wav;
    ProcessCompletion completion;
    bool givenUp = false;
    bool settled = false;
    bool answeredEarly = false; // the answer came before finish() ended the body
};

} // namespace vokari
