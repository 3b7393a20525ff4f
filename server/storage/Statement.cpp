#include "storage/Statement.h"

#include <sqlite3.h>

namespace vokari::server {

Statement::Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        stmt_ = nullptr;
        failed_ = true;
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement& Statement::bind(int index, const std::string& value) {
    if (stmt_ != nullptr &&
        sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
        failed_ = true;
    }
    return *this;
}

Statement& Statement::bind(int index, int64_t value) {
    if (stmt_ != nullptr && sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) {
        failed_ = true;
    }
    return *this;
}

Statement& Statement::bindNull(int index) {
    if (stmt_ != nullptr && sqlite3_bind_null(stmt_, index) != SQLITE_OK) {
        failed_ = true;
    }
    return *this;
}

bool Statement::step() {
    if (stmt_ == nullptr || failed_) {
        failed_ = true;
        return false;
    }
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        failed_ = true;
    }
    return false;
}

bool Statement::run() {
    while (step()) {
    }
    return !failed_;
}

int64_t Statement::columnInt(int index) const {
    return sqlite3_column_int64(stmt_, index);
}

std::string Statement::columnText(int index) const {
    const unsigned char* text = sqlite3_column_text(stmt_, index);
    int n = sqlite3_column_bytes(stmt_, index);
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n));
}

bool Statement::columnIsNull(int index) const {
    return sqlite3_column_type(stmt_, index) == SQLITE_NULL;
}

} // namespace vokari::server
