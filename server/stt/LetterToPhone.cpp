#include "stt/LetterToPhone.h"

#include <array>
#include <cctype>
#include <string_view>
#include <utility>

namespace vokari::server {
namespace {

bool isVowel(char c) {
    return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u';
}

// Longest graphemes first; each maps to CMU phones.
constexpr std::array<std::pair<std::string_view, std::string_view>, 46> kGraphemes{{
    {"tion", "SH AH N"}, {"sion", "ZH AH N"}, {"ough", "AO"}, {"igh", "AY"}, {"tch", "CH"}, {"dge", "JH"},
    {"sch", "S K"},      {"ph", "F"},         {"sh", "SH"},   {"ch", "CH"},  {"th", "TH"},  {"ck", "K"},
    {"ng", "NG"},        {"qu", "K W"},       {"wh", "W"},    {"kn", "N"},   {"wr", "R"},   {"gh", "G"},
    {"ee", "IY"},        {"ea", "IY"},        {"oo", "UW"},   {"ai", "EY"},  {"ay", "EY"},  {"ei", "EY"},
    {"ey", "IY"},        {"oa", "OW"},        {"ou", "AW"},   {"ow", "OW"},  {"oi", "OY"},  {"oy", "OY"},
    {"au", "AO"},        {"aw", "AO"},        {"ue", "UW"},   {"ie", "IY"},  {"er", "ER"},  {"ir", "ER"},
    {"ur", "ER"},        {"ar", "AA R"},      {"or", "AO R"}, {"x", "K S"},  {"j", "JH"},   {"y", "Y"},
    {"w", "W"},          {"q", "K"},          {"z", "Z"},     {"v", "V"},
}};

std::string_view single(char c) {
    switch (c) {
    case 'a':
        return "AE";
    case 'b':
        return "B";
    case 'd':
        return "D";
    case 'e':
        return "EH";
    case 'f':
        return "F";
    case 'g':
        return "G";
    case 'h':
        return "HH";
    case 'i':
        return "IH";
    case 'k':
        return "K";
    case 'l':
        return "L";
    case 'm':
        return "M";
    case 'n':
        return "N";
    case 'o':
        return "AA";
    case 'p':
        return "P";
    case 'r':
        return "R";
    case 's':
        return "S";
    case 't':
        return "T";
    case 'u':
        return "AH";
    default:
        return "";
    }
}

} // namespace

std::string guessPhones(const std::string& input) {
    std::string w;
    for (char c : input) {
        if (std::isalpha(static_cast<unsigned char>(c))) {
            w.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    // A final silent e ("code", "make") is dropped, but not from short words like "be".
    // and the vowel before it turns long ("code" → K OW D).
    size_t longVowel = std::string::npos;
    if (w.size() > 3 && w.back() == 'e' && !isVowel(w[w.size() - 2])) {
        w.pop_back();
        if (isVowel(w[w.size() - 2]) && (w.size() < 3 || !isVowel(w[w.size() - 3]))) {
            longVowel = w.size() - 2;
        }
    }
    std::string out;
    std::string_view last;
    auto emit = [&](std::string_view phones) {
        if (phones.empty() || phones == last) {
            return; // doubled letters ("ll", "ss") sound once
        }
        if (!out.empty()) {
            out.push_back(' ');
        }
        out.append(phones);
        last = phones;
    };
    for (size_t i = 0; i < w.size();) {
        bool matched = false;
        for (const auto& [g, phones] : kGraphemes) {
            if (w.compare(i, g.size(), g) == 0) {
                // "y" is a vowel anywhere but at the start of a word.
                if (g == "y" && i > 0) {
                    emit(i + 1 == w.size() ? "IY" : "IH");
                } else {
                    emit(phones);
                }
                i += g.size();
                matched = true;
                break;
            }
        }
        if (matched) {
            continue;
        }
        char c = w[i];
        char next = i + 1 < w.size() ? w[i + 1] : '\0';
        if (c == 'c') {
            emit(next == 'e' || next == 'i' || next == 'y' ? "S" : "K");
        } else if (c == 'g' && (next == 'e' || next == 'i') && i + 2 < w.size()) {
            emit("JH");
        } else if (c == 'i' && i + 1 == w.size() && i > 0) {
            emit("IY"); // a final i is long, as in "taxi"
        } else if (i == longVowel) {
            static constexpr std::string_view kLong[] = {"EY", "IY", "AY", "OW", "UW"};
            emit(kLong[std::string_view("aeiou").find(c)]);
        } else {
            emit(single(c));
        }
        ++i;
    }
    return out;
}

} // namespace vokari::server
