// The stamps of log lines: syslog's classic form and RFC 3339, the local clock, --since.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>

#include "model/tftplog.h"

namespace orbex::tftplog {

namespace {

std::optional<Today> g_today;  // the test seam's date

// `n` decimal digits at `pos` of `s`.
bool digits(std::string_view s, std::size_t pos, std::size_t n, int& out) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

// Days since 1970-01-01 of a date that exists; nullopt for one that does not.
std::optional<std::int64_t> daysOf(int year, int month, int day) {
    using namespace std::chrono;
    const year_month_day ymd{std::chrono::year{year}, std::chrono::month{unsigned(month)},
                             std::chrono::day{unsigned(day)}};
    if (!ymd.ok()) return std::nullopt;
    return sys_days(ymd).time_since_epoch().count();
}

bool validClock(int hour, int minute, int second) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second <= 60;
}

// ".123" after the seconds: microseconds, the digits beyond six dropped; how many bytes.
std::size_t fraction(std::string_view s, std::size_t pos, std::int32_t& micros) {
    micros = 0;
    if (pos >= s.size() || (s[pos] != '.' && s[pos] != ',')) return 0;
    std::size_t i = pos + 1;
    std::int32_t scale = 100000;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        micros += (s[i] - '0') * scale;
        scale /= 10;
        ++i;
    }
    return i == pos + 1 ? 0 : i - pos;
}

// "Z", "+03:00" or "+0300" at `pos`: the offset in minutes east of UTC, and how many bytes.
std::size_t zone(std::string_view s, std::size_t pos, int& offset) {
    if (pos < s.size() && (s[pos] == 'Z' || s[pos] == 'z')) {
        offset = 0;
        return 1;
    }
    if (pos >= s.size() || (s[pos] != '+' && s[pos] != '-')) return 0;
    int h = 0, m = 0;
    if (!digits(s, pos + 1, 2, h)) return 0;
    std::size_t used = 3;
    if (pos + 3 < s.size() && s[pos + 3] == ':') ++used;
    if (!digits(s, pos + used, 2, m) || h > 23 || m > 59) return 0;
    offset = (h * 60 + m) * (s[pos] == '-' ? -1 : 1);
    return used + 2;
}

// "YYYY-MM-DD" and, after "T" or a blank, "HH:MM:SS": the fields, false where they are not.
bool dateAndClock(std::string_view s, int f[6]) {
    return digits(s, 0, 4, f[0]) && s.size() > 4 && s[4] == '-' && digits(s, 5, 2, f[1]) &&
           s.size() > 7 && s[7] == '-' && digits(s, 8, 2, f[2]) && s.size() > 10 &&
           (s[10] == 'T' || s[10] == 't' || s[10] == ' ') && digits(s, 11, 2, f[3]) &&
           s.size() > 13 && s[13] == ':' && digits(s, 14, 2, f[4]) && s.size() > 16 &&
           s[16] == ':' && digits(s, 17, 2, f[5]);
}

int monthOf(std::string_view name) {
    static constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    for (int m = 0; m < 12; ++m)
        if (kMonths.substr(static_cast<std::size_t>(m) * 3, 3) == name) return m + 1;
    return 0;
}

}  // namespace

Today today() {
    if (g_today) return *g_today;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1};
}

void seam::setToday(std::optional<Today> t) {
    g_today = t;
}

int yearOfStamp(int month, const Today& today) {
    return month > today.month ? today.year - 1 : today.year;
}

std::optional<Time> LocalClock::at(int year, int month, int day, int hour, int minute, int second,
                                   int micros) {
    const auto days = daysOf(year, month, day);
    if (!days || !validClock(hour, minute, second)) return std::nullopt;
    const std::int64_t key = *days * 24 + hour;
    if (key != hourKey_) {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_isdst = -1;  // the system knows whether summer time was in force
        const std::int64_t start = static_cast<std::int64_t>(std::mktime(&t));
        hourKey_ = key;
        hourStart_ = start;
        offset_ = static_cast<std::int16_t>((key * 3600 - start) / 60);
    }
    Time out;
    out.seconds = hourStart_ + std::int64_t{minute} * 60 + second;
    out.micros = micros;
    out.offset = offset_;
    return out;
}

std::size_t parseRfc3339(std::string_view s, Time& t) {
    int f[6];
    if (!dateAndClock(s, f) || !validClock(f[3], f[4], f[5])) return 0;
    const auto days = daysOf(f[0], f[1], f[2]);
    if (!days) return 0;
    std::int32_t micros = 0;
    std::size_t used = 19 + fraction(s, 19, micros);
    int offset = 0;
    const std::size_t z = zone(s, used, offset);
    if (z == 0) return 0;
    t.seconds = *days * 86400 + std::int64_t{f[3]} * 3600 + std::int64_t{f[4]} * 60 + f[5] -
                std::int64_t{offset} * 60;
    t.micros = micros;
    t.offset = static_cast<std::int16_t>(offset);
    return used + z;
}

std::size_t parseClassic(std::string_view s, const Today& today, LocalClock& clock, Time& t) {
    // "Mmm dd HH:MM:SS", the day of one digit after a blank.
    if (s.size() < 15 || s[3] != ' ' || s[6] != ' ' || s[9] != ':' || s[12] != ':') return 0;
    const int month = monthOf(s.substr(0, 3));
    int day = 0, h = 0, m = 0, sec = 0;
    if (month == 0) return 0;
    if (s[4] == ' ' ? !digits(s, 5, 1, day) : !digits(s, 4, 2, day)) return 0;
    if (!digits(s, 7, 2, h) || !digits(s, 10, 2, m) || !digits(s, 13, 2, sec)) return 0;
    const auto at = clock.at(yearOfStamp(month, today), month, day, h, m, sec);
    if (!at) return 0;
    t = *at;
    return 15;
}

std::optional<Time> parseSince(std::string_view s) {
    Time t;
    if (parseRfc3339(s, t) == s.size() && !s.empty()) return t;
    int f[6] = {0, 0, 0, 0, 0, 0};
    const bool date = digits(s, 0, 4, f[0]) && s.size() > 4 && s[4] == '-' &&
                      digits(s, 5, 2, f[1]) && s.size() > 7 && s[7] == '-' && digits(s, 8, 2, f[2]);
    if (!date) return std::nullopt;
    if (s.size() != 10) {
        // " HH:MM" or " HH:MM:SS" (or with "T").
        const bool clock = (s.size() == 16 || s.size() == 19) &&
                           (s[10] == ' ' || s[10] == 'T' || s[10] == 't') &&
                           digits(s, 11, 2, f[3]) && s[13] == ':' && digits(s, 14, 2, f[4]) &&
                           (s.size() == 16 || (s[16] == ':' && digits(s, 17, 2, f[5])));
        if (!clock) return std::nullopt;
    }
    LocalClock local;
    return local.at(f[0], f[1], f[2], f[3], f[4], f[5]);
}

std::string timeText(const Time& t, bool iso) {
    using namespace std::chrono;
    const std::int64_t wall = t.seconds + std::int64_t{t.offset} * 60;
    const std::int64_t days = wall >= 0 ? wall / 86400 : (wall - 86399) / 86400;
    const std::int64_t inDay = wall - days * 86400;
    const year_month_day ymd{sys_days(std::chrono::days(days))};
    char text[64];
    int n = std::snprintf(text, sizeof text, "%04d-%02u-%02u%c%02d:%02d:%02d",
                          static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                          static_cast<unsigned>(ymd.day()), iso ? 'T' : ' ',
                          static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60),
                          static_cast<int>(inDay % 60));
    std::string out(text, static_cast<std::size_t>(n));
    if (!iso) return out;
    if (t.micros != 0) {
        n = t.micros % 1000 == 0 ? std::snprintf(text, sizeof text, ".%03d", t.micros / 1000)
                                 : std::snprintf(text, sizeof text, ".%06d", t.micros);
        out.append(text, static_cast<std::size_t>(n));
    }
    const int off = t.offset < 0 ? -t.offset : t.offset;
    n = std::snprintf(text, sizeof text, "%c%02d:%02d", t.offset < 0 ? '-' : '+', off / 60,
                      off % 60);
    out.append(text, static_cast<std::size_t>(n));
    return out;
}

std::string_view outcomeName(Outcome o) {
    switch (o) {
        case Outcome::Served:
            return "served";
        case Outcome::Missing:
            return "missing";
        case Outcome::Failed:
            return "failed";
    }
    return "failed";
}

std::string_view formatName(Format f) {
    switch (f) {
        case Format::TftpdHpa:
            return "tftpd-hpa";
        case Format::Dnsmasq:
            return "dnsmasq";
        case Format::Tftpd64:
            return "tftpd64";
    }
    return "tftpd-hpa";
}

std::optional<Format> formatNamed(std::string_view name) {
    for (Format f : {Format::TftpdHpa, Format::Dnsmasq, Format::Tftpd64})
        if (formatName(f) == name) return f;
    return std::nullopt;
}

}  // namespace orbex::tftplog
