#include "command/CommandPlanner.h"

#include "refine/RuleRefiner.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

namespace vokari::server {
namespace {

using Words = std::vector<std::string>;

std::string lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

Words splitWords(const std::string& text) {
    Words out;
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        // Keep dots inside words ("github.com"), drop sentence punctuation around them.
        while (!w.empty() && std::string(",!?;:").find(w.back()) != std::string::npos) {
            w.pop_back();
        }
        if (!w.empty() && w.back() == '.' && w.find('.') == w.size() - 1) {
            w.pop_back();
        }
        if (!w.empty()) {
            out.push_back(w);
        }
    }
    return out;
}

std::string joinWords(const Words& w, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to && i < w.size(); ++i) {
        out += out.empty() ? "" : " ";
        out += w[i];
    }
    return out;
}

const std::set<std::string> kVerbs = {"open",   "launch",  "start", "switch",  "go",  "visit", "type",
                                      "write",  "press",   "hit",   "click",   "tap", "wait",  "pause",
                                      "search", "control", "ctrl",  "command", "cmd", "shift", "option",
                                      "alt",    "browse",  "show",  "bring"};

const std::map<std::string, std::string> kModifiers = {
    {"control", "control"}, {"ctrl", "control"},  {"command", "command"}, {"cmd", "command"},
    {"shift", "shift"},     {"option", "option"}, {"alt", "alt"}};

const std::map<std::string, std::string> kSpokenKeys = {
    {"enter", "enter"},
    {"return", "return"},
    {"tab", "tab"},
    {"space", "space"},
    {"spacebar", "space"},
    {"delete", "delete"},
    {"backspace", "backspace"},
    {"escape", "escape"},
    {"esc", "escape"},
    {"up", "up"},
    {"down", "down"},
    {"left", "left"},
    {"right", "right"},
    {"minus", "minus"},
    {"dash", "minus"},
    {"equals", "equals"},
    {"comma", ","},
    {"period", "."},
    {"dot", "."},
    {"slash", "/"},
    {"zero", "0"},
    {"one", "1"},
    {"two", "2"},
    {"three", "3"},
    {"four", "4"},
    {"five", "5"},
    {"six", "6"},
    {"seven", "7"},
    {"eight", "8"},
    {"nine", "9"},
    // Letters as a recogniser tends to spell them.
    {"ay", "a"},
    {"be", "b"},
    {"bee", "b"},
    {"see", "c"},
    {"sea", "c"},
    {"dee", "d"},
    {"gee", "g"},
    {"aitch", "h"},
    {"eye", "i"},
    {"jay", "j"},
    {"kay", "k"},
    {"el", "l"},
    {"em", "m"},
    {"en", "n"},
    {"oh", "o"},
    {"pea", "p"},
    {"pee", "p"},
    {"queue", "q"},
    {"cue", "q"},
    {"are", "r"},
    {"es", "s"},
    {"tea", "t"},
    {"tee", "t"},
    {"you", "u"},
    {"vee", "v"},
    {"ex", "x"},
    {"why", "y"},
    {"zee", "z"},
    {"zed", "z"},
};

const std::map<std::string, int> kNumbers = {{"a", 1},    {"one", 1},     {"two", 2},     {"three", 3}, {"four", 4},
                                             {"five", 5}, {"six", 6},     {"seven", 7},   {"eight", 8}, {"nine", 9},
                                             {"ten", 10}, {"twenty", 20}, {"thirty", 30}, {"half", 0}};

const std::set<std::string> kTlds = {"com", "org", "net", "io", "dev", "edu", "gov", "co", "uk", "de", "ai", "app"};
const std::set<std::string> kKnownSites = {"google",  "youtube",  "github", "wikipedia", "amazon",  "reddit",
                                           "twitter", "facebook", "gmail",  "netflix",   "linkedin"};

const std::map<std::string, std::string> kAppNames = {
    {"chrome", "Google Chrome"},
    {"google chrome", "Google Chrome"},
    {"vs code", "Visual Studio Code"},
    {"vscode", "Visual Studio Code"},
    {"visual studio code", "Visual Studio Code"},
    {"code", "Visual Studio Code"},
    {"files", "Files"},
    {"file manager", "Files"},
    {"settings", "Settings"},
    {"system settings", "Settings"},
};

std::optional<std::string> keyName(const std::string& w) {
    std::string l = lower(w);
    if (auto it = kSpokenKeys.find(l); it != kSpokenKeys.end()) {
        return it->second;
    }
    if (l.size() == 1 && std::isalnum(static_cast<unsigned char>(l[0]))) {
        return l;
    }
    if (l.size() >= 2 && l.size() <= 3 && l[0] == 'f' && std::all_of(l.begin() + 1, l.end(), ::isdigit)) {
        return l;
    }
    return std::nullopt;
}

std::string titleCase(const std::string& text) {
    std::string out = text;
    bool start = true;
    for (char& c : out) {
        if (start) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        start = c == ' ';
    }
    return out;
}

std::string appName(const Words& w, size_t from) {
    size_t to = w.size();
    if (to > from && (lower(w[to - 1]) == "app" || lower(w[to - 1]) == "application")) {
        --to;
    }
    if (to > from && lower(w[from]) == "the") {
        ++from;
    }
    std::string name = lower(joinWords(w, from, to));
    if (auto it = kAppNames.find(name); it != kAppNames.end()) {
        return it->second;
    }
    return titleCase(name);
}

// "github dot com", "github.com", "example dot co dot uk" → host name; nullopt when it is not one.
std::optional<std::string> spokenHost(const Words& w, size_t from) {
    std::string host;
    bool sawDot = false;
    for (size_t i = from; i < w.size(); ++i) {
        std::string l = lower(w[i]);
        if (l == "dot" || l == "point") {
            host += ".";
            sawDot = true;
        } else if (l == "slash") {
            host += "/";
        } else {
            sawDot = sawDot || l.find('.') != std::string::npos;
            host += l;
        }
    }
    if (host.empty()) {
        return std::nullopt;
    }
    auto dot = host.rfind('.');
    if (sawDot && dot != std::string::npos && dot + 1 < host.size() && host.front() != '.') {
        return host;
    }
    if (!sawDot && kKnownSites.count(host) != 0) {
        return host + ".com";
    }
    return std::nullopt;
}

std::string urlEncode(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out += {'%', hex[c >> 4], hex[c & 15]};
        }
    }
    return out;
}

std::optional<CommandAction> keyAction(const Words& w, size_t from) {
    std::vector<std::string> mods;
    std::optional<std::string> key;
    for (size_t i = from; i < w.size(); ++i) {
        std::string l = lower(w[i]);
        if (l == "plus" || l == "and" || l == "the" || l == "key") {
            continue;
        }
        if (auto m = kModifiers.find(l); m != kModifiers.end()) {
            if (std::find(mods.begin(), mods.end(), m->second) == mods.end()) {
                mods.push_back(m->second);
            }
            continue;
        }
        // "f five" → f5
        if (l == "f" && i + 1 < w.size() && kNumbers.count(lower(w[i + 1])) != 0) {
            // Appended, not "f" + ...: GCC 12 -O3 misreports -Wrestrict on inserting before a string.
            std::string name(1, 'f');
            name += std::to_string(kNumbers.at(lower(w[i + 1])));
            key = std::move(name);
            ++i;
            continue;
        }
        if (auto k = keyName(l)) {
            key = k;
        } else {
            return std::nullopt;
        }
    }
    if (!key) {
        return std::nullopt;
    }
    CommandAction a;
    a.type = mods.empty() ? "press_key" : "keyboard_shortcut";
    a.key = key;
    if (!mods.empty()) {
        a.modifiers = mods;
    }
    return a;
}

} // namespace

std::vector<CommandAction> CommandPlanner::planStep(const Words& raw) {
    Words w = raw;
    // Politeness carries no meaning.
    while (!w.empty() && (lower(w.front()) == "please" || lower(w.front()) == "now")) {
        w.erase(w.begin());
    }
    while (!w.empty() && lower(w.back()) == "please") {
        w.pop_back();
    }
    if (w.empty()) {
        return {};
    }
    std::string v = lower(w[0]);
    std::string v2 = w.size() > 1 ? v + " " + lower(w[1]) : v;
    CommandAction a;
    if (v == "type" || v == "write") {
        if (w.size() < 2) {
            return {};
        }
        a.type = "type_text";
        a.text = RuleRefiner::apply(RefineInput{joinWords(w, 1, w.size()), "minimal", "", {}});
        return {a};
    }
    if (v == "wait" || v == "pause") {
        int64_t ms = 1000;
        if (w.size() > 1) {
            std::string n = lower(w[1]);
            if (auto it = kNumbers.find(n); it != kNumbers.end()) {
                ms = it->second == 0 ? 500 : it->second * 1000;
            } else if (!n.empty() && std::all_of(n.begin(), n.end(), ::isdigit) && n.size() < 5) {
                ms = std::stoll(n) * 1000;
            }
            if (w.size() > 2 && lower(w[2]).rfind("millisecond", 0) == 0) {
                ms /= 1000;
            }
        }
        a.type = "delay";
        a.ms = ms;
        return {a};
    }
    if (v == "press" || v == "hit" || kModifiers.count(v) != 0) {
        if (auto k = keyAction(w, kModifiers.count(v) != 0 ? 0 : 1)) {
            return {*k};
        }
        return {};
    }
    if (v == "click" || v == "tap") {
        size_t from = 1;
        while (from < w.size() && (lower(w[from]) == "on" || lower(w[from]) == "the")) {
            ++from;
        }
        if (from >= w.size()) {
            return {};
        }
        a.type = "click_element";
        a.description = joinWords(w, from, w.size());
        return {a};
    }
    if (v == "search" && w.size() > 1) {
        size_t from = lower(w[1]) == "for" ? 2 : 1;
        if (from < w.size()) {
            a.type = "open_url";
            a.url = "https://www.google.com/search?q=" + urlEncode(joinWords(w, from, w.size()));
            return {a};
        }
    }
    size_t target = 0;
    if (v2 == "go to" || v2 == "switch to" || v2 == "browse to" || v2 == "bring up" || v2 == "navigate to") {
        target = 2;
    } else if (v == "open" || v == "launch" || v == "start" || v == "visit" || v == "show") {
        target = 1;
    }
    if (target == 0 || target >= w.size()) {
        return {};
    }
    if (auto host = spokenHost(w, target)) {
        a.type = "open_url";
        a.url = "https://" + *host;
        return {a};
    }
    if (v == "visit") {
        return {};
    }
    a.type = "activate_app";
    a.app = appName(w, target);
    return {a};
}

std::vector<CommandAction> CommandPlanner::plan(const std::string& transcript) {
    Words words = splitWords(transcript);
    std::vector<CommandAction> actions;
    Words step;
    auto flush = [&] {
        for (auto& a : planStep(step)) {
            actions.push_back(std::move(a));
        }
        step.clear();
    };
    bool typing = false;
    for (size_t i = 0; i < words.size(); ++i) {
        std::string l = lower(words[i]);
        std::string next = i + 1 < words.size() ? lower(words[i + 1]) : "";
        if (l == "and" && next == "then") {
            flush();
            typing = false;
            ++i;
            continue;
        }
        // Inside typed text only "and then" ends the step; elsewhere "then X"/"and X" do when X is a verb.
        if (!typing && (l == "then" || l == "and") && kVerbs.count(next) != 0 && !step.empty()) {
            flush();
            continue;
        }
        if (step.empty() && (l == "type" || l == "write")) {
            typing = true;
        }
        step.push_back(words[i]);
    }
    flush();
    return actions;
}

} // namespace vokari::server
