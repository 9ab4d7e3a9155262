#pragma once

#include <string>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// Names come from the command line and the file system: bytes that are not UTF-8 are shown as
// U+FFFD rather than ending the program.
inline std::string JsonText(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}
