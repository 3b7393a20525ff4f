#include "app/ProfileMerge.h"

#include "core/DebugLog.h"
#include "core/JsonText.h"
#include "core/Utf8Prefix.h"
#include "transport/VocabularyFile.h"

namespace vokari {

void applyProfile(const nlohmann::json& profile, Settings& settings, const std::filesystem::path& vocabPath) {
    if (auto vocab = JsonText::string(profile, "vocab"); vocab && !vocab->empty()) {
        if (VocabularyFile::load(vocabPath).value_or("").empty()) {
            VocabularyFile::save(vocabPath, *vocab);
            debugLog("☁️ Loaded vocab from server: " + utf8Prefix(*vocab, 50));
        }
    }
    if (auto preset = JsonText::string(profile, "style_preset")) {
        if (settings.stylePreset().value_or("").empty()) {
            settings.setStylePreset(*preset);
            settings.setCustomPrompt(JsonText::string(profile, "custom_prompt").value_or(""));
            debugLog("☁️ Loaded style from server: " + *preset);
        }
    }
}

} // namespace vokari
