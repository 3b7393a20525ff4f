#pragma once
// Shared by the fuzz targets: one private scratch directory per process (removed at exit), so loaders that read
// files never touch anything outside it.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace vokari::fuzz {

inline const std::filesystem::path& scratchDir() {
    // Never destroyed: a static path would be destroyed before the removal at exit runs (it was registered during
    // the path's own initialisation, so it runs after the path's destructor), and the directory stayed behind.
    static const std::filesystem::path* const dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vokari-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::abort();
        }
        auto* made = new std::filesystem::path(pattern);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratchDir(), ec);
        });
        return made;
    }();
    return *dir;
}

// Removes everything inside the directory open as `dir`, then closes it. Plain system calls with a buffer on the
// stack: under AddressSanitizer, the allocations of directory_iterator, remove_all and ofstream (a 32 KB directory
// buffer, an 8 KB file buffer, paths) cost more than the file system work itself.
inline void emptyDirectory(int dir) {
    alignas(8) char buffer[4096];
    for (bool removed = true; removed;) { // again from the start, as entries went while the directory was read
        removed = false;
        ::lseek(dir, 0, SEEK_SET);
        for (ssize_t n; (n = ::getdents64(dir, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                    continue;
                }
                if (::unlinkat(dir, name, 0) != 0 && errno == EISDIR) {
                    int sub = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                    if (sub >= 0) {
                        emptyDirectory(sub);
                    }
                    ::unlinkat(dir, name, AT_REMOVEDIR);
                }
                removed = true;
            }
        }
    }
    ::close(dir);
}

// Empties a directory (by default the scratch directory), so every input starts from the same state.
inline void clearScratch(const std::filesystem::path& dir = scratchDir()) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        emptyDirectory(fd);
    }
}

// A fresh file holding `bytes` (a failure stops the run: the input would not be tested).
inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::abort();
    }
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace vokari::fuzz
