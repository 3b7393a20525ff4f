// The release archive is untrusted input until it is unpacked: anything that could write outside the staging
// directory, create devices or escape through a link is refused, not repaired, and damage is reported.
#include "platform/linux/update/ArchiveUnpacker.h"
#include "ChildProcess.h"
#include "TestArchive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using namespace vokari;
using namespace vokari::testing;
namespace fs = std::filesystem;
using Kind = ArchiveEntry::Kind;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

struct Unpacked {
    ArchiveUnpacker::Result result;
    fs::path into;
};

Unpacked unpackEntries(const TempDir& dir, const std::vector<ArchiveEntry>& entries) {
    const auto archive = dir.path / "a.tar.gz";
    EXPECT_TRUE(writeArchive(archive, entries));
    static int count = 0;
    const auto into = dir.path / ("out" + std::to_string(++count));
    fs::create_directory(into);
    return {ArchiveUnpacker::unpack(archive, into), into};
}

} // namespace

TEST(ArchiveUnpackerTest, UnpacksFilesDirectoriesAndInnerLinksWithSafePermissions) {
    TempDir dir("vokari-unpack");
    auto [result, into] = unpackEntries(dir, {
                                                 {"./", Kind::directory, "", 0755},
                                                 {"./Vokari/bin/vokari", Kind::file, "#!/bin/sh\n", 04777},
                                                 {"Vokari/share/a.txt", Kind::file, "hello", 0666},
                                                 {"Vokari/share/b.txt", Kind::symlink, "a.txt"},
                                                 {"Vokari/share/up.txt", Kind::symlink, "../bin/vokari"},
                                                 {"Vokari/share/same.txt", Kind::hardlink, "Vokari/share/a.txt"},
                                                 {"Extra/readme", Kind::file, "x"},
                                             });
    ASSERT_EQ(result.status, ArchiveUnpacker::Status::ok) << result.detail;
    EXPECT_THAT(result.topLevel, ElementsAre("Vokari", "Extra"));
    std::ifstream linked(into / "Vokari/share/b.txt");
    std::string text;
    linked >> text;
    EXPECT_EQ(text, "hello");
    EXPECT_TRUE(fs::is_symlink(into / "Vokari/share/up.txt"));
    EXPECT_EQ(fs::hard_link_count(into / "Vokari/share/a.txt"), 2u);
    struct stat st {};
    ASSERT_EQ(::stat((into / "Vokari/bin/vokari").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u) << "no set-uid, nothing writable by others";
    ASSERT_EQ(::stat((into / "Vokari/share/a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(ArchiveUnpackerTest, RefusesEntriesThatReachOutsideOrAreNotPlainFiles) {
    TempDir dir("vokari-unpack");
    const std::vector<std::pair<ArchiveEntry, std::string>> hostile = {
        {{"/etc/vokari-planted", Kind::file, "x"}, "unsafe entry name"},
        {{"Vokari/../../planted", Kind::file, "x"}, "unsafe entry name"},
        {{"Vokari/..", Kind::directory}, "unsafe entry name"},
        {{"Vokari/escape", Kind::symlink, "../../outside"}, "link points outside"},
        {{"Vokari/abs", Kind::symlink, "/etc/passwd"}, "link points outside"},
        {{"Vokari/hard", Kind::hardlink, "../outside"}, "unsafe hard link"},
        {{"Vokari/hard", Kind::hardlink, "/etc/passwd"}, "unsafe hard link"},
        {{"Vokari/null", Kind::characterDevice}, "special file"},
        {{"Vokari/pipe", Kind::fifo}, "special file"},
    };
    for (const auto& [entry, why] : hostile) {
        auto [result, into] = unpackEntries(dir, {{"Vokari/bin/vokari", Kind::file, "ok", 0755}, entry});
        EXPECT_EQ(result.status, ArchiveUnpacker::Status::refused) << entry.name;
        EXPECT_THAT(result.detail, HasSubstr(why)) << entry.name;
        EXPECT_FALSE(fs::exists(dir.path / "planted"));
        EXPECT_FALSE(fs::exists(dir.path.parent_path() / "planted"));
    }
    // A link that climbs out and back in stays inside and is accepted.
    auto [inside, into] = unpackEntries(dir, {{"Vokari/bin/vokari", Kind::file, "ok", 0755},
                                              {"Vokari/share/l", Kind::symlink, "../../Vokari/bin/vokari"}});
    EXPECT_EQ(inside.status, ArchiveUnpacker::Status::ok) << inside.detail;
}

TEST(ArchiveUnpackerTest, DamagedOrMissingArchivesAreReported) {
    TempDir dir("vokari-unpack");
    const auto good = dir.path / "good.tar.gz";
    ASSERT_TRUE(writeArchive(good, {{"Vokari/bin/vokari", Kind::file, std::string(200000, 'x'), 0755}}));
    const auto bytes = fileBytes(good);

    const auto truncated = dir.path / "truncated.tar.gz";
    std::ofstream(truncated, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    const auto flipped = dir.path / "flipped.tar.gz";
    auto damaged = bytes;
    damaged[damaged.size() / 2] ^= 0x5a;
    std::ofstream(flipped, std::ios::binary) << damaged;
    const auto text = dir.path / "text.tar.gz";
    std::ofstream(text) << "<html>not found</html>";

    for (const auto& bad : {truncated, flipped, text}) {
        const auto into = dir.path / ("into-" + bad.stem().string());
        fs::create_directory(into);
        auto result = ArchiveUnpacker::unpack(bad, into);
        EXPECT_EQ(result.status, ArchiveUnpacker::Status::refused) << bad;
        EXPECT_FALSE(result.detail.empty());
    }
    const auto into = dir.path / "into-missing";
    fs::create_directory(into);
    auto missing = ArchiveUnpacker::unpack(dir.path / "missing.tar.gz", into);
    EXPECT_EQ(missing.status, ArchiveUnpacker::Status::unreadable);
    EXPECT_EQ(missing.detail, "No such file or directory");
}
