#include "transport/VocabularyFile.h"

#include "core/AtomicFile.h"
#include "transport/JsonText.h"

namespace vokari {

std::filesystem::path VocabularyFile::defaultPath() {
    return homeDirectory().string() + "/.vokari-backend.json";
}

std::optional<std::string> VocabularyFile::load(const std::filesystem::path& path) {
    auto text = readWholeFile(path);
    if (!text) {
        return std::nullopt;
    }
    auto object = JsonText::parseObject(*text);
    if (!object) {
        return std::nullopt;
    }
    return JsonText::string(*object, "vocab");
}

void VocabularyFile::save(const std::filesystem::path& path, const std::string& vocab) {
    nlohmann::json object = nlohmann::json::object();
    if (auto text = readWholeFile(path)) {
        if (auto existing = JsonText::parseObject(*text)) {
            object = std::move(*existing);
        } else if (!text->empty()) {
            std::error_code ec;
            std::filesystem::copy_file(path, path.string() + ".corrupt",
                                       std::filesystem::copy_options::overwrite_existing, ec);
        }
    }
    object["vocab"] = vocab;
    (void)writeFileAtomically(path, JsonText::serialize(object));
}

} // namespace vokari
