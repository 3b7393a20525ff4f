// The unsent-recordings store on a private directory, and the app's keeper of it on a virtual-time queue.
#include "app/UnsentRecordings.h"
#include "app/KeptRecordings.h"
#include "core/AtomicFile.h"
#include "core/VirtualMainQueue.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace vokari {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

std::vector<std::uint8_t> wavOf(std::size_t samples) {
    return DictationSession::encodeWAV(std::vector<float>(samples, 0.1f));
}

Clock::time_point at(int second) {
    return Clock::time_point(std::chrono::seconds(1'800'000'000 + second)) + std::chrono::milliseconds(250);
}

unsigned modeOf(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

class UnsentRecordingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "vokari-unsent-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        root = tmpl;
        dir = root / "vokari" / "unsent";
    }
    void TearDown() override { fs::remove_all(root); }
    std::vector<std::string> ids(const UnsentRecordings& store) {
        std::vector<std::string> out;
        for (const auto& rec : store.list().recordings) {
            out.push_back(rec.id);
        }
        return out;
    }
    fs::path root, dir;
};

TEST_F(UnsentRecordingsTest, NewestFirstPrivateFilesAndTheOldestDroppedBeyondEitherLimit) {
    UnsentRecordings store(dir, 3, 1024 * 1024);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(store.keep(wavOf(16000), 1.0, "Server error — try again", at(i)).kept);
    }
    // Two in the same millisecond get distinct names.
    auto fourth = store.keep(wavOf(8000), 0.5, "Request timed out — try again", at(2));
    ASSERT_TRUE(fourth.kept);
    EXPECT_EQ(fourth.kept->id, "20270115-080002-250-2");
    EXPECT_EQ(fourth.dropped, std::vector<std::string>{"20270115-080000-250"});
    EXPECT_EQ(ids(store),
              (std::vector<std::string>{"20270115-080002-250-2", "20270115-080002-250", "20270115-080001-250"}));
    const auto newest = store.list().recordings.front();
    EXPECT_EQ(newest.durationSeconds, 0.5);
    EXPECT_EQ(newest.error, "Request timed out — try again");
    EXPECT_EQ(newest.time, at(2));
    EXPECT_EQ(modeOf(dir), 0700u);
    EXPECT_EQ(modeOf(newest.wavPath), 0600u);
    EXPECT_EQ(modeOf(fs::path(newest.wavPath).replace_extension(".json")), 0600u);
    EXPECT_EQ(*readWholeFile(fs::path(newest.wavPath).replace_extension(".json")),
              R"({"duration":0.5,"error":"Request timed out — try again","time":"2027-01-15T08:00:02.250Z"})");
    auto audio = store.readAudio(newest);
    ASSERT_TRUE(audio);
    EXPECT_EQ(*audio, wavOf(8000));

    // 200 MB in small: room for two one-second recordings (32 044 bytes each), not three.
    UnsentRecordings small(root / "small", 20, 70000);
    for (int i = 0; i < 3; ++i) {
        small.keep(wavOf(16000), 1.0, "x", at(i));
    }
    EXPECT_EQ(ids(small), (std::vector<std::string>{"20270115-080002-250", "20270115-080001-250"}));

    EXPECT_TRUE(store.remove(newest.id));
    EXPECT_EQ(store.list().recordings.size(), 2u);
    EXPECT_FALSE(store.find(newest.id));
    EXPECT_FALSE(store.remove("../small/20270115-080002-250")) << "ids never leave the directory";
    EXPECT_FALSE(store.find("../small/20270115-080002-250"));
}

TEST_F(UnsentRecordingsTest, DamagedEntriesAreReportedAndSkippedAndHalfWrittenOnesNeverShow) {
    UnsentRecordings store(dir);
    ASSERT_TRUE(store.keep(wavOf(16000), 1.0, "Server error — try again", at(0)).kept);
    auto good = store.list().recordings.front();
    // A write cut short leaves only its temporary file; a WAV that lost its description is still worth a retry.
    writeFileAtomically(dir / "20270115-080005-000.wav.tmp-abc123", "RIFF");
    auto orphanWav = wavOf(4800);
    writeFileAtomically(dir / "20270115-080006-000.wav", std::string(orphanWav.begin(), orphanWav.end()));
    writeFileAtomically(dir / "20270115-080007-000.wav", std::string(orphanWav.begin(), orphanWav.end()));
    writeFileAtomically(dir / "20270115-080007-000.json", "{\"time\": 12, broken");
    // Damaged audio: truncated samples, something that is no WAV, an empty file; and a description alone.
    auto truncated = wavOf(16000);
    truncated.resize(1000);
    writeFileAtomically(dir / "20270115-080008-000.wav", std::string(truncated.begin(), truncated.end()));
    writeFileAtomically(dir / "20270115-080009-000.wav", "this is not audio at all, not even close to it......");
    writeFileAtomically(dir / "20270115-080010-000.wav", "");
    writeFileAtomically(dir / "20270115-080011-000.json", R"({"time":"2027-01-15T08:00:11.000Z"})");

    auto listing = store.list();
    std::vector<std::string> listed;
    for (const auto& rec : listing.recordings) {
        listed.push_back(rec.id);
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{good.id, "20270115-080006-000", "20270115-080007-000"}));
    ASSERT_EQ(listing.problems.size(), 6u);
    std::string all;
    for (const auto& p : listing.problems) {
        all += p + "\n";
    }
    EXPECT_NE(all.find("20270115-080006-000.wav has no description"), std::string::npos) << all;
    EXPECT_NE(all.find("20270115-080007-000.wav has a damaged description"), std::string::npos) << all;
    EXPECT_NE(all.find("20270115-080008-000.wav is not a complete 16 kHz mono WAV"), std::string::npos) << all;
    EXPECT_NE(all.find("20270115-080011-000.json has no audio beside it"), std::string::npos) << all;
    auto orphan = store.find("20270115-080006-000");
    ASSERT_TRUE(orphan);
    EXPECT_DOUBLE_EQ(orphan->durationSeconds, 0.3) << "read from the WAV header";

    // The file goes bad after it was listed: reading it says so instead of sending garbage.
    writeFileAtomically(good.wavPath, "RIFF....WAVE");
    std::string problem;
    EXPECT_FALSE(store.readAudio(good, &problem));
    EXPECT_NE(problem.find("is damaged"), std::string::npos);
    // An unwritable directory: the keep fails with a reason.
    UnsentRecordings blocked(dir / "20270115-080009-000.wav" / "sub");
    auto refused = blocked.keep(wavOf(100), 0.1, "x", at(0));
    EXPECT_FALSE(refused.kept);
    EXPECT_NE(refused.problem.find("cannot write"), std::string::npos);
}

TEST_F(UnsentRecordingsTest, TheKeeperWritesOffTheMainThreadAndPublishesOnTheMainQueue) {
    VirtualMainQueue queue;
    auto kept = KeptRecordings::create(queue, std::make_shared<UnsentRecordings>(dir));
    std::vector<std::size_t> seen;
    auto subscription = kept->recordings.subscribe([&](const auto& list) { seen.push_back(list.size()); });
    auto session = std::make_shared<DictationSession>();
    session->appendSamples(std::vector<float>(16000, 0.2f));
    kept->keep(session, "Server error — try again");
    kept->waitForWorker();
    EXPECT_EQ(seen, std::vector<std::size_t>{0}) << "nothing reaches the main thread before the queue runs";
    queue.runUntilIdle();
    ASSERT_EQ(kept->recordings.get().size(), 1u);
    const std::string id = kept->recordings.get().front().id;

    std::optional<std::vector<std::uint8_t>> loaded;
    kept->loadAudio(id, [&](auto audio) { loaded = std::move(audio); });
    kept->waitForWorker();
    queue.runUntilIdle();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, session->getWAVData());

    // Removed behind the keeper's back (vokarictl retry): loading it fails and the list catches up.
    fs::remove(dir / (id + ".wav"));
    loaded = std::vector<std::uint8_t>{1};
    kept->loadAudio(id, [&](auto audio) { loaded = std::move(audio); });
    kept->waitForWorker();
    queue.runUntilIdle();
    kept->waitForWorker();
    queue.runUntilIdle();
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(kept->recordings.get().empty());

    kept->keep(session, "Server error — try again");
    kept->waitForWorker();
    queue.runUntilIdle();
    ASSERT_EQ(kept->recordings.get().size(), 1u);
    const std::string second = kept->recordings.get().front().id;
    kept->discard(second);
    kept->waitForWorker();
    queue.runUntilIdle();
    EXPECT_TRUE(kept->recordings.get().empty());
    EXPECT_FALSE(fs::exists(dir / (second + ".wav")));
}

} // namespace
} // namespace vokari
