#include "ui/HexColor.h"

#include <cctype>
#include <string>

namespace vokari {

std::uint32_t argbFromHex(std::string_view hex) {
    std::string digits;
    for (char c : hex) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            digits += c;
        }
    }
    if (digits.size() == 6) {
        digits.insert(0, "FF");
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    return static_cast<std::uint32_t>(value & 0xFFFFFFFFu);
}

QColor colorFromHex(std::string_view hex) {
    const std::uint32_t argb = argbFromHex(hex);
    return QColor::fromRgb(static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                           static_cast<int>(argb & 0xFF), static_cast<int>(argb >> 24));
}

} // namespace vokari
