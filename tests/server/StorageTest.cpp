// Storage: durability across restarts, schema versioning and all-or-nothing writes.
#include "TestServer.h"

#include "storage/Database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace vokari::server;
using namespace vokari::server::test;

namespace {

std::unique_ptr<Database> openDb(const std::filesystem::path& path) {
    auto opened = Database::open(path.string());
    if (auto* err = std::get_if<std::string>(&opened)) {
        ADD_FAILURE() << *err;
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<Database>>(opened));
}

} // namespace

TEST(ServerStorage, ARestartKeepsEverythingButANewerSchemaIsRefused) {
    auto dir = makeTempDir("vokari-db");
    auto path = dir / "vokari.db";
    if (auto db = openDb(path)) {
        EXPECT_EQ(db->schemaVersion(), Database::kSchemaVersion);
        ASSERT_TRUE(db->registerDevice("A", "laptop", "14.4.1", 1000));
        ASSERT_TRUE(db->setVocab("A", "Kubernetes", 1000));
        ASSERT_TRUE(db->setStyle("A", "custom", std::string("Be brief."), 1000));
        ASSERT_EQ(db->recordProcess("A", "raw", "Refined.", "dictation", 2000, "1970-01-01", 10), StoreOutcome::stored);
        ASSERT_TRUE(db->appendLogs("A", {{"m", "info", "macos-app", "t"}}, 3000, 100));
    }
    if (auto db = openDb(path)) {
        auto p = db->profile("A");
        EXPECT_EQ(p->stylePreset, "custom");
        EXPECT_EQ(p->customPrompt, "Be brief.");
        EXPECT_EQ(p->vocab, "Kubernetes");
        auto page = db->transcripts("A", 10, std::nullopt);
        ASSERT_EQ(page->rows.size(), 1u);
        EXPECT_EQ(page->rows[0].refined, "Refined.");
        EXPECT_EQ(page->rows[0].createdAtMs, 2000);
        EXPECT_EQ(db->usageOn("A", "1970-01-01").value(), 1);
        EXPECT_EQ(db->logCount("A").value(), 1);
    }
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    sqlite3_exec(raw, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    auto opened = Database::open(path.string());
    ASSERT_TRUE(std::holds_alternative<std::string>(opened));
    EXPECT_NE(std::get<std::string>(opened).find("newer"), std::string::npos);
    std::filesystem::remove_all(dir);
}
