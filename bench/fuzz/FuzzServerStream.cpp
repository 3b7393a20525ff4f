// The server reading a dictation streamed while it is recorded ("/process/stream"): one JSON line, then raw s16le
// PCM, sent with chunked transfer encoding as the app sends it, through the request reader and the real handler,
// to a fake engine. The input picks the chunk boundaries, so the line or a sample may be split across chunks.
// Input: byte 0 = flags (low 4 bits: how many chunk-size bytes follow; 0x10: no device id; 0x20: the body stops
// before its last chunk), then the chunk sizes (each byte + 1, used in turn), then the body.
// Aborts on any 5xx, on a 200 whose engine was fed other samples than the body's PCM, and on a complete, well-formed
// stream that is not answered 200.
#include "FakeSpeechEngine.h"
#include "FuzzSupport.h"
#include "ServerHarness.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

using vokari::server::fuzz::FakeSpeechEngine;

int statusOf(const std::string& answer) {
    // "HTTP/1.1 200 OK"
    if (answer.size() < 12 || answer.compare(0, 5, "HTTP/") != 0) {
        return 0;
    }
    return std::atoi(answer.c_str() + 9);
}

void chunk(std::string& out, std::string_view piece) {
    char size[20];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    out += size;
    out += piece;
    out += "\r\n";
}

// Whether the server must take this body: a JSON object line whose "vocab" and "source" are strings if present,
// then an even, non-zero number of PCM bytes.
bool wellFormed(std::string_view body) {
    auto newline = body.find('\n');
    if (newline == std::string_view::npos) {
        return false;
    }
    auto pcm = body.size() - newline - 1;
    if (pcm == 0 || pcm % 2 != 0) {
        return false;
    }
    auto j = nlohmann::json::parse(body.substr(0, newline), nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        return false;
    }
    for (const char* key : {"vocab", "source"}) {
        auto it = j.find(key);
        if (it != j.end() && !it->is_string()) {
            return false;
        }
    }
    return true;
}

[[noreturn]] void finding(const char* what, const std::string& answer) {
    std::fprintf(stderr, "%s\n%s\n", what, answer.substr(0, 400).c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FakeSpeechEngine engine;
    static std::unique_ptr<vokari::server::fuzz::ServerHarness> server;
    static unsigned runs = 0;
    // Every answered stream adds a history row: a fresh in-memory database now and then keeps memory flat.
    if (runs++ % 4096 == 0) {
        server.reset();
        server = std::make_unique<vokari::server::fuzz::ServerHarness>(&engine);
        server->context().dailyLimit = 0;
    }
    auto input = vokari::fuzz::bytesOf(data, size);
    if (input.empty()) {
        return 0;
    }
    const unsigned flags = static_cast<unsigned char>(input[0]);
    const std::size_t sizeCount = std::min<std::size_t>(flags & 0x0f, input.size() - 1);
    auto sizes = input.substr(1, sizeCount);
    auto body = input.substr(1 + sizeCount);
    const bool withDevice = (flags & 0x10) == 0;
    const bool complete = (flags & 0x20) == 0;

    std::string request = "POST /process/stream HTTP/1.1\r\nHost: fuzz\r\n";
    if (withDevice) {
        request += "x-device-id: fuzz-device\r\n";
    }
    request += "Content-Type: application/x-vokari-pcm-stream\r\nTransfer-Encoding: chunked\r\n\r\n";
    std::size_t pos = 0;
    for (std::size_t i = 0; pos < body.size(); ++i) {
        std::size_t n = sizes.empty() ? body.size() : static_cast<unsigned char>(sizes[i % sizes.size()]) + 1u;
        n = std::min(n, body.size() - pos);
        chunk(request, body.substr(pos, n));
        pos += n;
    }
    if (complete) {
        request += "0\r\n\r\n";
    }

    const int opened = engine.opened;
    auto answer = server->handle(request);
    const int status = statusOf(answer);
    if (status == 0 || status >= 500) {
        finding("no answer, or a server error", answer);
    }
    if (status == 200) {
        auto pcm = body.substr(body.find('\n') + 1);
        std::uint64_t sum = FakeSpeechEngine::kChecksumStart;
        for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
            auto lo = static_cast<unsigned char>(pcm[i]);
            auto hi = static_cast<unsigned char>(pcm[i + 1]);
            sum = vokari::server::fuzz::sampleChecksum(sum, static_cast<std::int16_t>(lo | (hi << 8)));
        }
        if (engine.opened != opened + 1 || !engine.last.finished || engine.last.samples * 2 != pcm.size() ||
            engine.last.checksum != sum) {
            finding("answered 200, but the engine was not fed the body's samples", answer);
        }
        if (answer.find(FakeSpeechEngine::kText) == std::string::npos) {
            finding("answered 200 without the engine's text", answer);
        }
    }
    if (withDevice && complete && wellFormed(body) && status != 200) {
        finding("a complete, well-formed stream was refused", answer);
    }
    if ((!withDevice || !complete) && status == 200) {
        finding("answered 200 to a stream without device id or without its end", answer);
    }
    return 0;
}
