#pragma once
// JSON forms of CommandAction: the lenient reading the command request applies to each element of a plan,
// and the keyed encoding/decoding (keys "type", "app", "text", "key", "modifiers", "description", "url", "ms")
// used wherever an action is stored or printed. Pure functions; any thread.
#include "command/CommandAction.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace vokari {

class CommandActionJson {
public:
    // Nothing unless "type" is one of the seven raw values; other keys of another JSON type stay absent.
    static std::optional<CommandAction> fromPlanElement(const nlohmann::json& element);
    // Keyed encoding: "type" always, every other key only when present, in the order of the keys above.
    static nlohmann::ordered_json encode(const CommandAction& action);
    // Keyed decoding: requires a raw "type"; a present key of the wrong type fails the whole decode.
    static std::optional<CommandAction> decode(const nlohmann::json& object);
};

} // namespace vokari
