#include "core/TimeFormat.h"

#include <chrono>
#include <cstdio>

namespace vokari::server {
namespace {

struct Civil {
    int year;
    unsigned month, day, hour, minute, second, millis;
};

Civil toCivil(int64_t epochMs) {
    using namespace std::chrono;
    // Floor division so times before 1970 still land on the right day.
    int64_t days = epochMs >= 0 ? epochMs / 86'400'000 : -((-epochMs + 86'399'999) / 86'400'000);
    int64_t rest = epochMs - days * 86'400'000;
    year_month_day ymd{sys_days{std::chrono::days{days}}};
    return Civil{int(ymd.year()),
                 unsigned(ymd.month()),
                 unsigned(ymd.day()),
                 unsigned(rest / 3'600'000),
                 unsigned(rest / 60'000 % 60),
                 unsigned(rest / 1000 % 60),
                 unsigned(rest % 1000)};
}

} // namespace

std::string isoUtcMs(int64_t epochMs) {
    Civil c = toCivil(epochMs);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02u:%02u:%02u.%03uZ", c.year, c.month, c.day, c.hour, c.minute,
                  c.second, c.millis);
    return buf;
}

std::string utcDay(int64_t epochMs) {
    Civil c = toCivil(epochMs);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", c.year, c.month, c.day);
    return buf;
}

std::optional<int64_t> parseIsoUtc(const std::string& text) {
    int y = 0;
    unsigned mo = 0, d = 0, h = 0, mi = 0, s = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2u-%2uT%2u:%2u:%2u%n", &y, &mo, &d, &h, &mi, &s, &consumed) != 6) {
        return std::nullopt;
    }
    using namespace std::chrono;
    year_month_day ymd{year{y}, month{mo}, day{d}};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 60) {
        return std::nullopt;
    }
    std::string rest = text.substr(static_cast<size_t>(consumed));
    int64_t ms = 0;
    if (!rest.empty() && rest[0] == '.') {
        size_t i = 1;
        int64_t scale = 100;
        while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9') {
            ms += (rest[i] - '0') * scale;
            scale /= 10;
            ++i;
        }
        rest = rest.substr(i);
    }
    if (rest != "Z") {
        return std::nullopt;
    }
    int64_t days = sys_days{ymd}.time_since_epoch().count();
    return days * 86'400'000 + (h * 3600 + mi * 60 + s) * 1000LL + ms;
}

} // namespace vokari::server
