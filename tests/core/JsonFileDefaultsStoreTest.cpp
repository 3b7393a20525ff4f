#include "core/AtomicFile.h"
#include "core/JsonFileDefaultsStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

using namespace vokari;
namespace fs = std::filesystem;

namespace {

class JsonFileDefaultsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vokari-store-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        path = dir / "vokari" / "settings.json";
    }
    void TearDown() override { fs::remove_all(dir); }
    void writeRaw(const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    JsonFileDefaultsStore makeStore() {
        return JsonFileDefaultsStore(path, [this](const std::string& l) { logged.push_back(l); });
    }

    fs::path dir, path;
    std::vector<std::string> logged;
};

} // namespace

TEST_F(JsonFileDefaultsStoreTest, MissingAndEmptyFilesReadAsEmptyAndWritesAreTypedJson) {
    auto store = makeStore();
    EXPECT_FALSE(store.object("soundFeedback"));
    store.setBool("soundFeedback", false);
    store.setInteger("customHotkeyCode", 96);
    store.setString("capsuleSize", "large");
    auto text = readWholeFile(path);
    ASSERT_TRUE(text);
    auto json = nlohmann::json::parse(*text);
    EXPECT_EQ(json, (nlohmann::json{{"soundFeedback", false}, {"customHotkeyCode", 96}, {"capsuleSize", "large"}}));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    writeRaw("  \n");
    auto fresh = makeStore();
    EXPECT_FALSE(fresh.object("capsuleSize"));
    EXPECT_TRUE(logged.empty());
}

TEST_F(JsonFileDefaultsStoreTest, TypedReadsOfOtherTypesReadAsAbsent) {
    writeRaw(R"({"a": "yes", "b": 1, "c": 2.5, "d": true, "e": [1]})");
    auto store = makeStore();
    EXPECT_FALSE(store.boolValue("a"));
    EXPECT_EQ(store.boolValue("b"), true);
    EXPECT_FALSE(store.integerValue("c"));
    EXPECT_FALSE(store.stringValue("d"));
    EXPECT_FALSE(store.stringValue("e"));
    EXPECT_EQ(store.stringValue("a"), "yes");
}

TEST_F(JsonFileDefaultsStoreTest, CorruptFileReadsAsEmptyIsLoggedAndKeptAsideBeforeTheFirstWrite) {
    writeRaw("{\"hotkeyOption\": \"leftCmd\", trunc");
    auto store = makeStore();
    EXPECT_FALSE(store.object("hotkeyOption"));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("⚠️"), std::string::npos);

    store.setString("capsuleSize", "small");
    std::optional<std::string> aside;
    for (const auto& entry : fs::directory_iterator(path.parent_path())) {
        if (entry.path().filename().string().starts_with("settings.json.corrupt-")) {
            aside = readWholeFile(entry.path());
        }
    }
    ASSERT_TRUE(aside);
    EXPECT_EQ(*aside, "{\"hotkeyOption\": \"leftCmd\", trunc");
    EXPECT_EQ(nlohmann::json::parse(*readWholeFile(path)), (nlohmann::json{{"capsuleSize", "small"}}));
    EXPECT_EQ(logged.size(), 2u);

    writeRaw("[1, 2]"); // valid JSON but not an object
    EXPECT_FALSE(store.object("capsuleSize"));
}

TEST_F(JsonFileDefaultsStoreTest, StringsThatAreNotUtf8AreStoredReplacedAndLaterWritesStillWork) {
    auto store = makeStore();
    store.setString("customHotkeyName", "F\xff");
    store.setString("capsuleSize", "large");
    auto json = nlohmann::json::parse(*readWholeFile(path));
    EXPECT_EQ(json["customHotkeyName"], "F\xEF\xBF\xBD");
    EXPECT_EQ(json["capsuleSize"], "large");
}

TEST_F(JsonFileDefaultsStoreTest, ChangesByOtherProcessesAreKeptOnTheNextWrite) {
    auto store = makeStore();
    store.setString("stylePreset", "casual");
    // Another process (or another store on the same file) writes a key meanwhile.
    auto other = makeStore();
    other.setString("customPrompt", "be brief");
    EXPECT_EQ(store.stringValue("customPrompt"), "be brief");
    store.remove("stylePreset");
    EXPECT_EQ(nlohmann::json::parse(*readWholeFile(path)), (nlohmann::json{{"customPrompt", "be brief"}}));
}

TEST_F(JsonFileDefaultsStoreTest, ConcurrentWritersFromManyThreadsLoseNothing) {
    auto store = makeStore();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 25; ++i) {
                // Appended rather than joined with +: GCC 12 at -O3 reports a false -Wrestrict on "k" + string.
                std::string key = "k";
                key += std::to_string(t);
                key += '_';
                key += std::to_string(i);
                store.setInteger(key, i);
                (void)store.integerValue("k0_0");
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    auto json = nlohmann::json::parse(*readWholeFile(path));
    EXPECT_EQ(json.size(), 100u);
    for (const auto& entry : fs::directory_iterator(path.parent_path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << "temporary file left";
    }
}
