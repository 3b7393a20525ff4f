#include "storage/Database.h"

#include "storage/Statement.h"

#include <sqlite3.h>

namespace vokari::server {
namespace {

// Each entry migrates from version index to index + 1. Append new steps; never edit shipped ones.
const char* const kMigrations[] = {
    R"(
    CREATE TABLE devices (
        id TEXT PRIMARY KEY,
        name TEXT NOT NULL DEFAULT '',
        os_version TEXT NOT NULL DEFAULT '',
        first_seen_ms INTEGER NOT NULL,
        last_seen_ms INTEGER NOT NULL
    );
    CREATE TABLE profiles (
        device_id TEXT PRIMARY KEY,
        style_preset TEXT NOT NULL DEFAULT 'professional',
        custom_prompt TEXT NOT NULL DEFAULT '',
        vocab TEXT NOT NULL DEFAULT '',
        updated_ms INTEGER NOT NULL
    );
    CREATE TABLE transcripts (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        device_id TEXT NOT NULL,
        raw TEXT NOT NULL,
        refined TEXT NOT NULL,
        source TEXT NOT NULL DEFAULT '',
        created_ms INTEGER NOT NULL
    );
    CREATE INDEX transcripts_by_device ON transcripts(device_id, id);
    CREATE TABLE daily_usage (
        device_id TEXT NOT NULL,
        day TEXT NOT NULL,
        count INTEGER NOT NULL,
        PRIMARY KEY (device_id, day)
    );
    CREATE TABLE logs (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        device_id TEXT NOT NULL,
        ts TEXT NOT NULL,
        level TEXT NOT NULL,
        source TEXT NOT NULL,
        message TEXT NOT NULL,
        received_ms INTEGER NOT NULL
    );
    CREATE INDEX logs_by_device ON logs(device_id, id);
    )",
};

// Rolls back unless commit() succeeded.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) {
        began_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction() {
        if (began_ && !done_) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    bool began() const { return began_; }
    bool commit() {
        done_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        return done_;
    }

private:
    sqlite3* db_;
    bool began_ = false;
    bool done_ = false;
};

bool upsertDevice(sqlite3* db, const std::string& id, int64_t nowMs) {
    return Statement(db, "INSERT INTO devices(id, first_seen_ms, last_seen_ms) VALUES(?1, ?2, ?2) "
                         "ON CONFLICT(id) DO UPDATE SET last_seen_ms = excluded.last_seen_ms")
        .bind(1, id)
        .bind(2, nowMs)
        .run();
}

bool ensureProfile(sqlite3* db, const std::string& id, int64_t nowMs) {
    return Statement(db, "INSERT OR IGNORE INTO profiles(device_id, updated_ms) VALUES(?1, ?2)")
        .bind(1, id)
        .bind(2, nowMs)
        .run();
}

} // namespace

std::variant<std::unique_ptr<Database>, std::string> Database::open(const std::string& path) {
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = raw != nullptr ? sqlite3_errmsg(raw) : "out of memory";
        sqlite3_close(raw);
        return "cannot open database " + path + ": " + msg;
    }
    std::unique_ptr<Database> db(new Database(raw));
    sqlite3_busy_timeout(raw, 5000);
    // WAL lets readers proceed during a write; NORMAL sync is durable across process crashes in WAL mode.
    if (!db->exec("PRAGMA journal_mode=WAL") || !db->exec("PRAGMA synchronous=NORMAL") ||
        !db->exec("PRAGMA foreign_keys=ON")) {
        return "cannot configure database " + path + ": " + sqlite3_errmsg(raw);
    }
    std::string error;
    if (!db->migrate(error)) {
        return "cannot migrate database " + path + ": " + error;
    }
    return db;
}

Database::~Database() {
    sqlite3_close(db_);
}

bool Database::exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool Database::migrate(std::string& error) {
    int version = schemaVersion();
    if (version < 0) {
        error = sqlite3_errmsg(db_);
        return false;
    }
    const int known = static_cast<int>(std::size(kMigrations));
    if (version > known) {
        error = "database schema version " + std::to_string(version) + " is newer than this server (" +
                std::to_string(known) + ")";
        return false;
    }
    for (int v = version; v < known; ++v) {
        Transaction tx(db_);
        std::string bump = "PRAGMA user_version=" + std::to_string(v + 1);
        if (!tx.began() || !exec(kMigrations[v]) || !exec(bump.c_str()) || !tx.commit()) {
            error = std::string("migration to version ") + std::to_string(v + 1) + " failed: " + sqlite3_errmsg(db_);
            return false;
        }
    }
    return true;
}

int Database::schemaVersion() {
    Statement st(db_, "PRAGMA user_version");
    return st.step() ? static_cast<int>(st.columnInt(0)) : -1;
}

bool Database::registerDevice(const std::string& id, const std::string& name, const std::string& osVersion,
                              int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock_);
    return Statement(db_, "INSERT INTO devices(id, name, os_version, first_seen_ms, last_seen_ms) "
                          "VALUES(?1, ?2, ?3, ?4, ?4) ON CONFLICT(id) DO UPDATE SET name = excluded.name, "
                          "os_version = excluded.os_version, last_seen_ms = excluded.last_seen_ms")
        .bind(1, id)
        .bind(2, name)
        .bind(3, osVersion)
        .bind(4, nowMs)
        .run();
}

bool Database::touchDevice(const std::string& id, int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock_);
    return upsertDevice(db_, id, nowMs);
}

std::optional<Profile> Database::profile(const std::string& deviceId) {
    std::lock_guard<std::mutex> guard(lock_);
    Statement st(db_, "SELECT style_preset, custom_prompt, vocab FROM profiles WHERE device_id = ?1");
    st.bind(1, deviceId);
    Profile p;
    if (st.step()) {
        p.stylePreset = st.columnText(0);
        p.customPrompt = st.columnText(1);
        p.vocab = st.columnText(2);
    }
    if (st.failed()) {
        return std::nullopt;
    }
    return p;
}

bool Database::setVocab(const std::string& deviceId, const std::string& vocab, int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock_);
    Transaction tx(db_);
    return tx.began() && upsertDevice(db_, deviceId, nowMs) && ensureProfile(db_, deviceId, nowMs) &&
           Statement(db_, "UPDATE profiles SET vocab = ?2, updated_ms = ?3 WHERE device_id = ?1")
               .bind(1, deviceId)
               .bind(2, vocab)
               .bind(3, nowMs)
               .run() &&
           tx.commit();
}

bool Database::setStyle(const std::string& deviceId, const std::string& preset,
                        const std::optional<std::string>& prompt, int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock_);
    Transaction tx(db_);
    return tx.began() && upsertDevice(db_, deviceId, nowMs) && ensureProfile(db_, deviceId, nowMs) &&
           Statement(db_, "UPDATE profiles SET style_preset = ?2, custom_prompt = COALESCE(?3, custom_prompt), "
                          "updated_ms = ?4 WHERE device_id = ?1")
               .bind(1, deviceId)
               .bind(2, preset)
               .bind(3, prompt)
               .bind(4, nowMs)
               .run() &&
           tx.commit();
}

std::optional<int64_t> Database::usageOn(const std::string& deviceId, const std::string& day) {
    std::lock_guard<std::mutex> guard(lock_);
    Statement st(db_, "SELECT count FROM daily_usage WHERE device_id = ?1 AND day = ?2");
    st.bind(1, deviceId).bind(2, day);
    int64_t count = st.step() ? st.columnInt(0) : 0;
    if (st.failed()) {
        return std::nullopt;
    }
    return count;
}

StoreOutcome Database::recordProcess(const std::string& deviceId, const std::string& raw, const std::string& refined,
                                     const std::string& source, int64_t nowMs, const std::string& day, int64_t limit) {
    std::lock_guard<std::mutex> guard(lock_);
    Transaction tx(db_);
    if (!tx.began()) {
        return StoreOutcome::failed;
    }
    Statement count(db_, "SELECT count FROM daily_usage WHERE device_id = ?1 AND day = ?2");
    count.bind(1, deviceId).bind(2, day);
    int64_t used = count.step() ? count.columnInt(0) : 0;
    if (count.failed()) {
        return StoreOutcome::failed;
    }
    if (limit > 0 && used >= limit) {
        return StoreOutcome::limitReached;
    }
    bool ok = upsertDevice(db_, deviceId, nowMs) &&
              Statement(db_, "INSERT INTO daily_usage(device_id, day, count) VALUES(?1, ?2, 1) "
                             "ON CONFLICT(device_id, day) DO UPDATE SET count = count + 1")
                  .bind(1, deviceId)
                  .bind(2, day)
                  .run();
    if (ok && !(raw.empty() && refined.empty())) {
        ok = Statement(db_, "INSERT INTO transcripts(device_id, raw, refined, source, created_ms) "
                            "VALUES(?1, ?2, ?3, ?4, ?5)")
                 .bind(1, deviceId)
                 .bind(2, raw)
                 .bind(3, refined)
                 .bind(4, source)
                 .bind(5, nowMs)
                 .run();
    }
    return ok && tx.commit() ? StoreOutcome::stored : StoreOutcome::failed;
}

std::optional<TranscriptPage> Database::transcripts(const std::string& deviceId, int limit,
                                                    std::optional<int64_t> after) {
    std::lock_guard<std::mutex> guard(lock_);
    Statement st(db_, "SELECT id, raw, refined, created_ms FROM transcripts WHERE device_id = ?1 AND id < ?2 "
                      "ORDER BY id DESC LIMIT ?3");
    st.bind(1, deviceId).bind(2, after.value_or(INT64_MAX)).bind(3, static_cast<int64_t>(limit) + 1);
    TranscriptPage page;
    while (st.step()) {
        page.rows.push_back(TranscriptRow{st.columnInt(0), st.columnText(1), st.columnText(2), st.columnInt(3)});
    }
    if (st.failed()) {
        return std::nullopt;
    }
    if (page.rows.size() > static_cast<size_t>(limit)) {
        page.rows.pop_back();
        page.hasMore = true;
    }
    return page;
}

bool Database::appendLogs(const std::string& deviceId, const std::vector<LogEntry>& entries, int64_t nowMs,
                          int64_t maxPerDevice) {
    std::lock_guard<std::mutex> guard(lock_);
    Transaction tx(db_);
    if (!tx.began() || !upsertDevice(db_, deviceId, nowMs)) {
        return false;
    }
    for (const auto& e : entries) {
        if (!Statement(db_, "INSERT INTO logs(device_id, ts, level, source, message, received_ms) "
                            "VALUES(?1, ?2, ?3, ?4, ?5, ?6)")
                 .bind(1, deviceId)
                 .bind(2, e.ts)
                 .bind(3, e.level)
                 .bind(4, e.source)
                 .bind(5, e.message)
                 .bind(6, nowMs)
                 .run()) {
            return false;
        }
    }
    bool trimmed = Statement(db_, "DELETE FROM logs WHERE device_id = ?1 AND id <= (SELECT id FROM logs WHERE "
                                  "device_id = ?1 ORDER BY id DESC LIMIT 1 OFFSET ?2)")
                       .bind(1, deviceId)
                       .bind(2, maxPerDevice)
                       .run();
    return trimmed && tx.commit();
}

std::optional<int64_t> Database::logCount(const std::string& deviceId) {
    std::lock_guard<std::mutex> guard(lock_);
    Statement st(db_, "SELECT COUNT(*) FROM logs WHERE device_id = ?1");
    st.bind(1, deviceId);
    if (!st.step()) {
        return std::nullopt;
    }
    return st.columnInt(0);
}

} // namespace vokari::server
