#pragma once
// Splits UTF-8 text into user-perceived characters for typing: a base code point with the combining marks,
// variation selectors, skin-tone modifiers and zero-width-joined code points that follow it, a pair of regional
// indicators (a flag), or CR LF. Invalid bytes become U+FFFD characters, so bad input never stalls typing.
// Pure; any thread.
#include <string>
#include <string_view>
#include <vector>

namespace vokari {

class UserCharacters {
public:
    static std::vector<std::string> split(std::string_view utf8);
};

} // namespace vokari
