// "/process/stream": a dictation sent while it is recorded, as one JSON line of the fields /process takes
// in its multipart parts, then raw 16 kHz mono 16-bit little-endian PCM until the body ends. The audio is
// decoded as it arrives; the end of the body is the end of the recording, and the answer is what /process
// would give for the same audio. A body that never ends (the client went away, or sent nothing for the
// read time-out) stores and counts nothing.
#include "http/Handlers.h"
#include "http/HttpServer.h"
#include "http/HttpUtil.h"
#include "refine/VocabularyMatcher.h"
#include "stt/SpeechStream.h"

#include <cstring>

namespace vokari::server {
namespace {

constexpr size_t kMaxHeaderLine = 1024 * 1024;

// Answers before or instead of reading the whole body: the rest of it must not be read as a next request.
void answerAndClose(httplib::Response& res, int status, const std::string& message) {
    sendError(res, status, message);
    res.set_header("Connection", "close");
}

// Holds one of the server's stream places for as long as the handler runs.
class StreamPlace {
public:
    explicit StreamPlace(ServerContext& ctx) : count_(*ctx.openStreams) {
        int now = ++count_;
        held_ = ctx.maxOpenStreams <= 0 || now <= ctx.maxOpenStreams;
    }
    ~StreamPlace() { --count_; }
    StreamPlace(const StreamPlace&) = delete;
    StreamPlace& operator=(const StreamPlace&) = delete;
    bool held() const { return held_; }

private:
    std::atomic<int>& count_;
    bool held_ = false;
};

// The body as it arrives: the JSON line, then samples (a sample may be split across two reads).
struct BodyReader {
    std::string line;
    bool lineDone = false;
    int errorStatus = 0;
    std::string errorMessage;
    bool oddByte = false;
    unsigned char pending = 0;
    size_t bytes = 0;
    std::vector<int16_t> block;

    bool fail(int status, std::string message) {
        errorStatus = status;
        errorMessage = std::move(message);
        return true;
    }

    // Appends the samples in data[pos, n) to `block`.
    void takeSamples(const char* data, size_t pos, size_t n) {
        block.clear();
        auto sample = [](unsigned char lo, unsigned char hi) {
            return static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
        };
        if (oddByte && pos < n) {
            block.push_back(sample(pending, static_cast<unsigned char>(data[pos++])));
            oddByte = false;
        }
        for (; pos + 1 < n; pos += 2) {
            block.push_back(sample(static_cast<unsigned char>(data[pos]), static_cast<unsigned char>(data[pos + 1])));
        }
        if (pos < n) {
            oddByte = true;
            pending = static_cast<unsigned char>(data[pos]);
        }
    }
};

double msSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

} // namespace

void handleProcessStream(ServerContext& ctx, const httplib::Request& req, httplib::Response& res,
                         const httplib::ContentReader& reader) {
    const auto start = std::chrono::steady_clock::now();
    auto device = deviceIdOf(req);
    if (!device) {
        // A malformed request is answered when its body has been read, so the client is there to hear it.
        size_t bytes = 0;
        bool read = reader([&bytes](const char*, size_t n) { return (bytes += n) <= HttpServer::kMaxBodyBytes; });
        streamedRequestBytes() = bytes;
        answerAndClose(res, read ? 400 : 413,
                       read ? "missing or invalid x-device-id header" : "request body too large (at most 25 MB)");
        return;
    }
    // Checked at open, before any audio is read; the store re-checks atomically at the end.
    auto used = usedToday(ctx, *device);
    if (!used) {
        answerAndClose(res, 500, "storage failed");
        return;
    }
    if (ctx.dailyLimit > 0 && *used >= ctx.dailyLimit) {
        answerAndClose(res, 429, "daily limit reached");
        return;
    }
    if (ctx.engine == nullptr) {
        answerAndClose(res, 503, "transcription engine unavailable");
        return;
    }
    StreamPlace place(ctx);
    if (!place.held()) {
        answerAndClose(res, 503, "too many streams at once");
        return;
    }
    auto profile = ctx.db.profile(*device);
    if (!profile) {
        answerAndClose(res, 500, "storage failed");
        return;
    }

    std::vector<std::string> vocabulary;
    std::string source = "dictation";
    std::unique_ptr<SpeechStream> stream;
    BodyReader body;
    bool complete = reader([&](const char* data, size_t n) {
        body.bytes += n;
        if (body.bytes > HttpServer::kMaxBodyBytes) {
            body.fail(413, "request body too large (at most 25 MB)");
            return false;
        }
        if (body.errorStatus != 0) {
            return true; // refused: the rest is read and dropped, so the client is there to hear why
        }
        size_t pos = 0;
        if (!body.lineDone) {
            const void* newline = std::memchr(data, '\n', n);
            size_t take = newline != nullptr ? static_cast<size_t>(static_cast<const char*>(newline) - data) : n;
            if (body.line.size() + take > kMaxHeaderLine) {
                return body.fail(400, "stream header line is longer than 1 MiB");
            }
            body.line.append(data, take);
            if (newline == nullptr) {
                return true;
            }
            pos = take + 1;
            body.lineDone = true;
            auto j = nlohmann::json::parse(body.line, nullptr, false);
            if (j.is_discarded() || !j.is_object()) {
                return body.fail(400, "stream must start with a line holding a JSON object");
            }
            auto vocab = j.find("vocab");
            auto src = j.find("source");
            if ((vocab != j.end() && !vocab->is_string()) || (src != j.end() && !src->is_string())) {
                return body.fail(400, "\"vocab\" and \"source\" must be strings");
            }
            // As with /process: the vocabulary sent with the dictation, else the synced profile's.
            vocabulary = parseVocabulary(vocab != j.end() ? vocab->get<std::string>() : profile->vocab);
            source = stringField(j, "source").substr(0, 64);
            if (source.empty()) {
                source = "dictation";
            }
            stream = ctx.engine->openStream(vocabulary);
        }
        body.takeSamples(data, pos, n);
        if (!body.block.empty()) {
            stream->feed(body.block.data(), body.block.size());
        }
        return true;
    });
    streamedRequestBytes() = body.bytes;
    if (!complete) {
        // Too large, or the client closed the connection or fell silent: the stream (and its decoder) goes,
        // nothing is stored or counted.
        // 408 when it fell silent: the client still holds the recording and sends it whole to /process.
        answerAndClose(res, body.errorStatus != 0 ? body.errorStatus : 408,
                       body.errorStatus != 0 ? body.errorMessage : "stream ended before its body was complete");
        return;
    }
    if (body.errorStatus != 0) {
        sendError(res, body.errorStatus, body.errorMessage);
        return;
    }
    if (!body.lineDone) {
        sendError(res, 400, "stream must start with a line holding a JSON object");
        return;
    }
    if (body.oddByte) {
        sendError(res, 400, "audio holds an odd number of bytes (16-bit samples expected)");
        return;
    }
    if (stream->samplesFed() == 0) {
        sendError(res, 400, "empty audio");
        return;
    }
    const auto engineStart = std::chrono::steady_clock::now();
    auto result = stream->finish();
    stream.reset(); // the decoder goes back to the pool before storage and the answer
    if (auto* err = std::get_if<SttError>(&result)) {
        answerEngineFailure(ctx, *err, res);
        return;
    }
    answerDictation(ctx, *device, std::get<SttText>(result).text, vocabulary, *profile, source, msSince(engineStart),
                    start, res);
}

} // namespace vokari::server
