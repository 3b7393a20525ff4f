#include "core/DebugLog.h"
#include "core/AtomicFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

using namespace vokari;
namespace fs = std::filesystem;

namespace {

struct Captured {
    std::string message, level, source;
};

class CapturingSink : public LogSink {
public:
    void log(const std::string& message, const std::string& level, const std::string& source) override {
        std::lock_guard lock(mutex);
        entries.push_back({message, level, source});
    }
    std::mutex mutex;
    std::vector<Captured> entries;
};

class DebugLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedLog = debuglog::logPath();
        savedTmp = debuglog::tmpLogPath();
        dir = fs::temp_directory_path() / ("vokari-log-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        debuglog::setPaths(dir / "perm.log", dir / "tmp.log");
    }
    void TearDown() override {
        debuglog::setPaths(savedLog, savedTmp);
        debuglog::setWallClock(nullptr);
        debuglog::setSink(nullptr);
        fs::remove_all(dir);
    }
    static std::size_t countLines(const std::string& s) {
        return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
    }

    fs::path dir, savedLog, savedTmp;
};

std::chrono::system_clock::time_point localTime(int h, int m, int s, int ms) {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 6;
    tm.tm_hour = h;
    tm.tm_min = m;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm)) + std::chrono::milliseconds(ms);
}

} // namespace

TEST_F(DebugLogTest, LineCarriesLocalTimeOfDayInBothFilesAndTheBareMessageGoesToTheSink) {
    ManualWallClock clock(localTime(14, 3, 7, 45));
    debuglog::setWallClock(&clock);
    auto sink = std::make_shared<CapturingSink>();
    debuglog::setSink(sink);

    debugLog("🎙 Dictation started");

    const std::string expected = "[14:03:07.045] 🎙 Dictation started\n";
    EXPECT_EQ(readWholeFile(dir / "perm.log"), expected);
    EXPECT_EQ(readWholeFile(dir / "tmp.log"), expected);
    ASSERT_EQ(sink->entries.size(), 1u);
    EXPECT_EQ(sink->entries[0].message, "🎙 Dictation started");
    EXPECT_EQ(sink->entries[0].level, "info");
    EXPECT_EQ(sink->entries[0].source, "macos-app");

    clock.set(localTime(9, 0, 0, 999) + std::chrono::microseconds(900));
    EXPECT_EQ(timestamp(), "09:00:00.999") << "milliseconds are truncated, never rounded up";
}

TEST(DebugLogLevel, ErrorOnlyForWarningSignOrLowerCaseErrorOrFail) {
    EXPECT_EQ(logLevelFor("⚠️ Daily limit reached"), "error");
    EXPECT_EQ(logLevelFor("upload failed"), "error");
    EXPECT_EQ(logLevelFor("an error occurred"), "error");
    EXPECT_EQ(logLevelFor("❌ Failed to start audio capture"), "info");
    EXPECT_EQ(logLevelFor("Error: capitalised"), "info");
    EXPECT_EQ(logLevelFor(""), "info");
}

TEST_F(DebugLogTest, TrimmingKeepsTheLastThousandLinesOnlyAboveTwoThousand) {
    auto writeLines = [&](int n) {
        std::ofstream out(dir / "perm.log", std::ios::trunc);
        for (int i = 1; i <= n; ++i) {
            out << "line " << i << "\n";
        }
    };
    writeLines(2000);
    auto before = readWholeFile(dir / "perm.log");
    truncateLog();
    EXPECT_EQ(readWholeFile(dir / "perm.log"), before);

    writeLines(2001);
    truncateLog();
    auto after = *readWholeFile(dir / "perm.log");
    EXPECT_EQ(countLines(after), 1000u);
    EXPECT_EQ(after.substr(0, 10), "line 1002\n");
    EXPECT_EQ(after.substr(after.size() - 10), "line 2001\n");

    writeLines(2500);
    { std::ofstream(dir / "perm.log", std::ios::app) << "no newline at end"; }
    truncateLog();
    after = *readWholeFile(dir / "perm.log");
    EXPECT_EQ(after.substr(0, 10), "line 1502\n");
    EXPECT_TRUE(after.ends_with("line 2500\nno newline at end"));

    fs::remove(dir / "perm.log");
    truncateLog(); // a missing file is not an error
    EXPECT_FALSE(fs::exists(dir / "perm.log"));
}

TEST_F(DebugLogTest, AnUnwritableFileLosesTheLineSilentlyWithoutAffectingTheOther) {
    debuglog::setPaths(dir / "no-such-dir" / "perm.log", dir / "tmp.log");
    debugLog("still logged");
    EXPECT_FALSE(fs::exists(dir / "no-such-dir"));
    auto tmp = readWholeFile(dir / "tmp.log");
    ASSERT_TRUE(tmp);
    EXPECT_NE(tmp->find("still logged"), std::string::npos);
}

TEST_F(DebugLogTest, ASymlinkPlantedAtTheLogPathIsNeverFollowed) {
    std::ofstream(dir / "victim") << "precious\n";
    fs::create_symlink(dir / "victim", dir / "tmp.log");
    debugLog("hello");
    startDebugLog();
    EXPECT_EQ(readWholeFile(dir / "victim"), "precious\n");
}

TEST_F(DebugLogTest, StartUpTrimsEmptiesTheDebugFileAndLogsTheStartLine) {
    std::ofstream(dir / "tmp.log") << "old run\n";
    std::ofstream(dir / "perm.log") << "earlier\n";
    startDebugLog();
    auto tmp = *readWholeFile(dir / "tmp.log");
    EXPECT_EQ(countLines(tmp), 1u);
    EXPECT_NE(tmp.find("] STARTED — Vokari launching...\n"), std::string::npos);
    auto perm = *readWholeFile(dir / "perm.log");
    EXPECT_EQ(perm.substr(0, 8), "earlier\n");
}

TEST_F(DebugLogTest, ConcurrentLoggingProducesWholeLinesInBothFiles) {
    constexpr int perThread = 300;
    auto worker = [](char tag) {
        for (int i = 0; i < perThread; ++i) {
            debugLog(std::string(40, tag) + " " + std::to_string(i));
        }
    };
    std::thread a(worker, 'a');
    std::thread b(worker, 'b');
    a.join();
    b.join();
    for (auto name : {"perm.log", "tmp.log"}) {
        std::istringstream in(*readWholeFile(dir / name));
        std::string line;
        int count = 0;
        while (std::getline(in, line)) {
            ++count;
            ASSERT_EQ(line[0], '[');
            auto body = line.substr(15);
            ASSERT_TRUE(body.starts_with(std::string(40, 'a') + " ") || body.starts_with(std::string(40, 'b') + " "))
                << line;
        }
        EXPECT_EQ(count, 2 * perThread);
    }
}
