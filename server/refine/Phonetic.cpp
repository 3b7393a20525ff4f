#include "refine/Phonetic.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace vokari::server {

std::string foldLetters(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    return out;
}

std::string phoneticKey(std::string_view word) {
    std::string w = foldLetters(word);
    auto vowel = [](char c) { return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u' || c == 'y'; };
    std::string out;
    auto push = [&out](char c) {
        if (out.empty() || out.back() != c) {
            out.push_back(c);
        }
    };
    for (size_t i = 0; i < w.size(); ++i) {
        char c = w[i];
        char n = i + 1 < w.size() ? w[i + 1] : '\0';
        if (vowel(c)) {
            if (i == 0) {
                push('a'); // any leading vowel sounds alike enough
            } else if (!out.empty() && out.back() != '-') {
                out.push_back('-'); // a vowel separates consonants so "tt" and "t-t" differ
            }
            continue;
        }
        if (c == 'p' && n == 'h') {
            push('f');
            ++i;
        } else if (c == 's' && n == 'h') {
            push('x');
            ++i;
        } else if (c == 't' && n == 'h') {
            push('0');
            ++i;
        } else if (c == 'c' && n == 'h') {
            push('x');
            ++i;
        } else if (c == 'c' && n == 'k') {
            push('k');
            ++i;
        } else if (c == 'g' && n == 'h') {
            ++i;
        } else if ((c == 'k' || c == 'g' || c == 'w') && n == 'n' && i == 0) {
            continue;
        } else if (c == 'w' && n == 'r' && i == 0) {
            continue;
        } else if (c == 'c') {
            push(n == 'e' || n == 'i' || n == 'y' ? 's' : 'k');
        } else if (c == 'q') {
            push('k');
        } else if (c == 'x') {
            push('k');
            push('s');
        } else if (c == 'z') {
            push('s');
        } else if (c == 'd' && n == 'g') {
            push('j');
            ++i;
        } else if (c == 'v') {
            push('f');
        } else if (c == 'h' || c == 'w') {
            continue; // mostly silent or vowel-like
        } else {
            push(c);
        }
    }
    // Vowel markers only matter between consonants.
    std::string key;
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '-' && (i + 1 == out.size() || key.empty())) {
            continue;
        }
        if (out[i] == '-' && i + 1 < out.size() && out[i + 1] == '-') {
            continue;
        }
        key.push_back(out[i]);
    }
    return key;
}

double normalizedDistance(std::string_view a, std::string_view b) {
    size_t longest = std::max(a.size(), b.size());
    return longest == 0 ? 0.0 : static_cast<double>(editDistance(a, b)) / static_cast<double>(longest);
}

} // namespace vokari::server
