#include "command/CommandClient.h"

#include "command/CommandActionJson.h"
#include "core/DebugLog.h"
#include "core/JsonText.h"
#include "core/Utf8Prefix.h"
#include "core/Uuid.h"
#include "http/BackendOrigin.h"
#include "http/MultipartBody.h"

#include <algorithm>

namespace vokari {

CommandClient::CommandClient(std::shared_ptr<HttpTransport> transport, std::string baseURL, std::string deviceId)
    : transport(transport ? std::move(transport) : std::make_shared<UnavailableTransport>()),
      baseURL(std::move(baseURL)), deviceId(std::move(deviceId)) {}

void CommandClient::sendCommand(std::vector<std::uint8_t> audioData, std::string screenshotBase64,
                                Completion completion) {
    auto url = BackendOrigin::makeURL(baseURL, "/command");
    if (!url) {
        completion(CommandError{"Invalid server URL"});
        return;
    }
    MultipartBody body(makeUuidString());
    body.reserve(audioData.size() + screenshotBase64.size());
    body.addFile("audio", "command.wav", "audio/wav",
                 std::string_view(reinterpret_cast<const char*>(audioData.data()), audioData.size()));
    body.addField("screenshot", screenshotBase64);
    HttpRequest request;
    request.method = "POST";
    request.url = *url;
    request.headers = {{"Content-Type", body.contentType()}, {"x-device-id", deviceId}};
    request.body = body.finish();
    request.timeoutSeconds = 60;
    transport->send(std::move(request),
                    [completion = std::move(completion)](HttpResult result) { completion(resultFor(result)); });
}

CommandResult CommandClient::resultFor(const HttpResult& answer) {
    if (auto* error = std::get_if<TransportError>(&answer)) {
        debugLog("⚠️ Command request failed: " + error->description);
        return CommandError{"Network error — try again"};
    }
    const auto& response = std::get<HttpResponse>(answer);
    auto object = JsonText::parseObject(response.body);
    if (response.status != 200) {
        std::string message = "Server error";
        if (auto text = object ? JsonText::string(*object, "error") : std::nullopt) {
            message = *text;
        }
        debugLog("⚠️ Command error " + std::to_string(response.status) + ": " + message);
        return CommandError{message};
    }
    if (!object) {
        return CommandError{"Invalid response"};
    }
    CommandResponse plan;
    plan.transcript = JsonText::string(*object, "transcript").value_or("");
    plan.whisperMs = JsonText::integer(*object, "whisper_ms").value_or(0);
    plan.planMs = JsonText::integer(*object, "plan_ms").value_or(0);
    plan.totalMs = JsonText::integer(*object, "total_ms").value_or(0);
    auto actions = object->find("actions");
    // Only a list made entirely of objects counts as a plan; anything else reads as no actions.
    if (actions != object->end() && actions->is_array() &&
        std::all_of(actions->begin(), actions->end(), [](const nlohmann::json& e) { return e.is_object(); })) {
        for (const auto& element : *actions) {
            if (auto action = CommandActionJson::fromPlanElement(element)) {
                plan.actions.push_back(std::move(*action));
            }
        }
    }
    debugLog("🎯 Command response: \"" + utf8Prefix(plan.transcript, 60) + "\" → " +
             std::to_string(plan.actions.size()) + " actions in " + std::to_string(plan.totalMs) + "ms");
    return CommandSuccess{std::move(plan)};
}

} // namespace vokari
