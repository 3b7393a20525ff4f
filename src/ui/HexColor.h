#pragma once
// Colours written as hex strings ("#4A9EFF", or "80FF0000" with alpha first), as every view names them.
// Pure functions; any thread.
#include <QColor>

#include <cstdint>
#include <string_view>

namespace vokari {

// Only letters and digits count ("#" and spaces vanish); six remaining characters are opaque RRGGBB, anything else
// is read as the AARRGGBB number it spells, stopping at the first non-hex character (so garbage gives transparent
// black rather than an error).
std::uint32_t argbFromHex(std::string_view hex);
QColor colorFromHex(std::string_view hex);

} // namespace vokari
