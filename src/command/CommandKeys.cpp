#include "command/CommandKeys.h"

#include <array>
#include <utility>

namespace vokari {
namespace {

constexpr std::array<std::pair<std::string_view, std::uint16_t>, 63> kKeys = {{
    {"return", 36}, {"enter", 36}, {"tab", 48},   {"space", 49}, {"delete", 51}, {"backspace", 51}, {"escape", 53},
    {"esc", 53},    {"up", 126},   {"down", 125}, {"left", 123}, {"right", 124}, {"f1", 122},       {"f2", 120},
    {"f3", 99},     {"f4", 118},   {"f5", 96},    {"f6", 97},    {"f7", 98},     {"f8", 100},       {"f9", 101},
    {"f10", 109},   {"f11", 103},  {"f12", 111},  {"a", 0},      {"b", 11},      {"c", 8},          {"d", 2},
    {"e", 14},      {"f", 3},      {"g", 5},      {"h", 4},      {"i", 34},      {"j", 38},         {"k", 40},
    {"l", 37},      {"m", 46},     {"n", 45},     {"o", 31},     {"p", 35},      {"q", 12},         {"r", 15},
    {"s", 1},       {"t", 17},     {"u", 32},     {"v", 9},      {"w", 13},      {"x", 7},          {"y", 16},
    {"z", 6},       {"0", 29},     {"1", 18},     {"2", 19},     {"3", 20},      {"4", 21},         {"5", 23},
    {"6", 22},      {"7", 26},     {"8", 28},     {"9", 25},     {"-", 27},      {"minus", 27},     {"=", 24},
}};

constexpr std::array<std::pair<std::string_view, std::uint16_t>, 10> kPunctuation = {{
    {"equals", 24},
    {"[", 33},
    {"]", 30},
    {"\\", 42},
    {";", 41},
    {"'", 39},
    {",", 43},
    {".", 47},
    {"/", 44},
    {"`", 50},
}};

constexpr std::array<std::pair<std::string_view, std::uint64_t>, 7> kModifiers = {{
    {"command", 0x100000},
    {"cmd", 0x100000},
    {"shift", 0x20000},
    {"option", 0x80000},
    {"alt", 0x80000},
    {"control", 0x40000},
    {"ctrl", 0x40000},
}};

} // namespace

std::string CommandKeys::lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::uint16_t CommandKeys::keyCodeForName(std::string_view name) {
    const std::string key = lowered(name);
    for (const auto& [n, code] : kKeys) {
        if (n == key) {
            return code;
        }
    }
    for (const auto& [n, code] : kPunctuation) {
        if (n == key) {
            return code;
        }
    }
    return 0;
}

std::uint64_t CommandKeys::flagsForModifiers(const std::vector<std::string>& names) {
    std::uint64_t flags = 0;
    for (const auto& name : names) {
        const std::string lower = lowered(name);
        for (const auto& [n, flag] : kModifiers) {
            if (n == lower) {
                flags |= flag;
            }
        }
    }
    return flags;
}

} // namespace vokari
