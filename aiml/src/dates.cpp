// <date> and <interval>: dates written by a C-style `format` or a Java-style `jformat`, and the
// time between two dates read back by the same `jformat`.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <ctime>
#include <system_error>

#include "qvbot/bot.h"
#include "qvbot/text.h"

namespace qvbot {
namespace {

constexpr const char* kMonths[] = {"january",   "february", "march",    "april",
                                   "may",       "june",     "july",     "august",
                                   "september", "october",  "november", "december"};
// What <interval> reads when it is given no jformat: what <date jformat="MMMMMMMMM dd, yyyy"/>
// writes.
constexpr std::string_view kDefaultJformat = "MMMMMMMMM dd, yyyy";

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, and back.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::tm CivilFromSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t y = yoe + era * 400 + (m <= 2);
    std::tm parts{};
    parts.tm_year = static_cast<int>(y - 1900);
    parts.tm_mon = m - 1;
    parts.tm_mday = d;
    parts.tm_hour = static_cast<int>(rest / 3600);
    parts.tm_min = static_cast<int>(rest / 60 % 60);
    parts.tm_sec = static_cast<int>(rest % 60);
    parts.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    parts.tm_yday = static_cast<int>(days - DaysFromCivil(y, 1, 1));
    return parts;
}

// A Java date pattern as strftime conversions: runs of one letter are fields, quoted text is
// kept; letters it has no conversion for are left out.
std::string StrftimeOfJava(std::string_view java) {
    std::string out;
    for (std::size_t i = 0; i < java.size();) {
        const char c = java[i];
        if (c == '\'') {
            const std::size_t close = java.find('\'', i + 1);
            const std::string_view quoted =
                java.substr(i + 1, close == std::string_view::npos ? close : close - i - 1);
            if (quoted.empty()) out += '\'';
            for (const char q : quoted) out += q == '%' ? "%%" : std::string(1, q);
            i = close == std::string_view::npos ? java.size() : close + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < java.size() && java[i + run] == c) ++run;
        i += run;
        switch (c) {
            case 'y':
                out += run == 2 ? "%y" : "%Y";
                break;
            case 'M':
                out += run >= 4 ? "%B" : run == 3 ? "%b" : "%m";
                break;
            case 'd':
                out += "%d";
                break;
            case 'E':
                out += run >= 4 ? "%A" : "%a";
                break;
            case 'H':
                out += "%H";
                break;
            case 'h':
                out += "%I";
                break;
            case 'm':
                out += "%M";
                break;
            case 's':
                out += "%S";
                break;
            case 'a':
                out += "%p";
                break;
            case 'D':
                out += "%j";
                break;
            case '%':
                out += "%%";
                break;
            default:
                if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) out.append(run, c);
        }
    }
    return out;
}

// Only the conversions every C library knows: another would end the program on Windows.
std::string SafeStrftime(std::string_view format) {
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
        } else if (i + 1 < format.size() &&
                   std::string_view("aAbBcdHIjmMpSUwWxXyY%").find(format[i + 1]) !=
                       std::string_view::npos) {
            out += format.substr(i, 2);
            ++i;
        } else if (i + 1 < format.size()) {
            ++i;
        }
    }
    return out;
}

// Reads a date written by a Java pattern; fields it lacks stay as in 1970-01-01 00:00:00.
bool ParseJava(std::string_view text, std::string_view java, std::tm& parts) {
    parts = CivilFromSeconds(0);
    std::size_t at = 0;
    bool pm = false, am_pm = false;
    const auto number = [&](std::size_t most, int& value) {
        while (at < text.size() && text[at] == ' ') ++at;
        const char* end = text.data() + std::min(text.size(), at + most);
        const auto [stop, error] = std::from_chars(text.data() + at, end, value);
        if (error != std::errc()) return false;
        at = static_cast<std::size_t>(stop - text.data());
        return true;
    };
    const auto letters = [&] {
        while (at < text.size() && text[at] == ' ') ++at;
        const std::size_t from = at;
        while (at < text.size() && ((text[at] | 0x20) >= 'a' && (text[at] | 0x20) <= 'z')) ++at;
        return Lower(text.substr(from, at - from));
    };
    for (std::size_t i = 0; i < java.size();) {
        const char c = java[i];
        std::size_t run = 1;
        while (i + run < java.size() && java[i + run] == c) ++run;
        i += run;
        int value = 0;
        switch (c) {
            case 'y':
                if (!number(run == 2 ? 2 : 4, value)) return false;
                parts.tm_year = (run == 2 ? 2000 + value : value) - 1900;
                break;
            case 'M':
                if (run >= 3) {
                    const std::string name = letters();
                    const auto* month =
                        std::find_if(std::begin(kMonths), std::end(kMonths), [&](const char* m) {
                            return name.size() >= 3 &&
                                   std::string_view(m).starts_with(name.substr(0, 3));
                        });
                    if (month == std::end(kMonths)) return false;
                    parts.tm_mon = static_cast<int>(month - std::begin(kMonths));
                } else {
                    if (!number(2, value) || value < 1 || value > 12) return false;
                    parts.tm_mon = value - 1;
                }
                break;
            case 'd':
                if (!number(2, value) || value < 1 || value > 31) return false;
                parts.tm_mday = value;
                break;
            case 'H':
            case 'h':
            case 'm':
            case 's':
                if (!number(2, value) || value > 59) return false;
                (c == 'm' ? parts.tm_min : c == 's' ? parts.tm_sec : parts.tm_hour) = value;
                break;
            case 'a':
                am_pm = true;
                pm = letters() == "pm";
                break;
            case 'E':
                letters();
                break;
            default:
                // Anything else is punctuation or blanks between the fields.
                while (at < text.size() && text[at] == ' ') ++at;
                if (c != ' ' && at < text.size() && text[at] == c) ++at;
        }
    }
    if (am_pm) parts.tm_hour = parts.tm_hour % 12 + (pm ? 12 : 0);
    return true;
}

std::int64_t Seconds(const std::tm& parts) {
    return DaysFromCivil(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday) * 86400 +
           parts.tm_hour * 3600 + parts.tm_min * 60 + parts.tm_sec;
}

}  // namespace

std::string Bot::Date(const XmlNode& node, Context& context) const {
    const std::time_t now = clock_();
    std::tm parts{};
    const auto zone = Attribute(node, "timezone", context);
    int hours = 0;
    if (zone &&
        std::from_chars(zone->data() + (zone->starts_with('+') ? 1 : 0),
                        zone->data() + zone->size(), hours)
                .ec == std::errc() &&
        hours >= -14 && hours <= 14) {
        // Hours from UTC, counted here: the C library's UTC conversion is not on every system.
        parts = CivilFromSeconds(static_cast<std::int64_t>(now) + hours * 3600);
    } else {
#ifdef _WIN32
        // The C library of every Windows keeps localtime's result per thread.
        if (const std::tm* local = std::localtime(&now)) parts = *local;
#else
        localtime_r(&now, &parts);
#endif
    }
    std::string format = "%A, %B %d, %Y";
    if (const auto java = Attribute(node, "jformat", context)) {
        format = StrftimeOfJava(*java);
    } else if (const auto c = Attribute(node, "format", context)) {
        format = SafeStrftime(*c);
    }
    format = CutUtf8(format, 200);
    char text[512];
    return !format.empty() && std::strftime(text, sizeof text, format.c_str(), &parts) ? text : "";
}

std::string Bot::Interval(const XmlNode& node, Context& context) const {
    const std::string java =
        Attribute(node, "jformat", context).value_or(std::string(kDefaultJformat));
    const std::string style = Lower(Attribute(node, "style", context).value_or("days"));
    const auto from_text = Attribute(node, "from", context);
    std::tm from{}, to{};
    if (!from_text || !ParseJava(*from_text, java, from)) return "unknown";
    if (const auto to_text = Attribute(node, "to", context)) {
        if (!ParseJava(*to_text, java, to)) return "unknown";
    } else {
        to = CivilFromSeconds(clock_());
    }
    const std::int64_t seconds = Seconds(to) - Seconds(from);
    // Whole calendar months and years, counting down when `to` comes before the day of `from`.
    const auto months = [&] {
        std::int64_t n = (to.tm_year - from.tm_year) * 12 + (to.tm_mon - from.tm_mon);
        const std::int64_t rest =
            Seconds(to) - DaysFromCivil(to.tm_year + 1900, to.tm_mon + 1, 1) * 86400;
        const std::int64_t from_rest =
            Seconds(from) - DaysFromCivil(from.tm_year + 1900, from.tm_mon + 1, 1) * 86400;
        if (n > 0 && rest < from_rest) --n;
        if (n < 0 && rest > from_rest) ++n;
        return n;
    };
    std::int64_t value = 0;
    if (style == "years") {
        value = months() / 12;
    } else if (style == "months") {
        value = months();
    } else if (style == "weeks") {
        value = seconds / (7 * 86400);
    } else if (style == "hours") {
        value = seconds / 3600;
    } else if (style == "minutes") {
        value = seconds / 60;
    } else if (style == "seconds") {
        value = seconds;
    } else {
        value = seconds / 86400;
    }
    return std::to_string(value);
}

}  // namespace qvbot
