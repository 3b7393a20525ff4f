#pragma once
// The one logging entry point. debugLog() may be called from any thread: it appends the line with its time of
// day to the permanent and the temporary log file under one lock, prints the bare message to the console and
// hands it to the log sink (the log shipper) with its level. Configuration happens once at start-up.
#include "core/WallClock.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace vokari {

// Receives every logged message without its timestamp; the log shipper implements it.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void log(const std::string& message, const std::string& level, const std::string& source) = 0;
};

inline constexpr const char* kLogSource = "macos-app";
inline constexpr std::size_t kMaxLogLines = 2000;

void debugLog(std::string_view message);
// Local time of day "HH:MM:SS.mmm" from the configured wall clock.
std::string timestamp();
// Appends one line to one file, creating it if missing; every error is swallowed.
void writeToLog(std::string_view line, const std::filesystem::path& path);
// Cuts the permanent log back to its last kMaxLogLines / 2 pieces once it holds more than kMaxLogLines.
void truncateLog();
// "error" when the message contains "⚠️", "error" or "fail" (case-sensitive), else "info".
std::string logLevelFor(std::string_view message);
// Start-up: sets the default paths ($HOME/.vokari.log, /tmp/vk-debug.log) unless already configured,
// trims the permanent log, empties the temporary one, logs "STARTED — Vokari launching...".
void startDebugLog();

namespace debuglog {
void setPaths(std::filesystem::path logPath, std::filesystem::path tmpLogPath);
std::filesystem::path logPath();
std::filesystem::path tmpLogPath();
void setWallClock(const WallClock* clock); // nullptr: the system clock
void setSink(std::shared_ptr<LogSink> sink);
void setConsole(std::FILE* stream); // nullptr: no console output; stdout by default
} // namespace debuglog

} // namespace vokari
