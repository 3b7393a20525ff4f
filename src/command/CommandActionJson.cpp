#include "command/CommandActionJson.h"

#include "core/JsonText.h"

#include <cstdint>

namespace vokari {
namespace {

using Json = nlohmann::json;

// Reads key as T when present and of the right type. `ok` turns false when the key is present with another
// type (null included), which only the strict decoding cares about.
std::optional<std::string> readString(const Json& o, const char* key, bool& ok) {
    auto it = o.find(key);
    if (it == o.end() || it->is_null()) { // null decodes as absent
        return std::nullopt;
    }
    if (!it->is_string()) {
        ok = false;
        return std::nullopt;
    }
    return it->get<std::string>();
}

std::optional<std::vector<std::string>> readStrings(const Json& o, const char* key, bool& ok) {
    auto it = o.find(key);
    if (it == o.end() || it->is_null()) { // null decodes as absent
        return std::nullopt;
    }
    if (!it->is_array()) {
        ok = false;
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (const auto& v : *it) {
        if (!v.is_string()) {
            ok = false;
            return std::nullopt;
        }
        out.push_back(v.get<std::string>());
    }
    return out;
}

std::optional<std::int64_t> readInteger(const Json& o, const char* key, bool& ok) {
    auto it = o.find(key);
    if (it == o.end() || it->is_null()) { // null decodes as absent
        return std::nullopt;
    }
    auto value = JsonText::integerValue(*it);
    if (!value) {
        ok = false;
    }
    return value;
}

std::optional<CommandAction> read(const Json& o, bool strict) {
    if (!o.is_object()) {
        return std::nullopt;
    }
    auto typeIt = o.find("type");
    if (typeIt == o.end() || !typeIt->is_string()) {
        return std::nullopt;
    }
    auto type = actionTypeFromRaw(typeIt->get_ref<const std::string&>());
    if (!type) {
        return std::nullopt;
    }
    bool ok = true;
    CommandAction a{*type,
                    readString(o, "app", ok),
                    readString(o, "text", ok),
                    readString(o, "key", ok),
                    readStrings(o, "modifiers", ok),
                    readString(o, "description", ok),
                    readString(o, "url", ok),
                    readInteger(o, "ms", ok)};
    if (strict && !ok) {
        return std::nullopt;
    }
    return a;
}

} // namespace

std::optional<CommandAction> CommandActionJson::fromPlanElement(const Json& element) {
    return read(element, false);
}

std::optional<CommandAction> CommandActionJson::decode(const Json& object) {
    return read(object, true);
}

nlohmann::ordered_json CommandActionJson::encode(const CommandAction& a) {
    nlohmann::ordered_json o = {{"type", std::string(rawValue(a.type))}};
    auto put = [&o](const char* key, const auto& value) {
        if (value) {
            o[key] = *value;
        }
    };
    put("app", a.app);
    put("text", a.text);
    put("key", a.key);
    put("modifiers", a.modifiers);
    put("description", a.description);
    put("url", a.url);
    put("ms", a.ms);
    return o;
}

} // namespace vokari
