#include "platform/linux/update/ArchiveUnpacker.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace vokari {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
    int fd;
    ~FileCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};
struct ReaderFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterFree {
    void operator()(archive* a) const { archive_write_free(a); }
};

std::string errorOf(archive* a) {
    const char* text = archive_error_string(a);
    return text ? text : "unknown archive error";
}

// A relative name without "..": "./" prefixes and empty components are dropped. nullopt when unsafe.
std::optional<fs::path> safeRelative(const std::string& name) {
    if (name.empty() || name.front() == '/') {
        return std::nullopt;
    }
    fs::path out;
    for (const auto& part : fs::path(name)) {
        if (part == "..") {
            return std::nullopt;
        }
        if (part.empty() || part == ".") {
            continue;
        }
        out /= part;
    }
    return out;
}

// A symbolic link stays inside the unpacked tree when its target, read from the link's own directory, never
// climbs above the tree's root.
bool linkStaysInside(const fs::path& linkName, const std::string& target) {
    if (target.empty() || target.front() == '/') {
        return false;
    }
    int depth = 0;
    for (const auto& part : linkName.parent_path()) {
        if (!part.empty() && part != ".") {
            ++depth;
        }
    }
    for (const auto& part : fs::path(target)) {
        if (part == "..") {
            if (--depth < 0) {
                return false;
            }
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
    }
    return true;
}

ArchiveUnpacker::Result refuse(std::string detail) {
    return {ArchiveUnpacker::Status::refused, std::move(detail), {}};
}

} // namespace

ArchiveUnpacker::Result ArchiveUnpacker::unpack(const fs::path& archivePath, const fs::path& destination) {
    // Declared before the reader, so the file is closed after the reader that uses it is freed.
    FileCloser file{::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        return {Status::unreadable, std::strerror(errno), {}};
    }
    std::unique_ptr<archive, ReaderFree> in(archive_read_new());
    archive_read_support_filter_all(in.get());
    archive_read_support_format_tar(in.get());
    if (archive_read_open_fd(in.get(), file.fd, 64 * 1024) != ARCHIVE_OK) {
        return refuse(errorOf(in.get()));
    }
    std::unique_ptr<archive, WriterFree> out(archive_write_disk_new());
    // Our own checks below refuse what is unsafe; these make libarchive refuse it too, should a check miss.
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME |
                                                  ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT);

    Result result{Status::ok, {}, {}};
    auto fail = [](std::string detail) { return refuse(std::move(detail)); };
    archive_entry* entry = nullptr;
    for (;;) {
        int rc = archive_read_next_header(in.get(), &entry);
        if (rc == ARCHIVE_EOF) {
            break;
        }
        if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) {
            return fail(errorOf(in.get()));
        }
        const char* rawName = archive_entry_pathname(entry);
        const std::string name = rawName ? rawName : "";
        auto relative = safeRelative(name);
        if (!relative) {
            return fail("unsafe entry name: " + name);
        }
        if (relative->empty()) {
            continue; // "./" itself
        }
        const auto type = archive_entry_filetype(entry);
        const char* hardlink = archive_entry_hardlink(entry);
        if (hardlink) {
            auto linked = safeRelative(hardlink);
            if (!linked || linked->empty()) {
                return fail("unsafe hard link: " + name + " -> " + hardlink);
            }
            archive_entry_set_hardlink(entry, (destination / *linked).c_str());
        } else if (type == AE_IFLNK) {
            const char* target = archive_entry_symlink(entry);
            if (!target || !linkStaysInside(*relative, target)) {
                return fail("link points outside the archive: " + name + " -> " + (target ? target : ""));
            }
        } else if (type != AE_IFREG && type != AE_IFDIR) {
            return fail("special file: " + name);
        }
        const auto perm = archive_entry_perm(entry) & 0755;
        archive_entry_set_perm(entry, perm | (type == AE_IFDIR ? 0700 : 0600));
        archive_entry_set_pathname(entry, (destination / *relative).c_str());

        const std::string top = relative->begin()->string();
        if (std::find(result.topLevel.begin(), result.topLevel.end(), top) == result.topLevel.end()) {
            result.topLevel.push_back(top);
        }

        if (archive_write_header(out.get(), entry) < ARCHIVE_WARN) {
            return fail(name + ": " + errorOf(out.get()));
        }
        if (!hardlink && type == AE_IFREG && archive_entry_size(entry) > 0) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            for (;;) {
                rc = archive_read_data_block(in.get(), &block, &size, &offset);
                if (rc == ARCHIVE_EOF) {
                    break;
                }
                if (rc < ARCHIVE_WARN) {
                    return fail(name + ": " + errorOf(in.get()));
                }
                if (archive_write_data_block(out.get(), block, size, offset) < ARCHIVE_WARN) {
                    return fail(name + ": " + errorOf(out.get()));
                }
            }
        }
        if (archive_write_finish_entry(out.get()) < ARCHIVE_WARN) {
            return fail(name + ": " + errorOf(out.get()));
        }
    }
    if (archive_write_close(out.get()) < ARCHIVE_WARN) {
        return fail(errorOf(out.get()));
    }
    return result;
}

} // namespace vokari
