// The rules under the updater: which download addresses are safe, checksums of files, private staging directories.
#include "update/Sha256.h"
#include "update/StagingDirectory.h"
#include "update/UpdateOffer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

namespace vokari {
namespace {

TEST(UpdateRules, DownloadsNeedHttpsOrALoopbackHost) {
    for (const char* url :
         {"https://downloads.example.com/v.tar.gz", "http://127.0.0.1:8790/downloads/v.tar.gz", "http://127.1.2.3/v",
          "http://localhost/v", "http://LOCALHOST:80/v", "http://[::1]:8790/v", "http://user@127.0.0.1/v"}) {
        EXPECT_TRUE(UpdateOffer::isSecureDownloadURL(url)) << url;
    }
    for (const char* url :
         {"http://downloads.example.com/v.tar.gz", "http://127.0.0.1@evil.example/v", "http://127.0.0.1.evil.example/v",
          "http://127.0.0.256/v", "http://127.0.1/v", "http://localhost.evil.example/v", "ftp://127.0.0.1/v",
          "file:///tmp/v.tar.gz", "https:///v", "https://h/a b", "//h/v"}) {
        EXPECT_FALSE(UpdateOffer::isSecureDownloadURL(url)) << url;
    }
    EXPECT_EQ(UpdateOffer::normalizedSha256(std::string(63, 'a') + "F"), std::string(63, 'a') + "f");
    EXPECT_FALSE(UpdateOffer::normalizedSha256(std::string(63, 'a') + "g"));
    EXPECT_FALSE(UpdateOffer::normalizedSha256(std::string(65, 'a')));
    // A "sha256" that is present but not a string is kept, so the download is refused rather than unverified.
    auto offer = UpdateOffer::fromCheckAnswer(
        R"({"update_available":true,"latest":"2","download_url":"https://h/v","sha256":null})");
    ASSERT_TRUE(offer && offer->sha256);
    EXPECT_FALSE(UpdateOffer::normalizedSha256(*offer->sha256));
}

TEST(UpdateRules, Sha256OfFilesAndPrivateStagingDirectories) {
    std::string error;
    auto staging = StagingDirectory::create(testing::TempDir(), error);
    ASSERT_TRUE(staging) << error;
    const std::string dir = staging->path();
    struct stat info {};
    ASSERT_EQ(::stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    auto other = StagingDirectory::create(testing::TempDir(), error);
    EXPECT_NE(other->path(), dir);

    std::ofstream(staging->file("abc")) << "abc";
    EXPECT_EQ(Sha256::ofFile(staging->file("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::ofstream(staging->file("big"), std::ios::binary) << std::string(200'000, 'x'); // several blocks
    EXPECT_EQ(Sha256::ofFile(staging->file("big")), "91e3faafd322bcdf160f3f0ce886acb092b9b9e2a1e8526b40f21a8898a8700b");
    EXPECT_FALSE(Sha256::ofFile(staging->file("missing"), &error));
    EXPECT_EQ(error, "No such file or directory");

    staging.reset(); // removed with everything in it
    EXPECT_FALSE(std::filesystem::exists(dir));
    EXPECT_FALSE(StagingDirectory::create("/nonexistent-parent", error));
    EXPECT_EQ(error, "No such file or directory");
}

} // namespace
} // namespace vokari
