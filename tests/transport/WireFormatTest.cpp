// Multipart layout, backend origin handling, JSON safety at the network boundary and the vocabulary file.
#include "TestFiles.h"
#include "core/AtomicFile.h"
#include "core/JsonText.h"
#include "core/Utf8Prefix.h"
#include "http/BackendOrigin.h"
#include "http/MultipartBody.h"
#include "transport/VocabularyFile.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vokari {
namespace {

TEST(MultipartBody, LaysOutFileAndFieldPartsWithBareBoundaryAndClosingLine) {
    MultipartBody body("B-1");
    body.addFile("audio", "recording.wav", "audio/wav", std::string("RIFF\0\r\n", 7));
    body.addField("vocab", "Kubernetes, Grafana");
    body.addField("source", "dictation");
    EXPECT_EQ(body.contentType(), "multipart/form-data; boundary=B-1");
    std::string expected = "--B-1\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"recording.wav\"\r\n"
                           "Content-Type: audio/wav\r\n\r\n";
    expected += std::string("RIFF\0\r\n", 7);
    expected += "\r\n--B-1\r\nContent-Disposition: form-data; name=\"vocab\"\r\n\r\nKubernetes, Grafana"
                "\r\n--B-1\r\nContent-Disposition: form-data; name=\"source\"\r\n\r\ndictation"
                "\r\n--B-1--\r\n";
    EXPECT_EQ(body.finish(), expected);
}

TEST(BackendOrigin, DropsTrailingSlashAndRefusesWhatIsNoHttpUrl) {
    EXPECT_EQ(BackendOrigin::normalized("https://api.example.com/"), "https://api.example.com");
    EXPECT_EQ(BackendOrigin::normalized("http://h:1//"), "http://h:1");
    EXPECT_EQ(BackendOrigin::makeURL("http://127.0.0.1:8790", "/process"), "http://127.0.0.1:8790/process");
    EXPECT_EQ(BackendOrigin::makeURL("https://u@h.example", "/x?a=1"), "https://u@h.example/x?a=1");
    EXPECT_FALSE(BackendOrigin::makeURL("", "/process"));
    EXPECT_FALSE(BackendOrigin::makeURL("ftp://h", "/process"));
    EXPECT_FALSE(BackendOrigin::makeURL("http://", "/process"));
    EXPECT_FALSE(BackendOrigin::makeURL("http://:80", "/p"));
    EXPECT_FALSE(BackendOrigin::makeURL("http://bad host", "/p"));
    EXPECT_FALSE(BackendOrigin::makeURL("http://h\n", "/p"));

    ::setenv("VOKARI_BACKEND_URL", "http://example.test:9/", 1);
    EXPECT_EQ(BackendOrigin::current(), "http://example.test:9");
    ::setenv("VOKARI_BACKEND_URL", "", 1);
    EXPECT_EQ(BackendOrigin::current(), BackendOrigin::normalized(VOKARI_DEFAULT_BACKEND_URL));
    ::unsetenv("VOKARI_BACKEND_URL");
}

TEST(JsonText, HostileBodiesNeverThrowOrCrash) {
    EXPECT_FALSE(JsonText::parseObject(""));
    EXPECT_FALSE(JsonText::parseObject("[1,2]"));
    EXPECT_FALSE(JsonText::parseObject("<html>502</html>"));
    EXPECT_FALSE(JsonText::parseObject("{\"raw\": \"\xff\xfe\"}")); // invalid UTF-8
    EXPECT_FALSE(JsonText::parseObject("{\"a\":1} trailing"));
    std::string deep(1'000'000, '[');
    EXPECT_FALSE(JsonText::parse(deep));
    EXPECT_FALSE(JsonText::parse("{\"a\":" + std::string(100'000, '[') + std::string(100'000, ']') + "}"));
    // Brackets inside strings are text, not nesting.
    EXPECT_TRUE(JsonText::parseObject("{\"a\":\"" + std::string(10'000, '[') + "\\\"\"}"));
    std::string huge = "{\"refined\":\"" + std::string(20'000'000, 'x') + "\"}";
    auto parsed = JsonText::parseObject(huge);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(JsonText::string(*parsed, "refined")->size(), 20'000'000u);

    EXPECT_EQ(JsonText::serialize({{"m", "bad \xc3 byte"}}), "{\"m\":\"bad \xef\xbf\xbd byte\"}");
    auto numbers = JsonText::parseObject(R"({"i":12,"f":12.0,"h":12.5,"s":"12","big":1e300,"neg":-3})");
    EXPECT_EQ(JsonText::integer(*numbers, "i"), 12);
    EXPECT_EQ(JsonText::integer(*numbers, "f"), 12);
    EXPECT_FALSE(JsonText::integer(*numbers, "h"));
    EXPECT_FALSE(JsonText::integer(*numbers, "s"));
    EXPECT_FALSE(JsonText::integer(*numbers, "big"));
    EXPECT_EQ(JsonText::integer(*numbers, "neg"), -3);
}

TEST(JsonText, PrefixCountsCharactersNotBytes) {
    EXPECT_EQ(utf8Prefix("héllo wörld", 7), "héllo w");
    EXPECT_EQ(utf8Prefix("🎙🎙🎙", 2), "🎙🎙");
    EXPECT_EQ(utf8Prefix("ab", 60), "ab");
    EXPECT_EQ(utf8Prefix("a\xff\xfe"
                         "bc",
                         3),
              "a\xff\xfe");
    EXPECT_EQ(utf8Prefix("\xe2\x82", 1), "\xe2"); // truncated sequence: one byte at a time
}

TEST(VocabularyFile, ReadsOnlyAStringVocabAndRewritesKeepingOtherKeys) {
    test::TempDir dir;
    auto path = dir / ".vokari-backend.json";
    EXPECT_FALSE(VocabularyFile::load(path));
    ASSERT_FALSE(writeFileAtomically(path, R"({"vocab":42,"theme":"dark"})"));
    EXPECT_FALSE(VocabularyFile::load(path));
    ASSERT_FALSE(writeFileAtomically(path, R"(["vocab"])"));
    EXPECT_FALSE(VocabularyFile::load(path));

    ASSERT_FALSE(writeFileAtomically(path, R"({"vocab":"old","theme":"dark","n":[1,2]})"));
    VocabularyFile::save(path, "Kubernetes, Grafana");
    auto saved = JsonText::parseObject(*readWholeFile(path));
    EXPECT_EQ(*saved, nlohmann::json::parse(R"({"vocab":"Kubernetes, Grafana","theme":"dark","n":[1,2]})"));
    EXPECT_EQ(VocabularyFile::load(path), "Kubernetes, Grafana");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename(), ".vokari-backend.json") << "no temporary file is left behind";
    }

    // A file that is not JSON is not destroyed silently: it is kept aside before the rewrite.
    ASSERT_FALSE(writeFileAtomically(path, "vocab = hand edited"));
    VocabularyFile::save(path, "alpha");
    EXPECT_EQ(VocabularyFile::load(path), "alpha");
    EXPECT_EQ(readWholeFile(dir / ".vokari-backend.json.corrupt"), "vocab = hand edited");
}

TEST(VocabularyFile, SavingKeepsASymlinkALinkAndTheFileItsMode) {
    test::TempDir dir;
    auto real = dir / "dotfiles-vokari.json";
    auto link = dir / ".vokari-backend.json";
    ASSERT_FALSE(writeFileAtomically(real, R"({"vocab":"old","theme":"dark"})", 0600));
    std::filesystem::create_symlink(real, link);
    VocabularyFile::save(link, "new words");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(VocabularyFile::load(real), "new words");
    EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(*JsonText::parseObject(*readWholeFile(real)),
              nlohmann::json::parse(R"({"vocab":"new words","theme":"dark"})"));
}

} // namespace
} // namespace vokari
