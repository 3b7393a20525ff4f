#pragma once
// The local vocabulary file (~/.vokari-backend.json): a JSON object whose "vocab" string is sent with every
// dictation. Reads never report errors; writes keep every other key and replace the file atomically.
// Any thread; of two concurrent writers the later rename wins.
#include <filesystem>
#include <optional>
#include <string>

namespace vokari {

class VocabularyFile {
public:
    static std::filesystem::path defaultPath(); // home directory + "/.vokari-backend.json"

    // The "vocab" string; nothing when the file is missing, unreadable, not an object or has no string there.
    static std::optional<std::string> load(const std::filesystem::path& path);
    // Sets "vocab", keeping the other keys. A file that is not a JSON object is kept aside as "<name>.corrupt"
    // instead of being overwritten silently. Failures are ignored.
    static void save(const std::filesystem::path& path, const std::string& vocab);
};

} // namespace vokari
