#pragma once

// The dialogs of res/VKD37.rc and the ids of res/resource.h as the tests read them, so that a test
// checks the program against its sources instead of a copy of them. Only the forms the script
// uses are read (a one-line CONTROL per control); any other line fails the test that reads it.

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "Scratch.h"

struct ScriptControl {
    std::string text; // the title, "" for a picture's resource id
    std::string idName;
    int id;
    std::string className;
    std::vector<std::string> styles;
    int x, y, width, height; // dialog units
};

struct ScriptDialog {
    int width = 0, height = 0;
    std::string caption;
    std::string styles;
    std::string typeface;
    std::vector<ScriptControl> controls; // in template order
};

// Every `#define NAME number` of resource.h, and the ids Windows gives: IDC_STATIC, IDOK.
inline std::map<std::string, int> ResourceIds() {
    std::map<std::string, int> ids{{"IDC_STATIC", -1}, {"IDOK", 1}};
    std::istringstream lines(ReadWholeFile(VKD_RESOURCE_DIR "/resource.h"));
    const std::regex define(R"(#define\s+(\w+)\s+(0x[0-9A-Fa-f]+|\d+)\s*)");
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_match(line, match, define)) {
            ids[match[1]] = std::stoi(match[2], nullptr, 0);
        }
    }
    return ids;
}

inline ScriptDialog ReadScriptDialog(const std::string& name) {
    const std::string script = ReadWholeFile(VKD_RESOURCE_DIR "/VKD37.rc");
    const std::map<std::string, int> ids = ResourceIds();
    ScriptDialog dialog;
    std::smatch match;
    const std::regex header("\n" + name + R"( DIALOGEX 0, 0, (\d+), (\d+)\r?\nSTYLE ([^\r\n]*))");
    if (!std::regex_search(script, match, header)) {
        ADD_FAILURE() << "no " << name << " in the resource script";
        return dialog;
    }
    dialog.width = std::stoi(match[1]);
    dialog.height = std::stoi(match[2]);
    dialog.styles = match[3];
    std::istringstream lines(match.suffix().str());
    const std::regex caption(R"re(CAPTION "(.*)"\s*)re");
    const std::regex font(R"re(FONT \d+, "([^"]*)".*)re");
    const std::regex control(
        R"re(\s*CONTROL\s+(?:"((?:[^"]|"")*)"|\w+)\s*,\s*(\w+)\s*,\s*"(\w+)"\s*,\s*([^,]+),)re"
        R"re(\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*)re");
    std::string line;
    while (std::getline(lines, line) && line.rfind("BEGIN", 0) != 0) {
        if (std::regex_match(line, match, caption)) {
            dialog.caption = match[1];
        } else if (std::regex_match(line, match, font)) {
            dialog.typeface = match[1];
        }
    }
    while (std::getline(lines, line) && line.rfind("END", 0) != 0) {
        if (!std::regex_match(line, match, control)) {
            ADD_FAILURE() << name << ": cannot read \"" << line << "\"";
            continue;
        }
        ScriptControl read{match[1],
                           match[2],
                           ids.count(match[2]) ? ids.at(match[2]) : 0,
                           match[3],
                           {},
                           std::stoi(match[5]),
                           std::stoi(match[6]),
                           std::stoi(match[7]),
                           std::stoi(match[8])};
        EXPECT_TRUE(ids.count(read.idName)) << read.idName << " is not in resource.h";
        std::istringstream styles(match[4].str());
        for (std::string style; std::getline(styles, style, '|');) {
            read.styles.push_back(std::regex_replace(style, std::regex(R"(^\s+|\s+$)"), ""));
        }
        dialog.controls.push_back(read);
    }
    return dialog;
}
