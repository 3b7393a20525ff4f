#pragma once
// The key names and modifier names a command plan may use, and the virtual key codes and event flags they
// stand for (desktop/VirtualKeys.h numbering). Pure functions; any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vokari {

class CommandKeys {
public:
    // Matched in lower case; any other name, the empty one included, is the "a" key (code 0).
    static std::uint16_t keyCodeForName(std::string_view name);
    // OR of the flags of the recognised names (matched in lower case); others are ignored.
    static std::uint64_t flagsForModifiers(const std::vector<std::string>& names);
    // ASCII lower case; other bytes (UTF-8 included) are kept as they are.
    static std::string lowered(std::string_view text);
};

} // namespace vokari
