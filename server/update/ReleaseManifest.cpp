#include "update/ReleaseManifest.h"

#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace vokari::server {
namespace {

std::vector<std::string> splitVersion(const std::string& v) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : v) {
        if (c == '.' || c == '-' || c == '+') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    parts.push_back(cur);
    return parts;
}

bool numeric(const std::string& s) {
    return !s.empty() && s.size() < 10 && s.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

int compareVersions(const std::string& a, const std::string& b) {
    auto x = splitVersion(a);
    auto y = splitVersion(b);
    size_t n = std::max(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        std::string p = i < x.size() ? x[i] : "0";
        std::string q = i < y.size() ? y[i] : "0";
        if (numeric(p) && numeric(q)) {
            long long d = std::stoll(p) - std::stoll(q);
            if (d != 0) {
                return d < 0 ? -1 : 1;
            }
        } else if (int c = p.compare(q); c != 0) {
            return c < 0 ? -1 : 1;
        }
    }
    return 0;
}

std::optional<std::string> sha256File(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
        return std::nullopt;
    }
    std::vector<char> buf(1 << 16);
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        if (in.gcount() > 0 && EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<size_t>(in.gcount())) != 1) {
            return std::nullopt;
        }
    }
    if (in.bad()) {
        return std::nullopt;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &len) != 1) {
        return std::nullopt;
    }
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < len; ++i) {
        out += {hex[digest[i] >> 4], hex[digest[i] & 15]};
    }
    return out;
}

std::variant<ReleaseManifest, std::string> ReleaseManifest::load(const std::string& dir) {
    const std::string manifestPath = dir + "/manifest.json";
    std::ifstream in(manifestPath);
    if (!in) {
        return "cannot read " + manifestPath;
    }
    std::stringstream text;
    text << in.rdbuf();
    auto j = nlohmann::json::parse(text.str(), nullptr, false);
    if (!j.is_object() || !j.contains("version") || !j["version"].is_string() || !j.contains("file") ||
        !j["file"].is_string() || !j.contains("sha256") || !j["sha256"].is_string()) {
        return manifestPath + ": expected a JSON object with string \"version\", \"file\" and \"sha256\"";
    }
    ReleaseManifest m;
    m.version = j["version"].get<std::string>();
    m.file = j["file"].get<std::string>();
    m.sha256 = j["sha256"].get<std::string>();
    for (char& c : m.sha256) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    // A control character (a NUL above all) would make the name the checksum is taken of differ from the one served.
    bool plainName = !m.file.empty() && m.file[0] != '.' && m.file.find('/') == std::string::npos &&
                     std::none_of(m.file.begin(), m.file.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
    if (m.version.empty() || !plainName) {
        return manifestPath + ": \"version\" must not be empty and \"file\" must be a plain file name";
    }
    m.path = dir + "/" + m.file;
    auto actual = sha256File(m.path);
    if (!actual) {
        return "cannot read release file " + m.path;
    }
    if (*actual != m.sha256) {
        return "release file " + m.path + " does not match its sha256 in the manifest";
    }
    return m;
}

} // namespace vokari::server
