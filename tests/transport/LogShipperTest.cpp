// The log shipper's threshold, overflow, put-back, timer and request, on a fake transport and virtual time.
#include "transport/LogShipper.h"
#include "FakeTransport.h"
#include "core/JsonText.h"
#include "core/VirtualMainQueue.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace vokari {
namespace {

const HttpResult kTransportFailure = TransportError{urlError::networkConnectionLost, "lost"};
const HttpResult kOk = HttpResponse{200, "{}"};

class LogShipperTest : public ::testing::Test {
protected:
    std::shared_ptr<LogShipper> make(std::function<std::optional<std::string>()> deviceId = [] {
        return std::optional<std::string>("DEVICE-1");
    }) {
        LogShipperConfig config;
        config.transport = transport;
        config.mainQueue = queue;
        config.baseURL = "http://backend.test/";
        config.deviceId = std::move(deviceId);
        config.clock = &clock;
        return LogShipper::create(config);
    }
    static std::vector<std::string> messages(const std::deque<LogShipper::Entry>& entries) {
        std::vector<std::string> out;
        for (const auto& e : entries) {
            out.push_back(e.at("message"));
        }
        return out;
    }
    static std::vector<std::string> sentMessages(const HttpRequest& request) {
        std::vector<std::string> out;
        auto body = JsonText::parseObject(request.body);
        for (const auto& e : body->at("entries")) {
            out.push_back(e.at("message"));
        }
        return out;
    }
    std::shared_ptr<test::FakeTransport> transport = std::make_shared<test::FakeTransport>();
    std::shared_ptr<VirtualMainQueue> queue = std::make_shared<VirtualMainQueue>();
    ManualWallClock clock{std::chrono::system_clock::from_time_t(1796543544) + std::chrono::milliseconds(789)};
};

TEST_F(LogShipperTest, TwentiethLineSendsTheBatchAsOneJsonRequest) {
    auto shipper = make();
    for (int i = 1; i <= 19; ++i) {
        shipper->log("line " + std::to_string(i), i == 3 ? "error" : "info", "macos-app");
    }
    EXPECT_TRUE(transport->requests().empty());
    shipper->log("line 20 \xff", "info", "macos-app"); // invalid UTF-8 is shipped repaired, never thrown
    auto requests = transport->requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.url, "http://backend.test/logs");
    EXPECT_EQ(r.headers, (std::vector<std::pair<std::string, std::string>>{{"Content-Type", "application/json"},
                                                                           {"x-device-id", "DEVICE-1"}}));
    EXPECT_EQ(r.timeoutSeconds, 10.0);
    auto body = JsonText::parseObject(r.body);
    ASSERT_TRUE(body);
    ASSERT_EQ(body->size(), 1u);
    const auto& entries = body->at("entries");
    ASSERT_EQ(entries.size(), 20u);
    EXPECT_EQ(
        entries[2],
        nlohmann::json(
            {{"message", "line 3"}, {"level", "error"}, {"source", "macos-app"}, {"ts", "2026-12-06T07:52:24Z"}}));
    EXPECT_EQ(entries[19].at("message"), "line 20 \xef\xbf\xbd");
    EXPECT_TRUE(shipper->pending().empty());
}

TEST_F(LogShipperTest, AFailedBatchGoesBackFirstAndOverflowKeepsTheNewest200) {
    auto shipper = make();
    for (int i = 1; i <= 20; ++i) {
        std::string line = "a"; // appended: GCC 12 at -O3 reports a false -Wrestrict on "a" + string
        line += std::to_string(i);
        shipper->log(line);
    }
    ASSERT_EQ(transport->waiting(), 1u);
    shipper->log("b1"); // logged while the send is under way
    transport->complete(kTransportFailure);
    auto kept = messages(shipper->pending());
    ASSERT_EQ(kept.size(), 21u);
    EXPECT_EQ(kept[0] + kept[19] + kept[20], "a1a20b1");
    shipper->flush(); // the retry carries the old batch merged with the newer line
    ASSERT_EQ(transport->requests().size(), 2u);
    EXPECT_EQ(sentMessages(transport->requests()[1]), kept);

    for (int i = 1; i <= 250; ++i) { // every send fails in transport at once
        std::string line = "m";      // appended: GCC 12 at -O3 reports a false -Wrestrict on "m" + string
        line += std::to_string(i);
        shipper->log(line);
        transport->completeAll(kTransportFailure);
    }
    kept = messages(shipper->pending());
    ASSERT_EQ(kept.size(), 200u);
    EXPECT_EQ(kept.front() + " " + kept.back(), "m51 m250");
}

TEST_F(LogShipperTest, ServerErrorsCountAsDeliveredAndMissingIdentifiersDrop) {
    auto shipper = make();
    for (int i = 0; i < 20; ++i) {
        shipper->log("x");
    }
    ASSERT_EQ(transport->waiting(), 1u);
    transport->complete(HttpResponse{500, "{\"error\":\"boom\"}"});
    EXPECT_TRUE(shipper->pending().empty());

    auto anonymous = make([] { return std::optional<std::string>(""); });
    anonymous->log("dropped");
    anonymous->flush();
    EXPECT_EQ(transport->requests().size(), 1u) << "no request without an identifier";
    EXPECT_TRUE(anonymous->pending().empty());

    // An identifier that is not known yet (the client still starting) keeps the batch instead.
    auto early = make([] { return std::optional<std::string>(); });
    early->log("kept");
    early->flush();
    EXPECT_EQ(messages(early->pending()), std::vector<std::string>{"kept"});

    LogShipperConfig config;
    config.transport = transport;
    config.baseURL = "not a url";
    config.deviceId = [] { return std::optional<std::string>("D"); };
    auto unformable = LogShipper::create(config);
    unformable->log("gone");
    unformable->flush();
    EXPECT_TRUE(unformable->pending().empty());
    EXPECT_EQ(transport->requests().size(), 1u);
}

TEST_F(LogShipperTest, TimerStartsAfterFiveSecondsAndFlushesEverySixty) {
    auto shipper = make();
    shipper->log("early");
    queue->advance(64.9);
    EXPECT_TRUE(transport->requests().empty());
    queue->advance(0.1); // 5 s + 60 s: first tick
    ASSERT_EQ(transport->requests().size(), 1u);
    EXPECT_EQ(sentMessages(transport->requests()[0]), std::vector<std::string>{"early"});
    transport->completeAll(kOk);
    queue->advance(60);
    EXPECT_EQ(transport->requests().size(), 1u) << "an empty buffer sends nothing";
    shipper->log("later");
    queue->advance(60);
    EXPECT_EQ(transport->requests().size(), 2u);

    // The timer holds the shipper weakly: once it is gone, ticks do nothing.
    shipper->log("orphan");
    shipper.reset();
    queue->advance(120);
    EXPECT_EQ(transport->requests().size(), 2u);
}

TEST_F(LogShipperTest, ConcurrentLoggingLosesNothingAndSendsDisjointBatches) {
    auto shipper = make();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&shipper, t] {
            for (int i = 0; i < 40; ++i) {
                shipper->log(std::to_string(t) + ":" + std::to_string(i));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    shipper->flush();
    std::multiset<std::string> seen;
    for (const auto& r : transport->requests()) {
        for (const auto& m : sentMessages(r)) {
            seen.insert(m);
        }
    }
    EXPECT_EQ(seen.size(), 160u);
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 160u);
}

} // namespace
} // namespace vokari
