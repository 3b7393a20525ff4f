#pragma once
// Refinement by an OpenAI-compatible chat model, after the deterministic rules. The dictated text travels
// strictly as data inside delimiters; the model's answer is used only if it keeps most of the words,
// otherwise (or on any error or time-out) the rule result stands. Any thread; owned by ServerApp.

#include "http/OpenAiClient.h"
#include "refine/TextRefiner.h"

namespace vokari::server {

class OpenAiRefiner final : public TextRefiner {
public:
    OpenAiRefiner(ApiEndpoint endpoint, std::string model) : endpoint_(std::move(endpoint)), model_(std::move(model)) {}

    std::string name() const override { return "openai"; }
    std::string refine(const RefineInput& input) override;

    // The chat request body for a rule-refined text (exposed for tests).
    std::string requestBody(const RefineInput& input, const std::string& ruleText) const;
    // True when `answer` keeps at least half of the words of `original`.
    static bool keepsMostWords(const std::string& original, const std::string& answer);

private:
    ApiEndpoint endpoint_;
    std::string model_;
};

} // namespace vokari::server
