#pragma once
// Whole-file writes that never leave a half-written file: write a temporary file beside the target, flush it,
// then rename it over the target. Any thread (callers serialise writes to the same path themselves).
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vokari {

// Returns an error description on failure, nothing on success. `mode` is applied to the new file.
std::optional<std::string> writeFileAtomically(const std::filesystem::path& path, std::string_view content,
                                               unsigned mode = 0644);
// Reads a whole file; nothing when it cannot be opened.
std::optional<std::string> readWholeFile(const std::filesystem::path& path);
// The user's home directory ($HOME, else the password database).
std::filesystem::path homeDirectory();
// $XDG_CONFIG_HOME / $XDG_DATA_HOME with the usual fallbacks under the home directory.
std::filesystem::path xdgConfigHome();
std::filesystem::path xdgDataHome();

} // namespace vokari
