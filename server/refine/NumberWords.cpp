#include "refine/NumberWords.h"

#include <map>

namespace vokari::server {
namespace {

const std::map<std::string, int>& units() {
    static const std::map<std::string, int> m = {
        {"zero", 0},     {"one", 1},      {"two", 2},        {"three", 3},     {"four", 4},
        {"five", 5},     {"six", 6},      {"seven", 7},      {"eight", 8},     {"nine", 9},
        {"ten", 10},     {"eleven", 11},  {"twelve", 12},    {"thirteen", 13}, {"fourteen", 14},
        {"fifteen", 15}, {"sixteen", 16}, {"seventeen", 17}, {"eighteen", 18}, {"nineteen", 19},
    };
    return m;
}

const std::map<std::string, int>& tens() {
    static const std::map<std::string, int> m = {{"twenty", 20}, {"thirty", 30},  {"forty", 40},  {"fifty", 50},
                                                 {"sixty", 60},  {"seventy", 70}, {"eighty", 80}, {"ninety", 90}};
    return m;
}

int lookup(const std::map<std::string, int>& m, const std::string& w) {
    auto it = m.find(w);
    return it == m.end() ? -1 : it->second;
}

// Below one hundred: "seven", "forty", "forty two". Returns words used (0 = none) and the value.
size_t belowHundred(const std::vector<std::string>& w, size_t i, long long& value) {
    if (i >= w.size()) {
        return 0;
    }
    if (int u = lookup(units(), w[i]); u >= 0) {
        value = u;
        return 1;
    }
    int t = lookup(tens(), w[i]);
    if (t < 0) {
        return 0;
    }
    value = t;
    if (i + 1 < w.size()) {
        if (int u = lookup(units(), w[i + 1]); u >= 1 && u <= 9) {
            value += u;
            return 2;
        }
    }
    return 1;
}

// Below one thousand: "three hundred [and] twelve", or belowHundred.
size_t belowThousand(const std::vector<std::string>& w, size_t i, long long& value) {
    long long head = 0;
    size_t n = belowHundred(w, i, head);
    if (n == 0) {
        return 0;
    }
    if (n == 1 && head >= 1 && head <= 9 && i + 1 < w.size() && w[i + 1] == "hundred") {
        value = head * 100;
        size_t used = 2;
        size_t next = i + 2;
        if (next < w.size() && w[next] == "and") {
            ++next;
        }
        long long rest = 0;
        if (size_t r = belowHundred(w, next, rest); r > 0 && rest > 0) {
            value += rest;
            used = next - i + r;
        }
        return used;
    }
    value = head;
    return n;
}

} // namespace

std::optional<NumberMatch> matchSpokenNumber(const std::vector<std::string>& w, size_t from) {
    long long total = 0;
    size_t i = from;
    long long group = 0;
    size_t n = belowThousand(w, i, group);
    if (n == 0) {
        return std::nullopt;
    }
    i += n;
    // Scales, largest first: "two million three hundred thousand and five".
    static const std::pair<const char*, long long> kScales[] = {{"million", 1'000'000}, {"thousand", 1'000}};
    long long lastScale = 0;
    for (const auto& [name, scale] : kScales) {
        if (i < w.size() && w[i] == name && group > 0 && (lastScale == 0 || scale < lastScale)) {
            total += group * scale;
            lastScale = scale;
            ++i;
            group = 0;
            size_t next = i;
            if (next < w.size() && w[next] == "and") {
                ++next;
            }
            long long rest = 0;
            if (size_t r = belowThousand(w, next, rest); r > 0 && rest > 0) {
                group = rest;
                i = next + r;
            }
        }
    }
    total += group;
    NumberMatch m{i - from, total};
    if (m.length < 2 || m.value < 21) {
        return std::nullopt;
    }
    return m;
}

} // namespace vokari::server
