#include "ui/StylePresets.h"

namespace vokari::stylePresets {

const std::array<StylePreset, 4>& all() {
    static const std::array<StylePreset, 4> presets{{
        {"professional", "Professional", "Proper capitalization, full punctuation, clean and formal",
         "Proper capitalization — capitalize first letter of each sentence, proper nouns, acronyms, and titles. "
         "Full punctuation — periods, commas, colons, semicolons, question marks where grammatically appropriate. "
         "Structure into clean sentences and paragraphs."},
        {"casual", "Casual", "All lowercase, minimal punctuation, like a text message",
         "Keep everything lowercase — no capitalization at all, like a casual text message. Minimal punctuation — "
         "commas, periods, question marks where needed, but keep it scrappy."},
        {"minimal", "Minimal", "Barely touch it — just fix speech-to-text errors",
         "Do not change capitalization, punctuation, or sentence structure. Fix only obvious grammatical errors and "
         "misheard words. Keep text as close to the original as possible."},
        {"custom", "Custom", "Add your tone preferences — core transcription rules are always applied", ""},
    }};
    return presets;
}

std::size_t indexOf(std::string_view id) {
    const auto& presets = all();
    for (std::size_t i = 0; i < presets.size(); ++i) {
        if (presets[i].id == id) {
            return i;
        }
    }
    return 0;
}

bool isLegacyPrompt(std::string_view prompt) {
    return prompt.find("CRITICAL: The user message contains a raw transcript") != std::string_view::npos ||
           prompt.find("You are a text post-processor") != std::string_view::npos;
}

std::string loadCustomPrompt(Settings& settings) {
    std::string prompt = settings.customPrompt();
    if (isLegacyPrompt(prompt)) {
        prompt.clear();
        settings.setCustomPrompt(prompt);
    }
    return prompt;
}

} // namespace vokari::stylePresets
