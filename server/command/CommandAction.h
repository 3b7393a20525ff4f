#pragma once
// One step of a command plan in the JSON form the app reads: "type" plus the optional fields its type uses.
// Plain value; any thread.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vokari::server {

struct CommandAction {
    std::string type; // activate_app, type_text, press_key, click_element, open_url, delay, keyboard_shortcut
    std::optional<std::string> app;
    std::optional<std::string> text;
    std::optional<std::string> key;
    std::optional<std::vector<std::string>> modifiers;
    std::optional<std::string> description;
    std::optional<std::string> url;
    std::optional<int64_t> ms;

    nlohmann::json toJson() const;
    bool operator==(const CommandAction&) const = default;
};

nlohmann::json actionsToJson(const std::vector<CommandAction>& actions);

} // namespace vokari::server
