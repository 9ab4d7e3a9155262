#pragma once

#include <string>

// The computer's name, which names the station in the record where --station-name does not;
// empty when the system gives none.
std::string HostName();
