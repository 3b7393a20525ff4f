// The app reading a page of its history ("/transcripts") through the real client, over a transport that answers
// at once. Input: the first byte picks the status, the rest is the body.
#include "FuzzSupport.h"
#include "QuietLog.h"
#include "transport/RefineClient.h"

#include <map>

namespace {

class AnsweringTransport : public vokari::HttpTransport {
public:
    vokari::HttpResponse answer{200, "{}"};
    void send(vokari::HttpRequest, vokari::HttpCompletion completion) override { completion(answer); }
};

class MemorySecrets : public vokari::SecretStore {
public:
    std::optional<std::string> read(const vokari::SecretQuery& q) override {
        auto it = items.find(q.service + "/" + q.account);
        return it == items.end() ? std::nullopt : std::optional(it->second);
    }
    void remove(const vokari::SecretQuery& q) override { items.erase(q.service + "/" + q.account); }
    int add(const vokari::SecretQuery& q, const std::string& data) override {
        items[q.service + "/" + q.account] = data;
        return 0;
    }

private:
    std::map<std::string, std::string> items;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr int statuses[] = {200, 200, 200, 200, 401, 429, 500, 503};
    vokari::fuzz::quietLog();
    static auto transport = std::make_shared<AnsweringTransport>();
    static auto client = vokari::RefineClient::create({.transport = transport,
                                                       .secrets = std::make_shared<MemorySecrets>(),
                                                       .baseURL = std::string("http://127.0.0.1:9"),
                                                       .vocabPath = vokari::fuzz::scratchDir() / "vocabulary.json",
                                                       .deviceName = std::string("fuzz"),
                                                       .osVersion = std::string("6.1.0")});
    if (size == 0) {
        return 0;
    }
    transport->answer = {statuses[data[0] % 8], std::string(vokari::fuzz::bytesOf(data + 1, size - 1))};
    client->fetchTranscripts(
        std::nullopt, 50, [](std::vector<vokari::Transcript>, bool) {}, [](const std::string&) {});
    return 0;
}
