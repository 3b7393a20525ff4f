// RefineClient start-up (identity, registration, the app's profile merge) and its unformable-URL paths, on a fake
// transport.
#include "transport/RefineClient.h"
#include "FakeSecretStore.h"
#include "FakeTransport.h"
#include "RecordingSink.h"
#include "TestFiles.h"
#include "app/ProfileMerge.h"
#include "core/AtomicFile.h"
#include "core/JsonText.h"
#include "core/Settings.h"

#include <gtest/gtest.h>

namespace vokari {
namespace {

class RefineClientTest : public ::testing::Test {
protected:
    void SetUp() override { debuglog::setSink(sink); }
    void TearDown() override { debuglog::setSink(nullptr); }

    std::shared_ptr<RefineClient> make(std::string origin = "http://backend.test", DefaultsStore* store = nullptr,
                                       std::filesystem::path vocab = {}) {
        RefineClientConfig config;
        config.transport = transport;
        config.secrets = secrets;
        config.defaults = store ? store : &defaults;
        config.baseURL = origin;
        config.vocabPath = vocab.empty() ? vocabPath : vocab;
        config.deviceName = "desk-1";
        config.osVersion = "6.1.0";
        // The app's merge, applied where the completion lands (the app hops to its main queue first).
        config.onProfile = [store = config.defaults, vocabPath = config.vocabPath](const nlohmann::json& profile) {
            Settings settings(*store);
            applyProfile(profile, settings, vocabPath);
        };
        return RefineClient::create(config);
    }
    // Answers registration, then the profile fetch with `profileBody`.
    void answerStartUp(const std::string& profileBody) {
        transport->complete(HttpResponse{200, "{}"});
        transport->complete(HttpResponse{200, profileBody});
    }

    std::shared_ptr<test::RecordingSink> sink = std::make_shared<test::RecordingSink>();
    std::shared_ptr<test::FakeTransport> transport = std::make_shared<test::FakeTransport>();
    std::shared_ptr<test::FakeSecretStore> secrets = std::make_shared<test::FakeSecretStore>();
    MemoryDefaultsStore defaults;
    test::TempDir dir;
    std::filesystem::path vocabPath = dir / ".vokari-backend.json";
};

TEST_F(RefineClientTest, StartUpRegistersThenFetchesTheProfile) {
    secrets->items[{"ai.vokari", "deviceId", false}] = "0123456789AB";
    auto client = make("http://backend.test/");
    EXPECT_EQ(client->baseURL(), "http://backend.test");
    EXPECT_EQ(client->currentDeviceId(), "0123456789AB");
    auto requests = transport->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method + " " + requests[0].url, "POST http://backend.test/register");
    EXPECT_EQ(requests[0].headers,
              (std::vector<std::pair<std::string, std::string>>{{"Content-Type", "application/json"}}));
    EXPECT_EQ(requests[0].timeoutSeconds, 60.0);
    EXPECT_EQ(*JsonText::parseObject(requests[0].body),
              nlohmann::json({{"device_id", "0123456789AB"}, {"device_name", "desk-1"}, {"os_version", "6.1.0"}}));
    EXPECT_EQ(requests[1].method + " " + requests[1].url, "GET http://backend.test/profile");
    EXPECT_EQ(requests[1].headers, (std::vector<std::pair<std::string, std::string>>{{"x-device-id", "0123456789AB"}}));

    transport->complete(TransportError{urlError::cannotConnectToHost, "Could not connect"});
    EXPECT_TRUE(sink->contains("⚠️ Device registration failed: Could not connect"));
    transport->complete(HttpResponse{200, "{}"});
    auto second = make();
    transport->complete(HttpResponse{404, "nope"}); // the answer is not examined
    EXPECT_TRUE(sink->contains("✅ Device registered: 01234567..."));
}

TEST_F(RefineClientTest, ProfileFillsOnlyWhatTheDeviceLacks) {
    auto client = make();
    answerStartUp(R"({"vocab":"Kubernetes, Grafana","style_preset":"casual"})");
    EXPECT_EQ(client->loadVocab(), "Kubernetes, Grafana");
    Settings settings(defaults);
    EXPECT_EQ(settings.stylePreset(), "casual");
    EXPECT_EQ(defaults.stringValue("customPrompt"), "");
    EXPECT_TRUE(sink->contains("☁️ Loaded vocab from server: Kubernetes, Grafana"));
    EXPECT_TRUE(sink->contains("☁️ Loaded style from server: casual"));

    // A second start-up with other server values changes nothing and logs nothing about them.
    sink->clear();
    auto again = make();
    answerStartUp(R"({"vocab":"Other","style_preset":"custom","custom_prompt":"Be terse"})");
    EXPECT_EQ(again->loadVocab(), "Kubernetes, Grafana");
    EXPECT_EQ(settings.stylePreset(), "casual");
    EXPECT_FALSE(sink->anyStartsWith("☁️"));
}

TEST_F(RefineClientTest, ProfileEdgeValues) {
    // Empty local preset counts as none; an empty server preset is stored like any other; a long vocabulary
    // is logged cut to 50 characters; a non-string prompt reads as empty.
    defaults.setString("stylePreset", "");
    ASSERT_FALSE(writeFileAtomically(vocabPath, R"({"vocab":"","keep":true})"));
    auto client = make();
    std::string longVocab(70, 'w');
    answerStartUp(R"({"vocab":")" + longVocab + R"(","style_preset":"","custom_prompt":7})");
    EXPECT_EQ(client->loadVocab(), longVocab);
    EXPECT_EQ(JsonText::parseObject(*readWholeFile(vocabPath))->at("keep"), true);
    EXPECT_EQ(defaults.stringValue("stylePreset"), "");
    EXPECT_EQ(defaults.stringValue("customPrompt"), "");
    EXPECT_TRUE(sink->contains("☁️ Loaded vocab from server: " + std::string(50, 'w')));
    EXPECT_TRUE(sink->contains("☁️ Loaded style from server: "));

    // Bodies that are no JSON object, and transport errors, change nothing.
    MemoryDefaultsStore fresh;
    for (const HttpResult& answer : {HttpResult(HttpResponse{200, "[1]"}), HttpResult(HttpResponse{500, "<html>"}),
                                     HttpResult(HttpResponse{200, ""}), HttpResult(TransportError{-1001, "t"})}) {
        auto c = make("http://backend.test", &fresh, dir / "other.json");
        transport->complete(HttpResponse{200, "{}"});
        transport->complete(answer);
        EXPECT_FALSE(fresh.object("stylePreset"));
        EXPECT_FALSE(std::filesystem::exists(dir / "other.json"));
    }
}

TEST_F(RefineClientTest, ProfileAnswerAfterTheClientIsGoneIsIgnored) {
    auto client = make();
    transport->complete(HttpResponse{200, "{}"});
    client.reset();
    transport->complete(HttpResponse{200, R"({"style_preset":"casual"})"});
    EXPECT_FALSE(defaults.object("stylePreset"));
}

TEST_F(RefineClientTest, UnformableOriginSendsNothingAndCompletesAtOnce) {
    auto client = make("backend.test");
    EXPECT_TRUE(transport->requests().empty());
    std::optional<ProcessResult> result;
    client->process({1, 2, 3}, "dictation", [&](ProcessResult r) { result = r; });
    ASSERT_TRUE(result);
    EXPECT_EQ(std::get<ProcessError>(*result).message, "Something went wrong — try again");
    bool called = false;
    client->fetchTranscripts(std::nullopt, 20,
                             [&](std::vector<Transcript> list, bool more) { called = list.empty() && !more; });
    EXPECT_TRUE(called);
    client->syncStyle("casual", "");
    client->syncVocab("x");
    EXPECT_TRUE(transport->requests().empty());
}

TEST(RefineClientMessages, CertificateRangeAndServerTextRules) {
    using R = RefineClient;
    EXPECT_EQ(R::userFriendlyError(std::nullopt), "Something went wrong — try again");
    EXPECT_EQ(R::userFriendlyError(TransportError{-1206, ""}), "Connection failed — check your network");
    EXPECT_EQ(R::userFriendlyError(TransportError{-1200, ""}), "Connection failed — check your network");
    EXPECT_EQ(R::userFriendlyError(TransportError{-1199, ""}), "Something went wrong — try again");
    EXPECT_EQ(R::userFriendlyError(TransportError{-1207, ""}), "Something went wrong — try again");
    EXPECT_EQ(R::userFriendlyError(TransportError{-1009, ""}), "No internet connection");
    EXPECT_EQ(R::userFriendlyServerError("bad request: missing audio file", 400), "No audio captured");
    EXPECT_EQ(R::userFriendlyServerError("Missing Audio", 400), "Missing Audio") << "case-sensitive";
    EXPECT_EQ(R::userFriendlyServerError("processing failed!", 500), "Server error — try again") << "exact match";
}

} // namespace
} // namespace vokari
