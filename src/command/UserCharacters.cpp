#include "command/UserCharacters.h"

#include <cstdint>

namespace vokari {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kZeroWidthJoiner = 0x200D;

struct Decoded {
    char32_t codePoint;
    std::size_t length;
};

// One code point at `at`; malformed, overlong or surrogate sequences decode as one replacement byte.
Decoded decodeAt(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const std::uint8_t first = byte(at);
    if (first < 0x80) {
        return {first, 1};
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((first & 0xE0) == 0xC0) {
        length = 2, cp = first & 0x1F, minimum = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3, cp = first & 0x0F, minimum = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4, cp = first & 0x07, minimum = 0x10000;
    } else {
        return {kReplacement, 1};
    }
    if (at + length > s.size()) {
        return {kReplacement, 1};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return {kReplacement, 1};
        }
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return {kReplacement, 1};
    }
    return {cp, length};
}

bool extendsPrevious(char32_t cp) {
    return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x1AB0 && cp <= 0x1AFF) || (cp >= 0x1DC0 && cp <= 0x1DFF) ||
           (cp >= 0x20D0 && cp <= 0x20FF) || (cp >= 0xFE20 && cp <= 0xFE2F) || (cp >= 0xFE00 && cp <= 0xFE0F) ||
           (cp >= 0xE0100 && cp <= 0xE01EF) || (cp >= 0x1F3FB && cp <= 0x1F3FF) || (cp >= 0xE0020 && cp <= 0xE007F) ||
           cp == kZeroWidthJoiner;
}

bool isRegionalIndicator(char32_t cp) {
    return cp >= 0x1F1E6 && cp <= 0x1F1FF;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::vector<std::string> UserCharacters::split(std::string_view utf8) {
    std::vector<std::string> out;
    char32_t previous = 0;
    bool joinNext = false;
    bool flagOpen = false;
    for (std::size_t at = 0; at < utf8.size();) {
        const Decoded d = decodeAt(utf8, at);
        at += d.length;
        const char32_t cp = d.codePoint;
        const bool attach = !out.empty() && (joinNext || extendsPrevious(cp) || (previous == '\r' && cp == '\n') ||
                                             (flagOpen && isRegionalIndicator(cp)));
        if (attach) {
            flagOpen = false;
        } else {
            out.emplace_back();
            flagOpen = isRegionalIndicator(cp);
        }
        appendUtf8(out.back(), cp);
        joinNext = cp == kZeroWidthJoiner;
        previous = cp;
    }
    return out;
}

} // namespace vokari
