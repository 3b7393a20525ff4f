#pragma once
// Safe JSON at the network boundary: parsing never throws and refuses absurd nesting (a hostile body cannot
// exhaust the stack), serialising never throws on invalid UTF-8 (it is replaced), and log excerpts are cut
// at character boundaries. Pure functions; any thread.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vokari {

class JsonText {
public:
    static constexpr std::size_t maxDepth = 512;

    // Any JSON value; nothing for empty, malformed, invalid UTF-8 or too deeply nested text.
    static std::optional<nlohmann::json> parse(std::string_view text);
    // A JSON object; nothing for anything else.
    static std::optional<nlohmann::json> parseObject(std::string_view text);
    // Compact serialisation; invalid UTF-8 in strings becomes U+FFFD instead of an exception.
    static std::string serialize(const nlohmann::json& value);
    // Integer value of a JSON number that holds a whole number; nothing for other types.
    static std::optional<std::int64_t> integer(const nlohmann::json& object, const char* key);
    // The same rule for a value itself: whole numbers that fit in 64 bits, nothing for anything else.
    static std::optional<std::int64_t> integerValue(const nlohmann::json& value);
    static std::optional<std::string> string(const nlohmann::json& object, const char* key);
};

} // namespace vokari
