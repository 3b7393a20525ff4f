#pragma once
// The server's SQLite store: devices, profiles, transcripts, daily usage and shipped logs.
// Thread-safe: every call takes one mutex around one connection (WAL mode), and each write is one transaction.
// Owned by ServerApp (or a test); handlers borrow it. Failures come back as false / nullopt, never as exceptions.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;

namespace vokari::server {

struct Profile {
    std::string stylePreset = "professional";
    std::string customPrompt;
    std::string vocab;
};

struct TranscriptRow {
    int64_t id = 0;
    std::string raw;
    std::string refined;
    int64_t createdAtMs = 0;
};

struct TranscriptPage {
    std::vector<TranscriptRow> rows;
    bool hasMore = false;
};

struct LogEntry {
    std::string message;
    std::string level;
    std::string source;
    std::string ts;
};

enum class StoreOutcome { stored, limitReached, failed };

class Database {
public:
    static constexpr int kSchemaVersion = 1;

    // Opens (creating if needed) the database file and migrates it to kSchemaVersion.
    static std::variant<std::unique_ptr<Database>, std::string> open(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    int schemaVersion();

    bool registerDevice(const std::string& id, const std::string& name, const std::string& osVersion, int64_t nowMs);
    // Records that the device was seen (creates a bare row for a device that never registered).
    bool touchDevice(const std::string& id, int64_t nowMs);

    // The stored profile, or the defaults when there is none; nullopt on a database error.
    std::optional<Profile> profile(const std::string& deviceId);
    bool setVocab(const std::string& deviceId, const std::string& vocab, int64_t nowMs);
    // A missing prompt keeps the stored one.
    bool setStyle(const std::string& deviceId, const std::string& preset, const std::optional<std::string>& prompt,
                  int64_t nowMs);

    std::optional<int64_t> usageOn(const std::string& deviceId, const std::string& day);
    // In one transaction: check the day's count against `limit` (0 = none), count the request and store the
    // transcript (skipped when both texts are empty). Nothing is written unless all of it is.
    StoreOutcome recordProcess(const std::string& deviceId, const std::string& raw, const std::string& refined,
                               const std::string& source, int64_t nowMs, const std::string& day, int64_t limit);

    // Newest first; `after` returns only entries older than that id.
    std::optional<TranscriptPage> transcripts(const std::string& deviceId, int limit, std::optional<int64_t> after);

    // Appends entries and keeps only the newest `maxPerDevice` for the device.
    bool appendLogs(const std::string& deviceId, const std::vector<LogEntry>& entries, int64_t nowMs,
                    int64_t maxPerDevice);
    std::optional<int64_t> logCount(const std::string& deviceId);

private:
    explicit Database(sqlite3* db) : db_(db) {}
    bool exec(const char* sql);
    bool migrate(std::string& error);

    std::mutex lock_;
    sqlite3* db_;
};

} // namespace vokari::server
