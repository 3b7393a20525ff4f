// The libcurl transport against a loopback server: completions on the worker thread, error mapping of real
// failures, connection reuse, response limits and shutdown with requests (and streamed bodies) in flight.
#include "net/CurlTransport.h"
#include "Await.h"
#include "RecordingServer.h"
#include "http/UploadStream.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>

namespace vokari {
namespace {

using test::Reply;

HttpResult sendAndWait(CurlTransport& transport, HttpRequest request, std::thread::id* thread = nullptr) {
    test::Await<HttpResult> done;
    transport.send(std::move(request), [&done](HttpResult r) { done.set(std::move(r)); });
    auto r = done.get(std::chrono::seconds(20));
    if (thread) {
        *thread = done.deliveredOn();
    }
    return r.value_or(TransportError{-2, "no completion"});
}

int codeOf(const HttpResult& r) {
    auto* e = std::get_if<TransportError>(&r);
    return e ? e->code : 0;
}

TEST(CurlTransport, SendsMethodHeadersAndBodyFollows307AndReturnsStatusAndBody) {
    test::RecordingServer server;
    server.answer("/echo", Reply{418, std::string("\0binary\xff", 8), "application/octet-stream"});
    server.answer("/old", Reply{.status = 307, .body = "", .location = "/echo?x=1&y=%20"});
    CurlTransport transport;
    std::thread::id thread;
    std::string body("a\0b\r\n", 5);
    auto r = sendAndWait(transport,
                         {"POST", server.origin() + "/old", {{"X-One", "1"}, {"Content-Type", "text/plain"}}, body, 5},
                         &thread);
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(r));
    EXPECT_EQ(std::get<HttpResponse>(r).status, 418);
    EXPECT_EQ(std::get<HttpResponse>(r).body, std::string("\0binary\xff", 8));
    EXPECT_NE(thread, std::this_thread::get_id());
    for (const auto& seen : server.requests()) { // the redirect keeps method, headers and body
        EXPECT_EQ(seen.method + " " + seen.header("x-one") + " " + seen.header("content-type"), "POST 1 text/plain");
        EXPECT_EQ(seen.body, body);
    }
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[1].target, "/echo?x=1&y=%20");

    EXPECT_EQ(std::get<HttpResponse>(sendAndWait(transport, {"GET", server.origin() + "/g", {}, "", 5})).status, 200);
    EXPECT_EQ(server.requests().at(2).method + server.requests().at(2).body, "GET");
}

TEST(CurlTransport, RealFailuresMapToTheirUrlErrorCodes) {
    test::RecordingServer server;
    CurlTransport transport;
    server.answer("/close", Reply{.closeWithoutAnswer = true});
    EXPECT_EQ(codeOf(sendAndWait(transport, {"GET", server.origin() + "/close", {}, "", 5})), -1005);

    server.answer("/slow", Reply{.delay = std::chrono::milliseconds(1500)});
    CurlTransport capped(CurlTransport::Options{64 << 20, 0.2});
    auto timedOut = sendAndWait(capped, {"GET", server.origin() + "/slow", {}, "", 5});
    EXPECT_EQ(codeOf(timedOut), -1001);
    EXPECT_FALSE(std::get<TransportError>(timedOut).description.empty());

    test::ClosedPort closedPort;
    EXPECT_EQ(codeOf(sendAndWait(transport, {"GET", closedPort.origin() + "/", {}, "", 5})), -1004);
    auto tls = "https://127.0.0.1:" + std::to_string(server.port()) + "/";
    int tlsCode = codeOf(sendAndWait(transport, {"GET", tls, {}, "", 5}));
    EXPECT_TRUE(tlsCode <= -1200 && tlsCode >= -1206) << tlsCode;
    EXPECT_EQ(codeOf(sendAndWait(transport, {"GET", "ftp://127.0.0.1/", {}, "", 5})), -1002);

    // Oversized answers fail instead of growing without bound.
    server.answer("/big", Reply{200, std::string(2'000'000, 'x')});
    CurlTransport small(CurlTransport::Options{1'000'000, 0});
    EXPECT_EQ(codeOf(sendAndWait(small, {"GET", server.origin() + "/big", {}, "", 10})), -1);
    EXPECT_EQ(std::get<HttpResponse>(sendAndWait(transport, {"GET", server.origin() + "/big", {}, "", 10})).body.size(),
              2'000'000u);
}

TEST(CurlTransport, TimeOutsCountQuietTimeNotTheWholeTransfer) {
    test::RecordingServer server;
    CurlTransport transport;
    // A slow but steady uplink: 16 MB take well over the 1 s time-out to arrive, yet the request succeeds.
    server.setReadPace(32 * 1024, std::chrono::milliseconds(3));
    const std::size_t size = 16u << 20;
    auto steady = sendAndWait(transport, {"POST", server.origin() + "/upload", {}, std::string(size, 'a'), 1});
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(steady)) << std::get<TransportError>(steady).description;
    EXPECT_EQ(server.requests().at(0).body.size(), size);

    // A server that takes the request and then goes quiet: the request fails as timed out.
    server.answer("/stall", Reply{.delay = std::chrono::seconds(60)});
    auto stalled = sendAndWait(transport, {"GET", server.origin() + "/stall", {}, "", 1});
    EXPECT_EQ(codeOf(stalled), -1001);
}

TEST(CurlTransport, ResultsWithoutALoopbackReproductionMapAsTheMessagesExpect) {
    EXPECT_EQ(CurlTransport::errorFor(CURLE_COULDNT_RESOLVE_HOST, "").code, -1009);
    EXPECT_EQ(CurlTransport::errorFor(CURLE_PEER_FAILED_VERIFICATION, "").code, -1202);
    EXPECT_EQ(CurlTransport::errorFor(CURLE_PARTIAL_FILE, "").code, -1005);
    EXPECT_EQ(CurlTransport::errorFor(CURLE_TOO_MANY_REDIRECTS, "").code, -1);
    EXPECT_EQ(CurlTransport::errorFor(CURLE_COULDNT_CONNECT, "Failed to connect to h port 1").description,
              "Failed to connect to h port 1");
    EXPECT_EQ(CurlTransport::errorFor(CURLE_COULDNT_CONNECT, "").description, "Couldn't connect to server");
}

TEST(CurlTransport, SequentialRequestsReuseOneConnection) {
    test::RecordingServer server;
    CurlTransport transport;
    for (int i = 0; i < 5; ++i) {
        sendAndWait(transport, {"POST", server.origin() + "/r", {}, std::string(100'000, 'x'), 5});
    }
    EXPECT_EQ(server.connectionsAccepted(), 1);
    EXPECT_EQ(transport.connectionsOpened(), 1u);
    for (const auto& r : server.requests()) {
        EXPECT_EQ(r.connection, 1);
        EXPECT_EQ(r.body.size(), 100'000u);
    }
}

TEST(CurlTransport, ConcurrentRequestsAllCompleteExactlyOnce) {
    test::RecordingServer server;
    server.setResponder([](const test::RecordedRequest& r) { return Reply{200, r.target}; });
    CurlTransport transport;
    std::atomic<int> completions{0};
    std::mutex mutex;
    std::set<std::string> bodies;
    for (int i = 0; i < 40; ++i) {
        transport.send({"GET", server.origin() + "/n" + std::to_string(i), {}, "", 10}, [&](HttpResult r) {
            std::lock_guard lock(mutex);
            bodies.insert(std::get<HttpResponse>(r).body);
            ++completions;
        });
    }
    EXPECT_TRUE(transport.waitIdle(std::chrono::seconds(20)));
    EXPECT_EQ(completions.load(), 40);
    EXPECT_EQ(bodies.size(), 40u);
    EXPECT_EQ(transport.inFlight(), 0u);
}

TEST(CurlTransport, DestroyingTheTransportCancelsWhatIsInFlight) {
    test::RecordingServer server;
    server.answer("/slow", Reply{.delay = std::chrono::milliseconds(800)});
    server.answer("/slow2", Reply{.delay = std::chrono::milliseconds(800)});
    test::Await<HttpResult> done;
    {
        auto transport = std::make_unique<CurlTransport>();
        transport->send({"GET", server.origin() + "/slow", {}, "", 10}, [&done](HttpResult r) { done.set(r); });
        ASSERT_TRUE(server.waitFor("/slow"));
    }
    auto r = done.get(std::chrono::milliseconds(100));
    ASSERT_TRUE(r);
    EXPECT_EQ(codeOf(*r), -999);

    // A request sent while shutting down (here from a cancelled request's completion) is cancelled on the
    // worker after send() returned, never run by the sender itself.
    test::Await<std::pair<bool, std::thread::id>> retried;
    std::thread::id workerThread;
    {
        auto transport = std::make_unique<CurlTransport>();
        auto* raw = transport.get();
        transport->send({"GET", server.origin() + "/slow2", {}, "", 10}, [&, raw](HttpResult) {
            workerThread = std::this_thread::get_id();
            auto insideSend = std::make_shared<std::atomic<bool>>(true);
            raw->send({"GET", server.origin() + "/again", {}, "", 10}, [&retried, insideSend](HttpResult again) {
                retried.set({insideSend->load() || codeOf(again) != -999, std::this_thread::get_id()});
            });
            insideSend->store(false);
        });
        ASSERT_TRUE(server.waitFor("/slow2"));
    }
    auto again = retried.get(std::chrono::seconds(5));
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->first) << "completed inside send(), or not as cancelled";
    EXPECT_EQ(again->second, workerThread);

    // A transport released from inside its own completion shuts down without deadlocking.
    auto shared = std::make_shared<CurlTransport>();
    test::Await<bool> released;
    auto* raw = shared.get();
    raw->send({"GET", server.origin() + "/x", {}, "", 10}, [holder = std::move(shared), &released](HttpResult) mutable {
        holder.reset();
        released.set(true);
    });
    EXPECT_EQ(released.get(), true);
}

// A streamed body waiting for its producer holds nothing up: destroying the transport cancels it, and the
// producer may go on appending to the stream of a transport that is gone.
TEST(CurlTransport, AStreamWaitingForItsProducerIsCancelledWithTheTransport) {
    test::RecordingServer server;
    auto upload = std::make_shared<UploadStream>();
    test::Await<HttpResult> done;
    {
        CurlTransport transport;
        upload->append("first");
        transport.sendStreaming({"POST", server.origin() + "/stream", {}, "", 10}, upload,
                                [&done](HttpResult r) { done.set(std::move(r)); });
        ASSERT_TRUE(server.waitForStreamed(5));
    }
    auto r = done.get(std::chrono::milliseconds(100));
    ASSERT_TRUE(r);
    EXPECT_EQ(codeOf(*r), -999);
    upload->append("more");
    upload->finish();
    EXPECT_TRUE(upload->closed());
}

} // namespace
} // namespace vokari
