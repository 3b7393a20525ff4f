// Builds the optional OpenAI-compatible engines from the command-line options.
#include "command/OpenAiPlanner.h"
#include "core/ServerOptions.h"
#include "refine/OpenAiRefiner.h"
#include "refine/RuleRefiner.h"
#include "stt/OpenAiSpeechEngine.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace vokari::server {
namespace {

std::optional<ApiEndpoint> endpointFrom(const std::string& url, const ServerOptions& options, int timeoutSeconds) {
    auto endpoint = parseApiEndpoint(url);
    if (!endpoint) {
        std::fprintf(stderr, "vokari-server: warning: \"%s\" is not an http(s) URL\n", url.c_str());
        return std::nullopt;
    }
    if (const char* key = std::getenv(options.apiKeyEnv.c_str())) {
        endpoint->apiKey = key;
    }
    endpoint->timeoutSeconds = timeoutSeconds;
    return endpoint;
}

} // namespace

std::unique_ptr<SpeechEngine> makeOpenAiSpeechEngine(const ServerOptions& options) {
    auto endpoint = endpointFrom(options.sttUrl, options, 110);
    if (!endpoint) {
        return nullptr;
    }
    return std::make_unique<OpenAiSpeechEngine>(*endpoint, options.sttModel);
}

std::unique_ptr<TextRefiner> makeOpenAiRefiner(const ServerOptions& options) {
    auto endpoint = endpointFrom(options.llmUrl, options, 20);
    if (!endpoint) {
        return std::make_unique<RuleRefiner>();
    }
    return std::make_unique<OpenAiRefiner>(*endpoint, options.llmModel);
}

std::unique_ptr<ActionPlanner> makeOpenAiPlanner(const ServerOptions& options) {
    auto endpoint = endpointFrom(options.plannerUrl, options, 20);
    if (!endpoint) {
        return nullptr; // the rule planner
    }
    return std::make_unique<OpenAiPlanner>(*endpoint, options.plannerModel);
}

} // namespace vokari::server
