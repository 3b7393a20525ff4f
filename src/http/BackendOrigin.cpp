#include "http/BackendOrigin.h"

#include <cstdlib>

namespace vokari {

std::string BackendOrigin::current() {
    if (const char* env = std::getenv("VOKARI_BACKEND_URL"); env && *env) {
        return normalized(env);
    }
    return normalized(VOKARI_DEFAULT_BACKEND_URL);
}

std::string BackendOrigin::normalized(std::string_view origin) {
    while (!origin.empty() && origin.back() == '/') {
        origin.remove_suffix(1);
    }
    return std::string(origin);
}

std::optional<std::string> BackendOrigin::makeURL(std::string_view origin, std::string_view path) {
    std::string url = std::string(origin) + std::string(path);
    std::string_view rest;
    if (url.starts_with("http://")) {
        rest = std::string_view(url).substr(7);
    } else if (url.starts_with("https://")) {
        rest = std::string_view(url).substr(8);
    } else {
        return std::nullopt;
    }
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7F) {
            return std::nullopt;
        }
    }
    auto hostEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, hostEnd);
    if (auto at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    if (authority.empty() || authority.front() == ':') {
        return std::nullopt;
    }
    return url;
}

} // namespace vokari
