#include "stt/CommandGrammar.h"

#include "refine/Phonetic.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace vokari::server {
namespace {

std::vector<std::string> words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    std::string w;
    while (in >> w) {
        out.push_back(w);
    }
    return out;
}

const char* const kApps[] = {"firefox",  "chrome", "chromium",    "terminal",   "files",    "slack",    "spotify",
                             "discord",  "zoom",   "thunderbird", "calculator", "settings", "calendar", "mail",
                             "notes",    "music",  "safari",      "finder",     "editor",   "code",     "browser",
                             "messages", "photos", "maps",        "outlook",    "word",     "excel",    "teams",
                             "telegram", "signal", "steam",       "gimp",       "vim"};
const char* const kSites[] = {"google",  "youtube",  "github", "wikipedia", "amazon",   "reddit",
                              "twitter", "facebook", "gmail",  "netflix",   "linkedin", "example"};
const char* const kTlds[] = {"com", "org", "net"};
const char* const kKeys[] = {"enter", "return", "tab",  "escape", "space", "delete", "backspace",
                             "up",    "down",   "left", "right",  "home",  "end"};
const char* const kLetters[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m",
                                "n", "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z"};
const char* const kModifiers[] = {"control", "command", "shift", "option", "alt"};
const char* const kNumbers[] = {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten"};
const char* const kTargets[] = {"send",   "submit", "save",     "cancel", "ok",  "okay", "close", "next", "back",
                                "search", "login",  "continue", "done",   "yes", "no",   "reply", "new",  "open"};

template <size_t N>
std::string alternatives(const char* const (&list)[N], const std::function<bool(const std::string&)>& known) {
    std::string out;
    for (const char* w : list) {
        if (known(w)) {
            out += out.empty() ? "" : " | ";
            out += w;
        }
    }
    return out.empty() ? "<VOID>" : "(" + out + ")";
}

} // namespace

std::string commandGrammarJsgf(const std::function<bool(const std::string&)>& known) {
    std::ostringstream g;
    g << "#JSGF V1.0;\ngrammar command;\n"
      << "public <command> = <step> ((and then | then | and) <step>)*;\n"
      << "<step> = <open> | <site> | <press> | <chord> | <click> | <wait>;\n"
      << "<open> = (open | launch | start | switch to) <app>;\n"
      << "<site> = (go to | open | visit) <domain> dot <tld>;\n"
      << "<press> = press [<modifier> [<modifier>]] <key>;\n"
      << "<chord> = <modifier> [<modifier>] <key>;\n"
      << "<click> = click [on] [the] <target> [button | link];\n"
      << "<wait> = wait <number> (second | seconds);\n"
      << "<app> = " << alternatives(kApps, known) << ";\n"
      << "<domain> = " << alternatives(kSites, known) << ";\n"
      << "<tld> = " << alternatives(kTlds, known) << ";\n"
      << "<key> = " << alternatives(kKeys, known) << " | " << alternatives(kLetters, known) << ";\n"
      << "<modifier> = " << alternatives(kModifiers, known) << ";\n"
      << "<number> = " << alternatives(kNumbers, known) << ";\n"
      << "<target> = " << alternatives(kTargets, known) << ";\n";
    return g.str();
}

size_t wordDistance(const std::string& a, const std::string& b) {
    return editDistance(words(a), words(b));
}

std::string chooseCommandTranscript(const std::string& grammarText, const std::string& openText,
                                    const std::function<bool(const std::string&)>& understood) {
    auto open = words(openText);
    if (grammarText.empty()) {
        return openText;
    }
    if (open.empty()) {
        return grammarText;
    }
    // Free text only the open pass can hear.
    if (std::any_of(open.begin(), open.end(), [](const std::string& w) { return w == "type" || w == "write"; })) {
        return openText;
    }
    size_t n = words(grammarText).size();
    size_t allowed = std::max<size_t>(1, (std::max(n, open.size()) + 1) / 2);
    if (wordDistance(grammarText, openText) <= allowed) {
        return grammarText;
    }
    if (understood && understood(openText)) {
        return openText;
    }
    // The open pass heard nothing actionable: trust the grammar when the two still sound broadly alike
    // (compared letter by letter, so "fire fox" and "firefox" agree), otherwise the speech was not a command.
    auto letters = [](const std::string& s) {
        std::string out;
        for (char c : s) {
            if (c != ' ') {
                out.push_back(c);
            }
        }
        return out;
    };
    std::string a = letters(grammarText), b = letters(openText);
    std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        prev[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        }
        std::swap(prev, cur);
    }
    double distance = double(prev[b.size()]) / double(std::max(a.size(), b.size()));
    return distance <= 0.6 ? grammarText : openText;
}

} // namespace vokari::server
