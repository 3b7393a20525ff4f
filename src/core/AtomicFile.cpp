#include "core/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <sstream>
#include <unistd.h>

namespace vokari {

std::optional<std::string> writeFileAtomically(const std::filesystem::path& path, std::string_view content,
                                               unsigned mode) {
    std::error_code ec;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), ec);
    }
    std::string tmpl = path.string() + ".tmp-XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        return std::string("cannot create temporary file: ") + std::strerror(errno);
    }
    ::fchmod(fd, static_cast<mode_t>(mode));
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::string err = std::strerror(errno);
            ::close(fd);
            ::unlink(tmpl.c_str());
            return "write failed: " + err;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    int synced = ::fsync(fd);
    int closed = ::close(fd);
    if (synced != 0 || closed != 0) {
        std::string err = std::strerror(errno);
        ::unlink(tmpl.c_str());
        return "flush failed: " + err;
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        std::string err = std::strerror(errno);
        ::unlink(tmpl.c_str());
        return "rename failed: " + err;
    }
    return std::nullopt;
}

std::optional<std::string> readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return ss.str();
}

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        return pw->pw_dir;
    }
    return "/tmp";
}

static std::filesystem::path xdgDir(const char* var, const char* fallback) {
    if (const char* v = std::getenv(var); v && *v == '/') {
        return v;
    }
    return homeDirectory() / fallback;
}

std::filesystem::path xdgConfigHome() {
    return xdgDir("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path xdgDataHome() {
    return xdgDir("XDG_DATA_HOME", ".local/share");
}

} // namespace vokari
