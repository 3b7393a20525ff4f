#include "update/Sha256.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace vokari::Sha256 {

std::optional<std::string> ofFile(const std::string& path, std::string* error) {
    auto fail = [error](std::string why) -> std::optional<std::string> {
        if (error) {
            *error = std::move(why);
        }
        return std::nullopt;
    };
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rbe"), &std::fclose);
    if (!file) {
        return fail(std::strerror(errno));
    }
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return fail("SHA-256 is not available");
    }
    std::vector<unsigned char> block(1 << 16);
    while (true) {
        std::size_t n = std::fread(block.data(), 1, block.size(), file.get());
        if (n > 0 && EVP_DigestUpdate(context.get(), block.data(), n) != 1) {
            return fail("SHA-256 failed");
        }
        if (n < block.size()) {
            if (std::ferror(file.get())) {
                return fail(std::strerror(errno ? errno : EIO));
            }
            break;
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return fail("SHA-256 failed");
    }
    static const char* hex = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(hex[digest[i] >> 4]);
        text.push_back(hex[digest[i] & 0xF]);
    }
    return text;
}

} // namespace vokari::Sha256
