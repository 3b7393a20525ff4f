#pragma once
// The backend's answer to an update check and the rules around it: the check URL, which answers offer an update,
// and which download addresses may be fetched. Pure functions; any thread.
#include <optional>
#include <string>
#include <string_view>

namespace vokari {

struct UpdateOffer {
    std::string version;               // "latest"
    std::string url;                   // "download_url"
    std::optional<std::string> sha256; // "sha256" as sent; checked before the download starts

    bool operator==(const UpdateOffer&) const = default;

    // baseURL + "/update/check?v=" + version, the version unescaped; nothing when that is no http(s) URL.
    static std::optional<std::string> checkURL(std::string_view baseURL, std::string_view version);
    // An update only when the body is a JSON object whose "update_available" is true and whose "latest" and
    // "download_url" are strings; anything else (whatever the status) means up to date.
    static std::optional<UpdateOffer> fromCheckAnswer(std::string_view body);

    // An absolute http(s) URL with a host.
    static bool formsURL(std::string_view url);
    // https://, or http:// to a loopback host (a backend on this machine).
    static bool isSecureDownloadURL(std::string_view url);
    // The URL's host, lower case, without brackets, user info or port.
    static std::string hostOf(std::string_view url);
    // The checksum in lower case when it is 64 hexadecimal digits; nothing otherwise.
    static std::optional<std::string> normalizedSha256(std::string_view hex);
};

} // namespace vokari
