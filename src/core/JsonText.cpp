#include "core/JsonText.h"

#include <cstdint>

namespace vokari {
namespace {

// Nesting depth of brackets outside strings; stops counting once past the limit.
bool nestingWithinLimit(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return false;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

} // namespace

std::optional<nlohmann::json> JsonText::parse(std::string_view text) {
    if (text.empty() || !nestingWithinLimit(text, maxDepth)) {
        return std::nullopt;
    }
    try {
        auto value = nlohmann::json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
        if (value.is_discarded()) {
            return std::nullopt;
        }
        return value;
    } catch (...) { // out of memory on a huge body: treated like any other unusable text
        return std::nullopt;
    }
}

std::optional<nlohmann::json> JsonText::parseObject(std::string_view text) {
    auto value = parse(text);
    if (!value || !value->is_object()) {
        return std::nullopt;
    }
    return value;
}

std::string JsonText::serialize(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<std::int64_t> JsonText::integer(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) {
        return std::nullopt;
    }
    return integerValue(*it);
}

std::optional<std::int64_t> JsonText::integerValue(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
            return std::nullopt;
        }
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        // A whole number written with a fraction or exponent ("12.0") still reads as an integer.
        double d = value.get<double>();
        if (d > -9.2e18 && d < 9.2e18 && d == static_cast<double>(static_cast<std::int64_t>(d))) {
            return static_cast<std::int64_t>(d);
        }
    }
    return std::nullopt;
}

std::optional<std::string> JsonText::string(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

} // namespace vokari
