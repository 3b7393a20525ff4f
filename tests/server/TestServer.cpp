#include "TestServer.h"

#include "audio/WavReader.h"

#include <cmath>
#include <random>
#include <stdexcept>

namespace vokari::test {

std::filesystem::path makeTempDir(const std::string& prefix) {
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    return dir;
}

std::string toneWav(double seconds, int sampleRate, int channels) {
    std::vector<int16_t> samples(static_cast<size_t>(seconds * sampleRate) * static_cast<size_t>(channels));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(3000 * std::sin(static_cast<double>(i) * 0.05));
    }
    return encodeWav(samples, sampleRate, channels);
}

TestServer::TestServer(int64_t dailyLimit, bool withEngine, std::optional<ReleaseManifest> release)
    : dir(makeTempDir("vokari-server-test")) {
    auto opened = Database::open((dir / "vokari.db").string());
    if (!std::holds_alternative<std::unique_ptr<Database>>(opened)) {
        throw std::runtime_error(std::get<std::string>(opened));
    }
    db = std::move(std::get<std::unique_ptr<Database>>(opened));
    context = std::make_unique<ServerContext>(
        ServerContext{*db, clock, withEngine ? &engine : nullptr, refiner, std::move(release), dailyLimit});
    http = std::make_unique<HttpServer>(*context, 4);
    http->quietAccessLog = true;
    auto bound = http->bind("127.0.0.1", 0);
    if (!std::holds_alternative<int>(bound)) {
        throw std::runtime_error(std::get<std::string>(bound));
    }
    port = std::get<int>(bound);
    thread_ = std::thread([this] { http->run(); });
}

TestServer::~TestServer() {
    http->stop();
    thread_.join();
    http.reset();
    db.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

httplib::Client TestServer::client() const {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(std::chrono::seconds(30));
    return c;
}

httplib::Result TestServer::process(const std::string& device, const std::string& wav,
                                    const std::optional<std::string>& vocab) {
    httplib::MultipartFormDataItems items = {{"audio", wav, "recording.wav", "audio/wav"}};
    if (vocab) {
        items.push_back({"vocab", *vocab, "", ""});
    }
    items.push_back({"source", "dictation", "", ""});
    return client().Post("/process", httplib::Headers{{"x-device-id", device}}, items);
}

} // namespace vokari::test
