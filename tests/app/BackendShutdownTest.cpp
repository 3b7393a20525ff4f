// The app's backend wiring at shutdown with requests still on the wire: every completion runs once, before the
// queue and the objects it reaches go, and nothing runs afterwards (run under AddressSanitizer in the asan preset).
#include "RecordingServer.h"
#include "TestFiles.h"
#include "app/BackendConnection.h"
#include "core/DebugLog.h"
#include "core/FileSecretStore.h"
#include "core/VirtualMainQueue.h"
#include "net/CurlTransport.h"
#include "transport/LogShipper.h"

#include <gtest/gtest.h>

#include <atomic>

namespace vokari {
namespace {

TEST(BackendShutdown, RequestsInFlightAreCancelledBeforeTheirTargetsGo) {
    test::RecordingServer server;
    server.setResponder([](const test::RecordedRequest&) {
        test::Reply slow;
        slow.delay = std::chrono::seconds(30); // never answered within the test
        return slow;
    });
    test::TempDir dir;
    auto queue = std::make_shared<VirtualMainQueue>();
    auto transport = std::make_shared<CurlTransport>();
    MemoryDefaultsStore store;
    RefineClientConfig config;
    config.transport = transport;
    config.secrets = std::make_shared<FileSecretStore>(dir / "secrets.json");
    config.defaults = &store;
    config.baseURL = server.origin();
    config.vocabPath = dir / "vocab.json";
    auto backend = BackendConnection::create(queue, config, Settings(store));
    EXPECT_TRUE(backend->isConfigured());

    // Requests made before the client exists wait for it, then leave.
    std::atomic<int> completions{0};
    backend->process({1, 2, 3}, "dictation", [&](ProcessResult result) {
        EXPECT_TRUE(std::holds_alternative<ProcessError>(result));
        ++completions;
    });
    backend->start();
    ASSERT_TRUE(queue->runUntil([&] { return backend->client() != nullptr; }));
    ASSERT_TRUE(backend->deviceId());
    ASSERT_TRUE(server.waitFor("/process"));

    LogShipperConfig shipping;
    shipping.transport = transport;
    shipping.mainQueue = queue;
    shipping.baseURL = server.origin();
    shipping.deviceId = [weak = std::weak_ptr<BackendConnection>(backend)] {
        auto b = weak.lock();
        return b ? b->deviceId() : std::nullopt;
    };
    auto shipper = LogShipper::create(shipping);
    for (int i = 0; i < 25; ++i) {
        shipper->log("line " + std::to_string(i));
    }
    ASSERT_TRUE(server.waitFor("/logs"));

    // The app's termination order: identity thread, then the network worker; then the objects go.
    backend->shutdown();
    transport->shutdown();
    EXPECT_EQ(completions.load(), 1) << "the dictation's completion ran, with a cancellation";
    EXPECT_EQ(transport->inFlight(), 0u);
    shipper.reset();
    backend.reset();
    transport.reset();
    queue->runUntilIdle();
    queue.reset();
    EXPECT_EQ(completions.load(), 1);
}

TEST(BackendShutdown, WithoutATransportOrWithABadOriginNothingCountsAsConfigured) {
    auto queue = std::make_shared<VirtualMainQueue>();
    MemoryDefaultsStore store;
    RefineClientConfig config;
    config.baseURL = "http://127.0.0.1:9";
    EXPECT_FALSE(BackendConnection::create(queue, config, Settings(store))->isConfigured());
    config.transport = std::make_shared<CurlTransport>();
    config.baseURL = "ftp://backend.example";
    EXPECT_FALSE(BackendConnection::create(queue, config, Settings(store))->isConfigured());
}

} // namespace
} // namespace vokari
