#include "command/CommandAction.h"

namespace vokari::server {

nlohmann::json CommandAction::toJson() const {
    nlohmann::json j = {{"type", type}};
    auto put = [&j](const char* key, const auto& value) {
        if (value) {
            j[key] = *value;
        }
    };
    put("app", app);
    put("text", text);
    put("key", key);
    put("modifiers", modifiers);
    put("description", description);
    put("url", url);
    put("ms", ms);
    return j;
}

nlohmann::json actionsToJson(const std::vector<CommandAction>& actions) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& a : actions) {
        out.push_back(a.toJson());
    }
    return out;
}

} // namespace vokari::server
