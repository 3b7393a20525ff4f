#pragma once
// One step of a command plan, as the backend sends it. A plain value.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vokari {

enum class ActionType { activate_app, type_text, press_key, click_element, open_url, delay, keyboard_shortcut };

std::string_view rawValue(ActionType type);
// Exact, case-sensitive match of the seven raw values.
std::optional<ActionType> actionTypeFromRaw(std::string_view raw);

struct CommandAction {
    ActionType type = ActionType::delay;
    std::optional<std::string> app;
    std::optional<std::string> text;
    std::optional<std::string> key;
    std::optional<std::vector<std::string>> modifiers;
    std::optional<std::string> description;
    std::optional<std::string> url;
    std::optional<std::int64_t> ms;

    bool operator==(const CommandAction&) const = default;
};

} // namespace vokari
