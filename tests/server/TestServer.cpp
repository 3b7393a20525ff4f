#include "TestServer.h"

#include "audio/WavReader.h"

#include <cmath>
#include <random>
#include <stdexcept>

namespace vokari::server::test {

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

TestServer::TestServer(int64_t dailyLimit, bool withEngine, std::optional<ReleaseManifest> release,
                       const std::function<void(ServerContext&)>& configure)
    : dir(makeTempDir("vokari-server-test")) {
    auto opened = Database::open((dir / "vokari.db").string());
    if (!std::holds_alternative<std::unique_ptr<Database>>(opened)) {
        throw std::runtime_error(std::get<std::string>(opened));
    }
    db = std::move(std::get<std::unique_ptr<Database>>(opened));
    context = std::make_unique<ServerContext>(
        ServerContext{*db, clock, withEngine ? &engine : nullptr, refiner, std::move(release), dailyLimit});
    if (configure) {
        configure(*context);
    }
    http = std::make_unique<HttpServer>(*context, 4);
    http->quietAccessLog = true;
    auto bound = http->bind("127.0.0.1", 0);
    if (!std::holds_alternative<int>(bound)) {
        throw std::runtime_error(std::get<std::string>(bound));
    }
    port = std::get<int>(bound);
    context->publicOrigin = "http://127.0.0.1:" + std::to_string(port);
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

namespace {

httplib::Headers headersFor(const std::optional<std::string>& device) {
    return device ? httplib::Headers{{"x-device-id", *device}} : httplib::Headers{};
}

} // namespace

httplib::Result TestServer::process(const std::string& device, const std::string& wav,
                                    const std::optional<std::string>& vocab) {
    const std::string b = "5D2C3F4A-1B2C-4D5E-8F90-A1B2C3D4E5F6";
    std::string payload = "--" + b +
                          "\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"recording.wav\"\r\n" +
                          "Content-Type: audio/wav\r\n\r\n" + wav + "\r\n";
    if (vocab) {
        payload += "--" + b + "\r\nContent-Disposition: form-data; name=\"vocab\"\r\n\r\n" + *vocab + "\r\n";
    }
    payload += "--" + b + "\r\nContent-Disposition: form-data; name=\"source\"\r\n\r\ndictation\r\n--" + b + "--\r\n";
    return client().Post("/process", headersFor(device), payload, "multipart/form-data; boundary=" + b);
}

httplib::Result TestServer::get(const std::string& path, const std::optional<std::string>& device) {
    return client().Get(path, headersFor(device));
}

httplib::Result TestServer::postJson(const std::string& path, const std::string& body,
                                     const std::optional<std::string>& device) {
    return client().Post(path, headersFor(device), body, "application/json");
}

} // namespace vokari::server::test
