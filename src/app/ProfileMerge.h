#pragma once
// Applies a profile downloaded from the backend to the user's settings and the local vocabulary file: the server's
// vocabulary and style fill in only what is empty locally, so local choices always win. Main thread (the wiring
// hops there first, as views read both).
#include "core/Settings.h"

#include <nlohmann/json.hpp>

#include <filesystem>

namespace vokari {

void applyProfile(const nlohmann::json& profile, Settings& settings, const std::filesystem::path& vocabPath);

} // namespace vokari
