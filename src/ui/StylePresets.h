#pragma once
// The transcription style presets offered in Settings, in pop-up order, and the stored custom prompt with the
// clean-up of complete system prompts that earlier versions stored there. Qt-free; main thread.
#include "core/Settings.h"

#include <array>
#include <string>
#include <string_view>

namespace vokari {

struct StylePreset {
    std::string_view id;
    std::string_view title;
    std::string_view description;
    std::string_view prompt; // shown read-only; empty for "custom", whose text is the user's
};

namespace stylePresets {

inline constexpr std::string_view customId = "custom";
inline constexpr std::string_view defaultId = "professional";

const std::array<StylePreset, 4>& all();
// The index of `id` in all(), or 0 (the first preset) for an unknown identifier.
std::size_t indexOf(std::string_view id);
// A prompt holding either marker is a whole system prompt from an earlier version, not the user's tone.
bool isLegacyPrompt(std::string_view prompt);
// The stored custom prompt; a legacy one is replaced by "" in storage and returned as "".
std::string loadCustomPrompt(Settings& settings);

} // namespace stylePresets
} // namespace vokari
