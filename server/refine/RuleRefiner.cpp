#include "refine/RuleRefiner.h"

#include "refine/NumberWords.h"
#include "refine/VocabularyMatcher.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

namespace vokari::server {
namespace {

enum class Kind { word, punct, lineBreak, scratch };

struct Token {
    Kind kind;
    std::string text;
    bool vocabulary = false; // spelled as the user wrote it; casing rules leave it alone
};

bool isPunct(char c) {
    return c == ',' || c == '.' || c == '?' || c == '!' || c == ':' || c == ';';
}

bool isTerminal(const Token& t) {
    return t.kind == Kind::lineBreak || (t.kind == Kind::punct && (t.text == "." || t.text == "?" || t.text == "!"));
}

std::string lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

std::vector<Token> tokenize(const std::string& text) {
    std::vector<Token> out;
    std::istringstream in(text);
    for (std::string raw; in >> raw;) {
        size_t b = 0, e = raw.size();
        while (b < e && isPunct(raw[b])) {
            ++b; // leading punctuation carries nothing we keep
        }
        std::vector<Token> tail;
        while (e > b && isPunct(raw[e - 1])) {
            tail.insert(tail.begin(), Token{Kind::punct, std::string(1, raw[e - 1])});
            --e;
        }
        if (e > b) {
            out.push_back(Token{Kind::word, raw.substr(b, e - b)});
        }
        out.insert(out.end(), tail.begin(), tail.end());
    }
    return out;
}

// Spoken punctuation and editing commands become tokens of their own.
std::vector<Token> spokenCommands(const std::vector<Token>& in) {
    static const std::pair<const char*, Token> kTwo[] = {
        {"full stop", {Kind::punct, "."}},        {"question mark", {Kind::punct, "?"}},
        {"exclamation mark", {Kind::punct, "!"}}, {"exclamation point", {Kind::punct, "!"}},
        {"new line", {Kind::lineBreak, "\n"}},    {"new paragraph", {Kind::lineBreak, "\n\n"}},
        {"scratch that", {Kind::scratch, ""}},    {"semi colon", {Kind::punct, ";"}},
    };
    static const std::pair<const char*, Token> kOne[] = {
        {"comma", {Kind::punct, ","}},     {"period", {Kind::punct, "."}},       {"colon", {Kind::punct, ":"}},
        {"semicolon", {Kind::punct, ";"}}, {"newline", {Kind::lineBreak, "\n"}},
    };
    std::vector<Token> out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i].kind != Kind::word) {
            out.push_back(in[i]);
            continue;
        }
        std::string w = lower(in[i].text);
        bool done = false;
        if (i + 1 < in.size() && in[i + 1].kind == Kind::word) {
            std::string pair = w + " " + lower(in[i + 1].text);
            for (const auto& [phrase, token] : kTwo) {
                if (pair == phrase) {
                    out.push_back(token);
                    ++i;
                    done = true;
                    break;
                }
            }
        }
        for (size_t k = 0; !done && k < std::size(kOne); ++k) {
            if (w == kOne[k].first) {
                out.push_back(kOne[k].second);
                done = true;
            }
        }
        if (!done) {
            out.push_back(in[i]);
        }
    }
    return out;
}

// "scratch that" drops what came before it in the same sentence.
std::vector<Token> applyScratch(const std::vector<Token>& in) {
    std::vector<Token> out;
    for (const auto& t : in) {
        if (t.kind != Kind::scratch) {
            out.push_back(t);
            continue;
        }
        while (!out.empty() && !isTerminal(out.back())) {
            out.pop_back();
        }
    }
    return out;
}

std::vector<Token> applyVocabulary(const std::vector<Token>& in, const std::vector<std::string>& vocabulary) {
    if (vocabulary.empty()) {
        return in;
    }
    VocabularyMatcher matcher(vocabulary);
    std::vector<Token> out;
    std::vector<std::string> run;
    auto flush = [&] {
        if (run.empty()) {
            return;
        }
        auto before = run;
        for (auto& w : matcher.apply(run)) {
            bool isTerm = std::find(vocabulary.begin(), vocabulary.end(), w) != vocabulary.end();
            out.push_back(Token{Kind::word, w, isTerm});
        }
        run.clear();
    };
    for (const auto& t : in) {
        if (t.kind == Kind::word) {
            run.push_back(t.text);
        } else {
            flush();
            out.push_back(t);
        }
    }
    flush();
    return out;
}

// Drops punctuation with no word before it and keeps only the last of adjacent marks.
std::vector<Token> tidyPunctuation(const std::vector<Token>& in) {
    std::vector<Token> out;
    for (const auto& t : in) {
        if (t.kind == Kind::punct) {
            if (out.empty() || out.back().kind == Kind::lineBreak) {
                continue;
            }
            if (out.back().kind == Kind::punct) {
                out.back() = t;
                continue;
            }
        }
        if (t.kind == Kind::lineBreak && !out.empty() && out.back().kind == Kind::lineBreak) {
            if (t.text.size() > out.back().text.size()) {
                out.back() = t;
            }
            continue;
        }
        out.push_back(t);
    }
    while (!out.empty() && out.back().kind == Kind::lineBreak) {
        out.pop_back();
    }
    return out;
}

// Compound spelled-out numbers become digits ("twenty five" → "25"); single number words stay words.
std::vector<Token> numbersAsDigits(const std::vector<Token>& in) {
    std::vector<Token> out;
    for (size_t i = 0; i < in.size();) {
        std::vector<std::string> run;
        for (size_t k = i; k < in.size() && in[k].kind == Kind::word && !in[k].vocabulary; ++k) {
            run.push_back(lower(in[k].text));
        }
        if (auto m = run.empty() ? std::nullopt : matchSpokenNumber(run, 0)) {
            out.push_back(Token{Kind::word, std::to_string(m->value)});
            i += m->length;
        } else {
            out.push_back(in[i]);
            ++i;
        }
    }
    return out;
}

// Weekdays and months are names. "may" and "march" are also common words, so they count as months only
// after a word that introduces a date ("in May", "since March") or next to a number.
bool isCalendarName(const std::vector<Token>& tokens, size_t i) {
    static const std::set<std::string> kAlways = {
        "monday",   "tuesday", "wednesday", "thursday", "friday",    "saturday", "sunday",   "january",
        "february", "april",   "june",      "july",     "september", "october",  "november", "december",
    };
    std::string w = lower(tokens[i].text);
    if (kAlways.count(w) != 0) {
        return true;
    }
    if (w != "may" && w != "march") {
        return false;
    }
    static const std::set<std::string> kDateWords = {"in",  "of",   "since", "until", "early", "late",
                                                     "mid", "next", "last",  "this",  "from",  "through"};
    auto isNumber = [](const Token& t) {
        return t.kind == Kind::word && !t.text.empty() && std::isdigit(static_cast<unsigned char>(t.text[0]));
    };
    bool before = i > 0 && tokens[i - 1].kind == Kind::word &&
                  (kDateWords.count(lower(tokens[i - 1].text)) != 0 || isNumber(tokens[i - 1]));
    bool after = i + 1 < tokens.size() && isNumber(tokens[i + 1]);
    return before || after;
}

void professionalCase(std::vector<Token>& tokens) {
    tokens = numbersAsDigits(tokens);
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == Kind::word && !tokens[i].vocabulary && isCalendarName(tokens, i)) {
            tokens[i].text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(tokens[i].text[0])));
        }
    }
    bool sentenceStart = true;
    for (auto& t : tokens) {
        if (t.kind == Kind::word) {
            std::string l = lower(t.text);
            if (!t.vocabulary && (l == "i" || l.rfind("i'", 0) == 0)) {
                t.text[0] = 'I';
            }
            if (sentenceStart && !t.vocabulary) {
                t.text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(t.text[0])));
            }
            sentenceStart = false;
        } else if (isTerminal(t)) {
            sentenceStart = true;
        }
    }
    // Every line that ends in a word gets a full stop; a trailing comma or colon becomes one.
    for (size_t i = 0; i < tokens.size(); ++i) {
        bool endOfLine = i + 1 == tokens.size() || tokens[i + 1].kind == Kind::lineBreak;
        if (!endOfLine) {
            continue;
        }
        if (tokens[i].kind == Kind::word) {
            tokens.insert(tokens.begin() + static_cast<long>(i) + 1, Token{Kind::punct, "."});
            ++i;
        } else if (tokens[i].kind == Kind::punct && !isTerminal(tokens[i])) {
            tokens[i].text.assign(1, '.'); // not = ".": GCC 12 -O3 misreports -Wrestrict on it
        }
    }
}

void casualCase(std::vector<Token>& tokens) {
    for (auto& t : tokens) {
        if (t.kind == Kind::word && !t.vocabulary) {
            t.text = lower(t.text);
        }
    }
    // Light punctuation: no full stop at the very end, no semicolons.
    for (auto& t : tokens) {
        if (t.kind == Kind::punct && t.text == ";") {
            t.text = ",";
        }
    }
    if (!tokens.empty() && tokens.back().kind == Kind::punct && tokens.back().text == ".") {
        tokens.pop_back();
    }
}

std::string join(const std::vector<Token>& tokens) {
    std::string out;
    for (const auto& t : tokens) {
        if (t.kind == Kind::word) {
            if (!out.empty() && out.back() != '\n') {
                out.push_back(' ');
            }
            out += t.text;
        } else {
            out += t.text;
        }
    }
    return out;
}

} // namespace

std::string RuleRefiner::apply(const RefineInput& input) {
    auto tokens = tokenize(input.text);
    tokens = spokenCommands(tokens);
    tokens = applyScratch(tokens);
    tokens = applyVocabulary(tokens, input.vocabulary);
    tokens = tidyPunctuation(tokens);
    const std::string& preset = input.preset;
    if (preset == "casual") {
        casualCase(tokens);
    } else if (preset != "minimal") {
        professionalCase(tokens); // professional, custom and anything unknown
    }
    return join(tokens);
}

} // namespace vokari::server
