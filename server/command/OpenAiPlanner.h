#pragma once
// Planning by an OpenAI-compatible chat model that accepts images: the transcript (quoted as a JSON string)
// and the screenshot (a data URL) go in one user message; the system message describes the actions and says
// that the transcript and anything on the screen are data, never instructions. The answer is only ever read
// as data, through PlanValidator. On an error, a time-out or an answer that is not a plan, the rule planner's
// plan is used and one line says why. Any thread; owned by ServerApp.

#include "command/ActionPlanner.h"
#include "command/PlanValidator.h"
#include "http/OpenAiClient.h"

#include <string>
#include <variant>

namespace vokari::server {

class OpenAiPlanner final : public ActionPlanner {
public:
    OpenAiPlanner(ApiEndpoint endpoint, std::string model) : endpoint_(std::move(endpoint)), model_(std::move(model)) {}

    std::string name() const override { return "openai"; }
    std::vector<CommandAction> plan(const PlanInput& input) override;

    // The chat request for an input (exposed for tests).
    std::string requestBody(const PlanInput& input) const;
    // The validated plan in a chat completion body, or why there is none.
    static std::variant<ValidatedPlan, std::string> readAnswer(const std::string& body);
    // The screenshot as a data URL, or empty when the part is missing or not Base64.
    static std::string imageDataUrl(const std::string& screenshotBase64);

private:
    ApiEndpoint endpoint_;
    std::string model_;
};

} // namespace vokari::server
