#pragma once

#include <string>

// Now, as the record's lines give it: "2025-03-04T09:15:02.123Z".
std::string UtcTimestamp();

// The local date, as 2025-03-04, of a record's time; empty for a time of another form.
std::string LocalDate(const std::string& utcTime);
