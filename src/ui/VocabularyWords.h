#pragma once
// The custom vocabulary as the settings keep it: one comma-separated string in the local vocabulary file, split
// into words for the tag editor and joined back with ", " on every change. Qt-free; main thread.
#include <filesystem>
#include <string>
#include <vector>

namespace vokari::vocabularyWords {

// Splits at commas and trims white space and newlines; empty pieces are dropped.
std::vector<std::string> split(const std::string& vocab);
std::string join(const std::vector<std::string>& words);
// The words stored in the file; none when it is missing, malformed or has no "vocab" string.
std::vector<std::string> load(const std::filesystem::path& file);

} // namespace vokari::vocabularyWords
