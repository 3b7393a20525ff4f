// Downloads to a file on the libcurl transport against a loopback server: the body lands in the file, limits and
// unwritable files fail, and a cancel stops a transfer that is waiting for the server.
#include "Await.h"
#include "RecordingServer.h"
#include "net/CurlTransport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vokari {
namespace {

using test::Reply;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

HttpResult download(CurlTransport& transport, DownloadRequest request,
                    std::shared_ptr<RequestCancellation> cancellation = nullptr) {
    test::Await<HttpResult> done;
    transport.download(std::move(request), std::move(cancellation), [&done](HttpResult r) { done.set(std::move(r)); });
    return done.get(std::chrono::seconds(20)).value_or(TransportError{-2, "no completion"});
}

TEST(CurlDownload, WritesTheBodyToTheFileAndFailsPastItsLimitOrWhenTheFileCannotBeMade) {
    test::RecordingServer server;
    const std::string archive = std::string("\x1f\x8b", 2) + std::string(300'000, 'v');
    server.answer("/downloads/v.tar.gz", Reply{200, archive, "application/gzip"});
    CurlTransport transport;
    const std::string path = testing::TempDir() + "/curl-download-test.bin";
    auto r = download(transport, {server.origin() + "/downloads/v.tar.gz", path});
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(r));
    EXPECT_EQ(std::get<HttpResponse>(r).status, 200);
    EXPECT_TRUE(std::get<HttpResponse>(r).body.empty());
    EXPECT_EQ(readFile(path), archive);

    server.answer("/missing", Reply{404, "not here", "text/plain"});
    r = download(transport, {server.origin() + "/missing", path});
    EXPECT_EQ(std::get<HttpResponse>(r).status, 404);

    r = download(transport, {server.origin() + "/downloads/v.tar.gz", path, 60, 1000});
    ASSERT_TRUE(std::holds_alternative<TransportError>(r));
    EXPECT_EQ(std::get<TransportError>(r).description, "The download is too large");

    r = download(transport, {server.origin() + "/downloads/v.tar.gz", "/nonexistent-dir/v.tar.gz"});
    ASSERT_TRUE(std::holds_alternative<TransportError>(r));
    EXPECT_EQ(std::get<TransportError>(r).description, "Could not create the download file: No such file or directory");
    std::filesystem::remove(path);
}

TEST(CurlDownload, CancelStopsATransferInFlightAndCompletesItOnceAsCancelled) {
    test::RecordingServer server;
    server.answer("/slow", Reply{.body = "late", .delay = std::chrono::seconds(30)});
    CurlTransport transport;
    auto cancellation = std::make_shared<RequestCancellation>();
    test::Await<HttpResult> done;
    std::atomic<int> completions{0};
    transport.download({server.origin() + "/slow", testing::TempDir() + "/curl-cancel-test.bin"}, cancellation,
                       [&](HttpResult r) {
                           ++completions;
                           done.set(std::move(r));
                       });
    ASSERT_TRUE(server.waitFor("/slow"));
    cancellation->cancel();
    cancellation->cancel();
    // Far sooner than the server's 30 s: the cancel woke the worker.
    auto r = done.get(std::chrono::seconds(10));
    ASSERT_TRUE(r);
    ASSERT_TRUE(std::holds_alternative<TransportError>(*r));
    EXPECT_EQ(std::get<TransportError>(*r).code, urlError::cancelled);
    EXPECT_TRUE(transport.waitIdle(std::chrono::seconds(5)));
    EXPECT_EQ(completions.load(), 1);

    // Cancelled before it starts: it never reaches the server.
    auto early = std::make_shared<RequestCancellation>();
    early->cancel();
    server.answer("/never", Reply{.body = "x"});
    auto e = download(transport, {server.origin() + "/never", testing::TempDir() + "/curl-cancel-test.bin"}, early);
    EXPECT_EQ(std::get<TransportError>(e).code, urlError::cancelled);
    std::filesystem::remove(testing::TempDir() + "/curl-cancel-test.bin");
}

} // namespace
} // namespace vokari
