#pragma once
// Unpacks a release archive (a tar, usually gzip-compressed) into a directory of our own, refusing rather than
// repairing anything unsafe: absolute names, "..", device files, FIFOs, sockets, and links that point outside the
// unpacked tree. Permissions are kept to what an application needs (no set-uid, nothing writable by others).
// Blocking; any thread.
#include <filesystem>
#include <string>
#include <vector>

namespace vokari {

class ArchiveUnpacker {
public:
    enum class Status {
        ok,
        unreadable, // the file could not be opened (detail: the system's reason)
        refused,    // not an archive, damaged, truncated or unsafe (detail says which entry and why)
    };
    struct Result {
        Status status = Status::refused;
        std::string detail;
        // Top-level names in the order the archive first mentions them.
        std::vector<std::string> topLevel;
    };

    // `destination` must be an existing, empty directory.
    static Result unpack(const std::filesystem::path& archive, const std::filesystem::path& destination);
};

} // namespace vokari
