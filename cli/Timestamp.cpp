#include "cli/Timestamp.h"

#include <chrono>
#include <cstdio>
#include <ctime>

std::string UtcTimestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
    char withMillis[48];
    std::snprintf(withMillis, sizeof withMillis, "%s.%03dZ", text, static_cast<int>(millis));
    return withMillis;
}

namespace {

// Days since 1970-01-01 of a civil date (Howard Hinnant's days_from_civil).
long long DaysFromCivil(int year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<long long>(era) * 146097 + dayOfEra - 719468;
}

// A record's time in the local time of this computer, as `format` (strftime) gives it; empty for
// a time of another form.
std::string LocalTime(const std::string& utcTime, const char* format) {
    int year = 0;
    unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(utcTime.c_str(), "%4d-%2u-%2uT%2u:%2u:%2u", &year, &month, &day, &hour, &minute,
                    &second) != 6) {
        return {};
    }
    const std::time_t seconds = static_cast<std::time_t>(DaysFromCivil(year, month, day) * 86400 +
                                                         hour * 3600 + minute * 60 + second);
    const std::tm* local = std::localtime(&seconds);
    char text[16] = {};
    if (!local || std::strftime(text, sizeof text, format, local) == 0) {
        return {};
    }
    return text;
}

} // namespace

std::string LocalDate(const std::string& utcTime) {
    return LocalTime(utcTime, "%Y-%m-%d");
}

std::string LocalTimeOfDay(const std::string& utcTime) {
    return LocalTime(utcTime, "%H:%M:%S");
}
