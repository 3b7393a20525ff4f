#include "core/Utf8Prefix.h"

namespace vokari {

std::string utf8Prefix(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    std::size_t chars = 0;
    while (i < text.size() && chars < count) {
        auto lead = static_cast<unsigned char>(text[i]);
        std::size_t len = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 1;
        if (i + len > text.size()) {
            len = 1;
        }
        for (std::size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                len = 1;
                break;
            }
        }
        i += len;
        ++chars;
    }
    return std::string(text.substr(0, i));
}

} // namespace vokari
