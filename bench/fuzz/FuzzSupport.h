#pragma once
// Shared by the fuzz targets: one private scratch directory per process (removed at exit), so loaders that read
// files never touch anything outside it.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace vokari::fuzz {

inline const std::filesystem::path& scratchDir() {
    static const std::filesystem::path dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vokari-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::abort();
        }
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratchDir(), ec);
        });
        return std::filesystem::path(pattern);
    }();
    return dir;
}

// Empties the scratch directory, so every input starts from the same state.
inline void clearScratch() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(scratchDir(), ec)) {
        std::filesystem::remove_all(entry.path(), ec);
    }
}

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace vokari::fuzz
