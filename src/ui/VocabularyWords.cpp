#include "ui/VocabularyWords.h"

#include "transport/VocabularyFile.h"

namespace vokari::vocabularyWords {

namespace {
constexpr const char* kSpace = " \t\n\r\v\f";
}

std::vector<std::string> split(const std::string& vocab) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= vocab.size()) {
        std::size_t comma = vocab.find(',', start);
        if (comma == std::string::npos) {
            comma = vocab.size();
        }
        const std::string piece = vocab.substr(start, comma - start);
        const std::size_t first = piece.find_first_not_of(kSpace);
        if (first != std::string::npos) {
            words.push_back(piece.substr(first, piece.find_last_not_of(kSpace) - first + 1));
        }
        start = comma + 1;
    }
    return words;
}

std::string join(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) {
        if (!out.empty()) {
            out += ", ";
        }
        out += word;
    }
    return out;
}

std::vector<std::string> load(const std::filesystem::path& file) {
    const auto vocab = VocabularyFile::load(file);
    return vocab ? split(*vocab) : std::vector<std::string>{};
}

} // namespace vokari::vocabularyWords
