// A dictation streamed to "/process/stream" over the real curl transport against the recording server: the
// bytes and headers as they arrive while recording, the answer rules, the single fallback to "/process" with the
// whole WAV, and giving a stream up.
#include "Await.h"
#include "FakeSecretStore.h"
#include "ProcessResultText.h"
#include "RecordingServer.h"
#include "RecordingSink.h"
#include "TestFiles.h"
#include "core/AtomicFile.h"
#include "net/CurlTransport.h"
#include "transport/RefineClient.h"

#include <gtest/gtest.h>

namespace vokari {
namespace {

using test::Reply;

using test::describe;

// 100 ms of audio whose bytes differ from block to block.
std::string block(int n) {
    std::string pcm(3200, '\0');
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(n) * 13) & 0xff);
    }
    return pcm;
}

std::vector<std::uint8_t> wavOf(const std::string& pcm) {
    std::vector<std::uint8_t> wav = {'R', 'I', 'F', 'F'};
    wav.resize(44);
    wav.insert(wav.end(), pcm.begin(), pcm.end());
    return wav;
}

std::size_t countTarget(const std::vector<test::RecordedRequest>& requests, const std::string& target) {
    return static_cast<std::size_t>(
        std::count_if(requests.begin(), requests.end(), [&](const auto& r) { return r.target == target; }));
}

class DictationStreamHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        debuglog::setSink(sink);
        secrets->items[{"ai.vokari", "deviceId", false}] = "DEV-1234-ID";
        writeFileAtomically(vocabPath, R"({"vocab":"Kubernetes, \"Vokari\""})");
    }
    void TearDown() override { debuglog::setSink(nullptr); }

    std::shared_ptr<RefineClient> make(CurlTransport::Options options = {}) {
        transport = std::make_shared<CurlTransport>(options);
        RefineClientConfig config;
        config.secrets = secrets;
        config.defaults = &defaults;
        config.baseURL = server.origin();
        config.vocabPath = vocabPath;
        return test::connectedClient(transport, config);
    }
    // Streams `blocks` blocks as a recording would (`paced`: each seen by the server before the next is
    // recorded), then ends the recording and waits for the result.
    ProcessResult dictate(ProcessStream& stream, int blocks, std::string* pcm = nullptr, bool paced = true) {
        std::string all;
        for (int i = 0; i < blocks; ++i) {
            all += block(i);
            stream.appendAudio(block(i));
            if (paced) {
                EXPECT_TRUE(server.waitForStreamed(firstLine.size() + all.size()));
            }
        }
        test::Await<ProcessResult> done;
        stream.finish(wavOf(all), [&done](ProcessResult r) { done.set(std::move(r)); });
        if (pcm) {
            *pcm = all;
        }
        return done.get().value_or(ProcessError{"<no completion>"});
    }

    const std::string firstLine = R"({"source":"dictation","vocab":"Kubernetes, \"Vokari\""})"
                                  "\n";
    test::RecordingServer server;
    std::shared_ptr<test::RecordingSink> sink = std::make_shared<test::RecordingSink>();
    std::shared_ptr<test::FakeSecretStore> secrets = std::make_shared<test::FakeSecretStore>();
    MemoryDefaultsStore defaults;
    test::TempDir dir;
    std::filesystem::path vocabPath = dir / ".vokari-backend.json";
    std::shared_ptr<CurlTransport> transport;
};

TEST_F(DictationStreamHttpTest, StreamsTheFieldsAndTheAudioWhileRecordingAndReadsTheAnswerAsProcessDoes) {
    struct Case {
        Reply reply;
        std::string expected;
    };
    for (const Case& c : {Case{{200, R"({"raw":"hello","refined":"Hello.","total_ms":12})"}, "success(hello, Hello.)"},
                          Case{{429, R"({"error":"daily limit"})"}, "rateLimited"},
                          Case{{400, R"({"error":"missing audio"})"}, "error(No audio captured)"},
                          Case{{500, R"({"error":"processing failed"})"}, "error(Processing failed — try again)"},
                          Case{{413, R"({"error":"too large"})"}, "error(Server error — try again)"}}) {
        SCOPED_TRACE(c.expected);
        auto client = make();
        auto before = server.requests().size();
        server.answer("/process/stream", c.reply);
        auto stream = client->openStream("dictation");
        ASSERT_TRUE(stream);
        // The fields go out before any audio is recorded.
        EXPECT_TRUE(server.waitForStreamed(firstLine.size()));
        std::string pcm;
        EXPECT_EQ(describe(dictate(*stream, 12, &pcm)), c.expected);

        auto requests = server.requests();
        ASSERT_EQ(requests.size(), before + 1) << "no fallback after an answer";
        const auto& r = requests.back();
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.target, "/process/stream");
        EXPECT_EQ(r.header("content-type"), "application/x-vokari-pcm-stream");
        EXPECT_EQ(r.header("x-device-id"), "DEV-1234-ID");
        EXPECT_EQ(r.header("transfer-encoding"), "chunked");
        EXPECT_TRUE(r.complete);
        EXPECT_EQ(r.body, firstLine + pcm);
        // One chunk for the fields, then the audio as it was recorded: about 100 ms a chunk.
        ASSERT_EQ(r.chunks.size(), 13u);
        EXPECT_EQ(r.chunks[0], firstLine.size());
        EXPECT_EQ(r.chunks[5], 3200u);
    }
    EXPECT_TRUE(sink->contains("✨ Processed in 12ms: Hello."));
}

TEST_F(DictationStreamHttpTest, ARefusedBrokenOrSilentStreamEndsInExactlyOneProcessWithTheWholeWav) {
    struct Case {
        const char* name;
        Reply reply;
        bool refused;
    };
    for (const Case& c :
         {Case{"404 at once", {.status = 404, .body = R"({"error":"not found"})", .answerBeforeBody = true}, true},
          Case{"405 after the body", {.status = 405, .body = ""}, true}, Case{"501", {.status = 501, .body = ""}, true},
          Case{"503 at once",
               {.status = 503, .body = R"({"error":"too many streams at once"})", .answerBeforeBody = true},
               false},
          // The backend gave the stream up while the user still spoke (it fell quiet while capture restarted).
          Case{"408 gave up",
               {.status = 408, .body = R"({"error":"stream ended before its body was complete"})"},
               false},
          Case{"closed mid-stream", {.closeAfterBodyBytes = 5000}, false},
          Case{"closed after the body", {.closeWithoutAnswer = true}, false},
          // libcurl counts a quiet second only once its 5 s speed window has drained: this case takes about 7 s.
          Case{"time-out", {.delay = std::chrono::seconds(20)}, false}}) {
        SCOPED_TRACE(c.name);
        auto client = make({.timeoutCapSeconds = 1});
        auto before = server.requests().size();
        server.answer("/process/stream", c.reply);
        server.answer("/process", {200, R"({"raw":"whole","refined":"Whole."})"});
        auto stream = client->openStream("dictation");
        ASSERT_TRUE(stream);
        std::string pcm;
        EXPECT_EQ(describe(dictate(*stream, 5, &pcm, false)), "success(whole, Whole.)");
        EXPECT_TRUE(transport->waitIdle(std::chrono::seconds(5)));

        auto requests = server.requests();
        requests.erase(requests.begin(), requests.begin() + static_cast<std::ptrdiff_t>(before));
        ASSERT_EQ(countTarget(requests, "/process"), 1u);
        auto process = *std::find_if(requests.begin(), requests.end(), [](auto& r) { return r.target == "/process"; });
        auto wav = wavOf(pcm);
        EXPECT_NE(process.body.find(std::string(wav.begin(), wav.end())), std::string::npos) << "the whole WAV";
        EXPECT_NE(process.body.find("name=\"vocab\"\r\n\r\nKubernetes, \"Vokari\""), std::string::npos);
        EXPECT_EQ(process.header("x-device-id"), "DEV-1234-ID");

        // Refused: this backend is not asked to stream again; a broken stream is tried again next time.
        EXPECT_EQ(client->streamsRefused(), c.refused);
        EXPECT_EQ(client->openStream("dictation") == nullptr, c.refused);
    }
}

TEST_F(DictationStreamHttpTest, AGivenUpStreamClosesItsConnectionAndSendsNothingMore) {
    std::size_t streams = 0;
    for (bool afterTheEnd : {false, true}) {
        SCOPED_TRACE(afterTheEnd ? "while the answer is due" : "while recording");
        auto client = make();
        server.answer("/process/stream", {.status = 404, .delay = std::chrono::seconds(2)});
        auto before = server.requests().size();
        auto stream = client->openStream("dictation");
        ASSERT_TRUE(stream);
        stream->appendAudio(block(0));
        ASSERT_TRUE(server.waitForStreamed(firstLine.size() + 3200));
        bool completed = false;
        if (afterTheEnd) {
            stream->finish(wavOf(block(0)), [&completed](ProcessResult) { completed = true; });
            ASSERT_TRUE(server.waitForCount("/process/stream", streams + 1)); // the whole body is in
        }
        stream->abort();
        stream->appendAudio(block(1)); // dropped
        EXPECT_TRUE(transport->waitIdle(std::chrono::seconds(5))) << "the transfer ends at once";

        ASSERT_TRUE(server.waitForCount("/process/stream", ++streams));
        auto requests = server.requests();
        ASSERT_EQ(requests.size(), before + 1);
        // While recording, the server saw the connection end before the body did.
        EXPECT_EQ(requests.back().complete, afterTheEnd);
        EXPECT_EQ(requests.back().body, firstLine + block(0));
        EXPECT_EQ(countTarget(requests, "/process"), 0u) << "no fallback";
        EXPECT_FALSE(completed);
        EXPECT_FALSE(client->streamsRefused()) << "the refusal came too late to count";
    }
}

} // namespace
} // namespace vokari
