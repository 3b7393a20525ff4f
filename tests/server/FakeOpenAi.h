#pragma once
// A fake OpenAI-compatible server on a free loopback port, served on its own thread: it records what it was
// sent and answers as scripted. Tests change the script between requests (under `lock` when a request may
// still be running).

#include "http/OpenAiClient.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vokari::server::test {

// A fake OpenAI-compatible server that records what it was sent and answers as scripted.
class FakeOpenAi {
public:
    FakeOpenAi() {
        // Transcriptions answer `answer` as the body; chat completions wrap it as the assistant's message.
        server.Post(R"(/v1/(audio/transcriptions|chat/completions))", [this](const httplib::Request& req,
                                                                             httplib::Response& res) {
            std::lock_guard<std::mutex> guard(lock);
            authorization = req.get_header_value("Authorization");
            files = req.files;
            chatRequest = nlohmann::json::parse(req.body, nullptr, false);
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            ++requests;
            res.status = status;
            const std::string text = script ? script(requests) : answer;
            bool chat = req.path.find("chat") != std::string::npos;
            res.set_content(
                chat ? nlohmann::json{{"choices", {{{"message", {{"role", "assistant"}, {"content", text}}}}}}}.dump()
                     : text,
                "application/json");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
    }
    ~FakeOpenAi() {
        server.stop();
        thread.join();
    }
    ApiEndpoint endpoint(int timeoutSeconds = 10) const {
        auto e = *parseApiEndpoint("http://127.0.0.1:" + std::to_string(port));
        e.apiKey = "sk-test";
        e.timeoutSeconds = timeoutSeconds;
        return e;
    }

    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::mutex lock;
    std::string authorization;
    httplib::MultipartFormDataMap files;
    nlohmann::json chatRequest;
    int status = 200;
    int delayMs = 0;
    std::string answer = R"({"text":"Deploy to Kubernetes."})";
    std::function<std::string(int request)> script; // when set, answers instead of `answer`
    int requests = 0;
};

} // namespace vokari::server::test
