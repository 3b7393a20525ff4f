#pragma once
// Runs one raw HTTP request through the server's real request reader (cpp-httplib's, as the server uses it) and
// the real handlers, over an in-memory stream and an in-memory database (no socket, no thread), with a published
// release in the scratch directory. Routes come from the server's own table. Without an engine, audio requests stop
// after the request, its parts and the WAV were read.
#include "FuzzSupport.h"
#include "core/Clock.h"
#include "core/TimeFormat.h"
#include "http/Routes.h"
#include "refine/RuleRefiner.h"
#include "storage/Database.h"

#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace vokari::server::fuzz {

class ServerHarness : httplib::Server {
public:
    // `engine` may be null (no transcription engine: audio requests stop after their audio was read).
    explicit ServerHarness(SpeechEngine* engine = nullptr)
        : db(openDatabase()), ctx{*db, clock, engine, refiner, release()} {
        installRoutes(*this, ctx); // the server's own table, so no route is missed here
        // As the server does: a handler's exception becomes a 500, which the fuzzer reports as a finding.
        set_exception_handler([](const httplib::Request&, httplib::Response&, std::exception_ptr) { std::abort(); });
        set_payload_max_length(25u << 20);
        // A short history, so the history pages have rows to page through.
        for (int i = 0; i < 5; ++i) {
            db->recordProcess("fuzz-device", "raw " + std::to_string(i), "Refined " + std::to_string(i), "dictation",
                              clock.nowMs() + i, utcDay(clock.nowMs()), 0);
        }
    }

    ServerContext& context() { return ctx; }

    // The raw answer (status line, headers, body); empty when the request could not be read at all.
    std::string handle(const std::string& rawRequest) {
        httplib::detail::BufferStream stream;
        stream.write(rawRequest.data(), rawRequest.size());
        bool closed = false;
        process_request(stream, true, closed, [](httplib::Request&) {});
        std::string answer = stream.get_buffer().substr(rawRequest.size());
        if (std::getenv("VOKARI_FUZZ_ECHO")) { // for checking what a corpus file reaches
            std::fprintf(stderr, "%s\n", answer.substr(0, 300).c_str());
        }
        return answer;
    }

private:
    // A published release in the scratch directory, so the update check compares and downloads are served.
    static ReleaseManifest release() {
        auto dir = vokari::fuzz::scratchDir() / "releases";
        std::filesystem::create_directories(dir);
        vokari::fuzz::writeFile(dir / "Vokari-1.2.0.tar.gz", "release bytes\n");
        auto sum = sha256File((dir / "Vokari-1.2.0.tar.gz").string()).value_or("");
        vokari::fuzz::writeFile(dir / "manifest.json",
                                R"({"version": "1.2.0", "file": "Vokari-1.2.0.tar.gz", "sha256": ")" + sum + "\"}");
        auto loaded = ReleaseManifest::load(dir.string());
        return std::get<ReleaseManifest>(loaded);
    }

    static std::unique_ptr<Database> openDatabase() {
        auto opened = Database::open(":memory:");
        auto* db = std::get_if<std::unique_ptr<Database>>(&opened);
        if (!db) {
            std::abort();
        }
        return std::move(*db);
    }

    std::unique_ptr<Database> db;
    ManualClock clock{1'760'000'000'000};
    RuleRefiner refiner;
    ServerContext ctx;
};

} // namespace vokari::server::fuzz
