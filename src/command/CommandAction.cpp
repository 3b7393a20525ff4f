#include "command/CommandAction.h"

#include <array>
#include <utility>

namespace vokari {
namespace {
constexpr std::array<std::pair<ActionType, std::string_view>, 7> kRaw = {{
    {ActionType::activate_app, "activate_app"},
    {ActionType::type_text, "type_text"},
    {ActionType::press_key, "press_key"},
    {ActionType::click_element, "click_element"},
    {ActionType::open_url, "open_url"},
    {ActionType::delay, "delay"},
    {ActionType::keyboard_shortcut, "keyboard_shortcut"},
}};
} // namespace

std::string_view rawValue(ActionType type) {
    for (const auto& [t, raw] : kRaw) {
        if (t == type) {
            return raw;
        }
    }
    return "delay";
}

std::optional<ActionType> actionTypeFromRaw(std::string_view raw) {
    for (const auto& [t, r] : kRaw) {
        if (r == raw) {
            return t;
        }
    }
    return std::nullopt;
}

} // namespace vokari
