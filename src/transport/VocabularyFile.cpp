#include "transport/VocabularyFile.h"

#include "core/AtomicFile.h"
#include "core/JsonText.h"

#include <sys/stat.h>

namespace vokari {

std::filesystem::path VocabularyFile::defaultPath() {
    return homeDirectory().string() + "/.vokari-backend.json";
}

std::optional<std::string> VocabularyFile::load(const std::filesystem::path& path) {
    try {
        auto text = readWholeFile(path);
        if (!text) {
            return std::nullopt;
        }
        auto object = JsonText::parseObject(*text);
        if (!object) {
            return std::nullopt;
        }
        return JsonText::string(*object, "vocab");
    } catch (...) {
        return std::nullopt;
    }
}

void VocabularyFile::save(const std::filesystem::path& path, const std::string& vocab) {
    try {
        // A symlinked file (dotfiles kept in a repository) stays a link: the rename replaces its target.
        std::error_code ec;
        std::filesystem::path target = std::filesystem::canonical(path, ec);
        if (ec) {
            target = path; // no file yet, or a dangling link: write the path itself
        }
        nlohmann::json object = nlohmann::json::object();
        if (auto text = readWholeFile(target)) {
            if (auto existing = JsonText::parseObject(*text)) {
                object = std::move(*existing);
            } else if (!text->empty()) {
                std::filesystem::copy_file(target, target.string() + ".corrupt",
                                           std::filesystem::copy_options::overwrite_existing, ec);
            }
        }
        object["vocab"] = vocab;
        // The replacement keeps the permissions the user gave the file.
        unsigned mode = 0644;
        struct stat st {};
        if (::stat(target.c_str(), &st) == 0) {
            mode = st.st_mode & 07777;
        }
        (void)writeFileAtomically(target, JsonText::serialize(object), mode);
    } catch (...) { // failures are ignored, as the header says
    }
}

} // namespace vokari
