#include "refine/VocabularyMatcher.h"

#include "refine/Phonetic.h"

#include <algorithm>
#include <sstream>

namespace vokari::server {
namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

size_t countSlot(char c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<size_t>(c - 'a');
    }
    if (c >= '0' && c <= '9') {
        return 26 + static_cast<size_t>(c - '0');
    }
    return 36;
}

template <class Counts> void addCounts(Counts& counts, const std::string& letters) {
    for (char c : letters) {
        ++counts[countSlot(c)];
    }
}

} // namespace

std::vector<std::string> parseVocabulary(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    auto flush = [&] {
        std::string t = trim(current);
        if (!t.empty() && t.size() <= 100 && out.size() < 500 && std::find(out.begin(), out.end(), t) == out.end()) {
            out.push_back(t);
        }
        current.clear();
    };
    for (char c : text) {
        if (c == ',' || c == '\n' || c == ';') {
            flush();
        } else {
            current.push_back(c);
        }
    }
    flush();
    return out;
}

VocabularyMatcher::VocabularyMatcher(std::vector<std::string> terms) {
    for (auto& t : terms) {
        std::string letters = foldLetters(t);
        if (letters.size() < 2) {
            continue;
        }
        std::istringstream in(t);
        size_t count = 0;
        for (std::string w; in >> w;) {
            ++count;
        }
        Counts counts{};
        addCounts(counts, letters);
        terms_.push_back(Term{t, letters, phoneticKey(letters), std::max<size_t>(1, count), counts});
        maxWordCount_ = std::max(maxWordCount_, terms_.back().wordCount);
        maxLetters_ = std::max(maxLetters_, letters.size());
    }
}

double VocabularyMatcher::score(const Term& term, Run& run) {
    const std::string& letters = run.letters;
    if (letters == term.letters) {
        return 0.0;
    }
    // Short words are too easy to confuse: only exact spelling matches.
    if (term.letters.size() < 4 || letters.size() < 3) {
        return 2.0;
    }
    // Both ways to match need an edit distance of at most half the longer spelling. It is at least the longer
    // length less the letters the two share, so most runs are turned away before the distance is computed.
    const size_t longest = std::max(letters.size(), term.letters.size());
    if (2 * (longest - std::min(letters.size(), term.letters.size())) > longest) {
        return 2.0;
    }
    size_t shared = 0;
    for (size_t c = 0; c < run.counts.size(); ++c) {
        shared += std::min(run.counts[c], term.counts[c]);
    }
    if (2 * (longest - shared) > longest) {
        return 2.0;
    }
    double spelling = normalizedDistance(letters, term.letters);
    if (spelling > 0.5) {
        return 2.0;
    }
    if (!run.key) {
        run.key = phoneticKey(letters);
    }
    double sound = normalizedDistance(*run.key, term.key);
    if (sound == 0.0) {
        return 0.1 + spelling / 10;
    }
    if (sound <= 0.25 && spelling <= 0.35) {
        return 0.3 + spelling / 10;
    }
    return 2.0;
}

std::vector<std::string> VocabularyMatcher::apply(const std::vector<std::string>& words) const {
    if (terms_.empty()) {
        return words;
    }
    // Each word is folded once, and each run of words built once per position, not once per term: with a long
    // vocabulary and a long dictation that was most of a request's time.
    std::vector<std::string> folded;
    folded.reserve(words.size());
    for (const auto& w : words) {
        folded.push_back(foldLetters(w));
    }
    std::vector<Run> runs;
    std::vector<std::string> out;
    for (size_t i = 0; i < words.size();) {
        // A term may be heard as one word more or fewer than it has.
        const size_t longestRun = std::min(words.size() - i, maxWordCount_ + 2);
        runs.clear();
        for (size_t n = 0; n < longestRun; ++n) {
            Run run;
            if (n > 0) {
                run.letters = runs.back().letters;
                run.counts = runs.back().counts;
            }
            run.letters += folded[i + n];
            addCounts(run.counts, folded[i + n]);
            runs.push_back(std::move(run));
            if (runs.back().letters.size() > 2 * maxLetters_) {
                break; // too long for any term, as is every longer run
            }
        }
        double best = 1.0;
        size_t bestLen = 0;
        const Term* bestTerm = nullptr;
        for (const auto& term : terms_) {
            const size_t maxLen = std::min(runs.size(), term.wordCount + 2);
            for (size_t n = 1; n <= maxLen; ++n) {
                Run& run = runs[n - 1];
                if (run.letters.size() > 2 * term.letters.size()) {
                    break; // runs only grow, and one over twice the term's length is too far from it
                }
                double s = score(term, run);
                // Prefer the better score; on a tie the longer run so no fragment is left behind.
                if (s < best || (s == best && bestTerm == &term && n > bestLen)) {
                    best = s;
                    bestLen = n;
                    bestTerm = &term;
                }
            }
        }
        if (bestTerm != nullptr) {
            out.push_back(bestTerm->spelling);
            i += bestLen;
        } else {
            out.push_back(words[i]);
            ++i;
        }
    }
    return out;
}

} // namespace vokari::server
