#pragma once
// Writes .tar.gz archives for the installer tests: release bundles made from the build's own programs, and archives
// holding whatever a hostile or broken download could hold. Test thread only.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vokari::testing {

struct ArchiveEntry {
    enum class Kind { file, directory, symlink, hardlink, fifo, characterDevice };
    ArchiveEntry(std::string name, Kind kind = Kind::file, std::string content = {}, int mode = 0644)
        : name(std::move(name)), kind(kind), content(std::move(content)), mode(mode) {}
    std::string name;
    Kind kind;
    std::string content; // file data, or the link's target
    int mode;
};

// Writes `entries` in order; false on any error.
bool writeArchive(const std::filesystem::path& archive, const std::vector<ArchiveEntry>& entries);

// The entries of a bundle "<top>/" whose bin/vokari is the program at `program` (its bytes) plus the desktop entry
// and icon from the source tree.
std::vector<ArchiveEntry> bundleEntries(const std::filesystem::path& program, const std::string& top = "Vokari");

// A program's bytes, or a shell script's text.
std::string fileBytes(const std::filesystem::path& path);

} // namespace vokari::testing
