#pragma once

#include <string>

// Now, as the record's lines give it: "2025-03-04T09:15:02.123Z".
std::string UtcTimestamp();
