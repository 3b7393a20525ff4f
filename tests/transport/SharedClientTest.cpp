// The process-wide client: configure() before first use, and the log shipper reading the identifier while
// the shared client is still being built on the same thread (its own start-up lines) without re-entering it.
// The only test in this executable that touches RefineClient::shared().
#include "FakeSecretStore.h"
#include "FakeTransport.h"
#include "app/DebugLog.h"
#include "transport/RefineClient.h"

#include <gtest/gtest.h>

namespace vokari {
namespace {

class ReentrantSink : public LogSink {
public:
    void log(const std::string&, const std::string&, const std::string&) override {
        seenDuringConstruction.push_back(RefineClient::shippingDeviceId());
    }
    std::vector<std::optional<std::string>> seenDuringConstruction;
};

TEST(SharedRefineClient, ConfiguredOnceAndSafeToReachFromItsOwnLogLines) {
    auto transport = std::make_shared<test::FakeTransport>();
    auto secrets = std::make_shared<test::FakeSecretStore>();
    secrets->items[{"ai.vokari", "deviceId", false}] = "SHARED-ID";
    static MemoryDefaultsStore defaults;
    RefineClientConfig config;
    config.transport = transport;
    config.secrets = secrets;
    config.defaults = &defaults;
    config.baseURL = "http://shared.test";
    config.vocabPath = std::filesystem::temp_directory_path() / "vokari-shared-test-vocab.json";
    ASSERT_TRUE(RefineClient::configure(config));

    EXPECT_FALSE(RefineClient::shippingDeviceId()) << "logging alone never builds the client";
    auto sink = std::make_shared<ReentrantSink>();
    debuglog::setSink(sink);
    auto client = RefineClient::shared();
    debuglog::setSink(nullptr);

    ASSERT_EQ(sink->seenDuringConstruction.size(), 1u); // "🔑 Device ID from keychain: ..."
    EXPECT_FALSE(sink->seenDuringConstruction[0]) << "not known yet: the shipper keeps its batch";
    EXPECT_EQ(RefineClient::shippingDeviceId(), "SHARED-ID");
    EXPECT_EQ(RefineClient::shared(), client);
    EXPECT_EQ(client->baseURL(), "http://shared.test");
    EXPECT_FALSE(RefineClient::configure(config)) << "too late once the shared client exists";
    EXPECT_EQ(transport->requests().size(), 2u); // registration and profile fetch
}

} // namespace
} // namespace vokari
