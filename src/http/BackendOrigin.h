#pragma once
// The one backend origin every client uses: the origin built in at configure time, or $VOKARI_BACKEND_URL when
// set (a trailing slash dropped). makeURL joins origin and path and refuses what is not an http(s) URL, which is
// the "no URL can be formed" case of every request. Pure functions; any thread.
#include <optional>
#include <string>
#include <string_view>

namespace vokari {

class BackendOrigin {
public:
    // The built-in origin, or the environment override.
    static std::string current();
    // Drops trailing slashes: "http://h:1/" -> "http://h:1".
    static std::string normalized(std::string_view origin);
    // origin + path when the result is an absolute http or https URL with a host and no whitespace or control
    // characters; nothing otherwise.
    static std::optional<std::string> makeURL(std::string_view origin, std::string_view path);
};

} // namespace vokari
