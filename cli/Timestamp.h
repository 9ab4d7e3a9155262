#pragma once

#include <string>

// Now, as the record's lines give it: "2025-03-04T09:15:02.123Z".
std::string UtcTimestamp();

// The local date, as 2025-03-04, of a record's time; empty for a time of another form.
std::string LocalDate(const std::string& utcTime);
// The local time of day, as 17:05:02, of a record's time; empty for a time of another form.
std::string LocalTimeOfDay(const std::string& utcTime);
