#pragma once
// Thin RAII wrapper over one prepared SQLite statement: bind by position, step, read columns.
// Used only while Database holds its lock, so it needs no locking of its own. Owned by the caller's scope.

#include <cstdint>
#include <optional>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace vokari::server {

class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    Statement& bind(int index, const std::string& value);
    Statement& bind(int index, int64_t value);
    Statement& bindNull(int index);
    Statement& bind(int index, const std::optional<std::string>& value) {
        return value ? bind(index, *value) : bindNull(index);
    }

    // SQLITE_ROW → true (a row is ready), SQLITE_DONE → false; errors set failed().
    bool step();
    bool failed() const { return failed_; }
    // Runs to completion; true when no error occurred.
    bool run();

    int64_t columnInt(int index) const;
    std::string columnText(int index) const;
    bool columnIsNull(int index) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool failed_ = false;
};

} // namespace vokari::server
