#pragma once
// The latest release as described by `manifest.json` in the releases directory:
// {"version": "1.2.0", "file": "Vokari-1.2.0.dmg", "sha256": "<hex>"}.
// Loaded and checked once at start-up on the main thread; read-only afterwards, so any thread may use it.

#include <optional>
#include <string>
#include <variant>

namespace vokari::server {

struct ReleaseManifest {
    std::string version;
    std::string file;   // a bare file name inside the releases directory
    std::string sha256; // lower-case hex
    std::string path;   // full path of the file

    // Reads the manifest and verifies that the file exists and matches its checksum.
    static std::variant<ReleaseManifest, std::string> load(const std::string& dir);
};

// Compares dotted versions numerically ("1.10.0" > "1.9.3"; missing parts count as 0). Non-numeric parts
// compare as text. Returns <0, 0, >0.
int compareVersions(const std::string& a, const std::string& b);

// Lower-case hex SHA-256 of a file; nullopt when it cannot be read.
std::optional<std::string> sha256File(const std::string& path);

} // namespace vokari::server
