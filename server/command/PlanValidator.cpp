#include "command/PlanValidator.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace vokari::server {
namespace {

std::string lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

// The field as a non-empty string, or nullopt when it is missing, empty, too long or of another JSON type.
std::optional<std::string> text(const nlohmann::json& j, const char* key) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_string() || it->get_ref<const std::string&>().empty() ||
        it->get_ref<const std::string&>().size() > PlanValidator::kMaxFieldBytes) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

// The executor opens URLs with the desktop's default handler, so anything but a web address (file:, a custom
// scheme that starts a program) is refused.
bool isWebUrl(const std::string& url) {
    std::string l = lower(url.substr(0, 8));
    size_t hostStart = l.rfind("https://", 0) == 0 ? 8 : l.rfind("http://", 0) == 0 ? 7 : 0;
    if (hostStart == 0 || url.size() <= hostStart || url.size() > 2048) {
        return false;
    }
    return std::none_of(url.begin(), url.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u <= 0x20 || u == 0x7f || c == '"' || c == '<' || c == '>' || c == '\\';
    });
}

// Known modifier names only; the field is left out when it is not a list of strings.
std::optional<std::vector<std::string>> modifiers(const nlohmann::json& j) {
    static constexpr std::array<std::string_view, 7> known = {"command", "cmd",     "shift", "option",
                                                              "alt",     "control", "ctrl"};
    auto it = j.find("modifiers");
    if (it == j.end() || !it->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (const auto& m : *it) {
        if (!m.is_string()) {
            return std::nullopt;
        }
        std::string name = lower(m.get<std::string>());
        if (std::find(known.begin(), known.end(), name) != known.end() &&
            std::find(out.begin(), out.end(), name) == out.end()) {
            out.push_back(name);
        }
    }
    if (out.empty()) {
        return std::nullopt;
    }
    return out;
}

} // namespace

std::optional<CommandAction> PlanValidator::readAction(const nlohmann::json& element) {
    if (!element.is_object()) {
        return std::nullopt;
    }
    auto type = text(element, "type");
    if (!type) {
        return std::nullopt;
    }
    CommandAction a;
    a.type = *type;
    if (a.type == "activate_app") {
        a.app = text(element, "app");
        return a.app ? std::optional(a) : std::nullopt;
    }
    if (a.type == "type_text") {
        a.text = text(element, "text");
        return a.text ? std::optional(a) : std::nullopt;
    }
    if (a.type == "press_key" || a.type == "keyboard_shortcut") {
        a.key = text(element, "key");
        a.modifiers = modifiers(element);
        return a.key ? std::optional(a) : std::nullopt;
    }
    if (a.type == "click_element") {
        a.description = text(element, "description");
        return a.description ? std::optional(a) : std::nullopt;
    }
    if (a.type == "open_url") {
        a.url = text(element, "url");
        return a.url && isWebUrl(*a.url) ? std::optional(a) : std::nullopt;
    }
    if (a.type == "delay") {
        // An "ms" that is not an integer is left out (the client then waits its default).
        if (auto it = element.find("ms"); it != element.end() && it->is_number_integer()) {
            if (it->is_number_unsigned()) {
                a.ms = static_cast<int64_t>(std::min<uint64_t>(it->get<uint64_t>(), kMaxDelayMs));
            } else {
                a.ms = std::clamp<int64_t>(it->get<int64_t>(), 0, kMaxDelayMs);
            }
        }
        return a;
    }
    return std::nullopt;
}

std::optional<ValidatedPlan> PlanValidator::validate(const nlohmann::json& actions) {
    if (!actions.is_array()) {
        return std::nullopt;
    }
    ValidatedPlan plan;
    int64_t waited = 0;
    for (const auto& element : actions) {
        auto a = readAction(element);
        if (!a) {
            ++plan.dropped;
            continue;
        }
        if (plan.actions.size() == kMaxActions) {
            ++plan.truncated;
            continue;
        }
        if (a->type == "delay") {
            int64_t ms = a->ms.value_or(kDefaultDelayMs);
            int64_t allowed = std::min(ms, kMaxTotalDelayMs - waited);
            if (allowed < ms || (element.contains("ms") && a->ms && *a->ms != element["ms"])) {
                plan.cappedDelay = true;
            }
            if (allowed < ms) {
                a->ms = allowed;
            }
            waited += allowed;
        }
        plan.actions.push_back(std::move(*a));
    }
    return plan;
}

} // namespace vokari::server
