#include "core/NumberText.h"

#include <array>
#include <charconv>

namespace vokari {

std::string fixedDecimal(double value, int decimals) {
    std::array<char, 128> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buf.data(), end) : std::string();
}

std::string shortestDecimal(double value) {
    std::array<char, 64> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    std::string text(buf.data(), ec == std::errc() ? end : buf.data());
    if (text.find_first_of(".eEn") == std::string::npos) {
        text += ".0";
    }
    return text;
}

} // namespace vokari
