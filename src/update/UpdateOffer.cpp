#include "update/UpdateOffer.h"

#include "core/JsonText.h"
#include "http/BackendOrigin.h"

#include <algorithm>
#include <cctype>

namespace vokari {

std::optional<std::string> UpdateOffer::checkURL(std::string_view baseURL, std::string_view version) {
    return BackendOrigin::makeURL(baseURL, "/update/check?v=" + std::string(version));
}

std::optional<UpdateOffer> UpdateOffer::fromCheckAnswer(std::string_view body) {
    auto answer = JsonText::parseObject(body);
    if (!answer) {
        return std::nullopt;
    }
    auto available = answer->find("update_available");
    if (available == answer->end() || !available->is_boolean() || !available->get<bool>()) {
        return std::nullopt;
    }
    auto latest = JsonText::string(*answer, "latest");
    auto url = JsonText::string(*answer, "download_url");
    if (!latest || !url) {
        return std::nullopt;
    }
    UpdateOffer offer{*latest, *url, std::nullopt};
    if (answer->contains("sha256")) {
        // Kept even when it is no checksum, so that the download is refused rather than left unverified.
        auto sha = JsonText::string(*answer, "sha256");
        offer.sha256 = sha ? *sha : std::string("(not a string)");
    }
    return offer;
}

bool UpdateOffer::formsURL(std::string_view url) {
    return BackendOrigin::makeURL(url, "").has_value();
}

std::string UpdateOffer::hostOf(std::string_view url) {
    auto scheme = url.find("://");
    if (scheme == std::string_view::npos) {
        return {};
    }
    std::string_view authority = url.substr(scheme + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (auto at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    std::string_view host;
    if (authority.starts_with('[')) {
        auto close = authority.find(']');
        host = close == std::string_view::npos ? std::string_view{} : authority.substr(1, close - 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    std::string lower(host);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

namespace {

// 127.0.0.0/8 written as four decimal numbers.
bool isIPv4Loopback(std::string_view host) {
    if (!host.starts_with("127.")) {
        return false;
    }
    int parts = 0;
    std::size_t start = 0;
    while (start <= host.size()) {
        auto end = host.find('.', start);
        std::string_view part = host.substr(start, end == std::string_view::npos ? host.size() - start : end - start);
        if (part.empty() || part.size() > 3 ||
            !std::all_of(part.begin(), part.end(), [](unsigned char c) { return std::isdigit(c); }) ||
            std::stoi(std::string(part)) > 255) {
            return false;
        }
        ++parts;
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return parts == 4;
}

} // namespace

bool UpdateOffer::isSecureDownloadURL(std::string_view url) {
    if (!formsURL(url)) {
        return false;
    }
    if (url.starts_with("https://")) {
        return true;
    }
    const std::string host = hostOf(url);
    return host == "localhost" || host == "::1" || isIPv4Loopback(host);
}

std::optional<std::string> UpdateOffer::normalizedSha256(std::string_view hex) {
    if (hex.size() != 64) {
        return std::nullopt;
    }
    std::string lower;
    for (unsigned char c : hex) {
        if (!std::isxdigit(c)) {
            return std::nullopt;
        }
        lower.push_back(static_cast<char>(std::tolower(c)));
    }
    return lower;
}

} // namespace vokari
